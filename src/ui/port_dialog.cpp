#include "ui/port_dialog.h"

#include <QComboBox>
#include <QDialogButtonBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QTableWidget>
#include <QVBoxLayout>

#include "lineaddr/line_address.h"
#include "link/line_check.h"
#include "ports/platform.h"
#include "ports/port_map.h"
#include "ui/line_owner.h"

namespace {

QString fromStd(const std::string& text) { return QString::fromStdString(text); }

// The speed a check sets on a gateway's port; a raw gateway keeps its own.
constexpr uint32_t kCheckBaud = 9600;

// "FTDI FT232R USB UART, № A50285BI (/dev/ttyUSB0)" with whatever is known.
QString deviceDescription(const rv::SerialDevice& device) {
    QStringList parts;
    const QString name = QString("%1 %2").arg(fromStd(device.vendor), fromStd(device.model));
    if (!name.trimmed().isEmpty()) parts << name.trimmed();
    if (!device.serial.empty()) parts << QString::fromUtf8("№ %1").arg(fromStd(device.serial));
    QString text = parts.join(", ");
    if (device.stablePath != device.node) {
        text += (text.isEmpty() ? "" : " ") + QString("(%1)").arg(fromStd(device.node));
    }
    return text;
}

}  // namespace

PortDialog::PortDialog(rv::PortSetup& setup, std::vector<rv::SerialDevice> devices, LineOwner& line,
                       QWidget* parent)
    : QDialog(parent), setup_(setup), devices_(std::move(devices)), line_(line) {
    setObjectName("PortDialog");
    setWindowTitle(QString::fromUtf8("Устройства COM-портов"));
    auto* layout = new QVBoxLayout(this);

    PortTable = new QTableWidget(rv::kPortCount, 3, this);
    PortTable->setObjectName("PortTable");
    PortTable->setHorizontalHeaderLabels({QString::fromUtf8("Порт"),
                                          QString::fromUtf8("Устройство"),
                                          QString::fromUtf8("Чем задано")});
    PortTable->verticalHeader()->hide();
    PortTable->setEditTriggers(QAbstractItemView::NoEditTriggers);
    PortTable->setSelectionMode(QAbstractItemView::NoSelection);
    PortTable->setFocusPolicy(Qt::NoFocus);
    PortTable->horizontalHeader()->setSectionResizeMode(1, QHeaderView::Stretch);

    PortTable->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    layout->addWidget(PortTable);

    layout->addWidget(
        new QLabel(QString::fromUtf8("Найденные последовательные устройства:"), this));
    DeviceList = new QListWidget(this);
    DeviceList->setObjectName("DeviceList");
    DeviceList->setWordWrap(true);
    DeviceList->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    layout->addWidget(DeviceList);

    layout->addWidget(
        new QLabel(QString::fromUtf8("Устройство, псевдотерминал или сетевой адрес шлюза:"), this));
    auto* typed = new QHBoxLayout;
    DevicePath = new QLineEdit(this);
    DevicePath->setObjectName("DevicePath");
    DevicePath->setPlaceholderText(
        QString::fromUtf8("/dev/ttyUSB0, /dev/pts/3, rfc2217://10.0.0.5:4001, tcp://шлюз:4002"));
    typed->addWidget(DevicePath);
    BtnCheck = new QPushButton(QString::fromUtf8("Проверить"), this);
    BtnCheck->setObjectName("BtnCheck");
    typed->addWidget(BtnCheck);
    layout->addLayout(typed);
    AccessNote = new QLabel(this);
    AccessNote->setObjectName("AccessNote");
    AccessNote->setWordWrap(true);
    AccessNote->setStyleSheet("color: #a00000;");
    layout->addWidget(AccessNote);

    auto* choice = new QHBoxLayout;
    choice->addWidget(new QLabel(QString::fromUtf8("Назначить для"), this));
    PortChoice = new QComboBox(this);
    PortChoice->setObjectName("PortChoice");
    for (int i = 0; i < rv::kPortCount; ++i) PortChoice->addItem(fromStd(rv::PortName(i)));
    choice->addWidget(PortChoice);
    BtnAssign = new QPushButton(QString::fromUtf8("Назначить"), this);
    BtnAssign->setObjectName("BtnAssign");
    choice->addWidget(BtnAssign);
    BtnDefault = new QPushButton(QString::fromUtf8("По умолчанию"), this);
    BtnDefault->setObjectName("BtnDefault");
    choice->addWidget(BtnDefault);
    choice->addStretch();
    layout->addLayout(choice);

    Status = new QLabel(this);
    Status->setObjectName("Status");
    Status->setWordWrap(true);
    layout->addWidget(Status);
    // The notes keep room for what they may say (a failed check takes three lines: the status,
    // the address and the cause) whether they say something or not, so the controls below
    // them never move.
    for (QLabel* note : {AccessNote, Status}) {
        note->setMinimumHeight((note == AccessNote ? 3 : 2) * note->fontMetrics().lineSpacing());
        note->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    }

    auto* file = new QLabel(
        QString::fromUtf8("Файл настроек: %1")
            .arg(setup_.settingsPath().empty()
                     ? QString::fromStdString("не найден (" + rv::SettingsPathMissingBrief() + ")")
                     : fromStd(setup_.settingsPath())),
        this);
    file->setObjectName("SettingsFile");
    file->setTextInteractionFlags(Qt::TextSelectableByMouse);
    layout->addWidget(file);

    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Close, this);
    buttons->button(QDialogButtonBox::Close)->setText(QString::fromUtf8("Закрыть"));
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    layout->addWidget(buttons);

    connect(DeviceList, &QListWidget::currentItemChanged, this, [this](QListWidgetItem* item) {
        if (item != nullptr && item->data(Qt::UserRole).isValid())
            DevicePath->setText(item->data(Qt::UserRole).toString());
    });
    connect(DevicePath, &QLineEdit::textChanged, this, &PortDialog::devicePathChanged);
    connect(PortChoice, &QComboBox::currentIndexChanged, this, &PortDialog::portChoiceChanged);
    connect(BtnAssign, &QPushButton::clicked, this, [this] {
        const std::string typed = DevicePath->text().trimmed().toStdString();
        assign(typed.empty() ? typed : rv::StableDevicePath(typed));
    });
    connect(BtnDefault, &QPushButton::clicked, this, [this] { assign(""); });
    connect(BtnCheck, &QPushButton::clicked, this, &PortDialog::check);
    connect(&line_, &LineOwner::busyChanged, this, &PortDialog::showCheckEnabled);

    fillDeviceList();
    showMapping();
    portChoiceChanged();
    devicePathChanged();
    resize(680, sizeHint().height());
}

void PortDialog::showMapping() {
    const rv::PortMap& map = setup_.map();
    for (int i = 0; i < rv::kPortCount; ++i) {
        const rv::PortMapping& mapping = map[size_t(i)];
        const QStringList cells = {fromStd(rv::PortName(i)), fromStd(mapping.device),
                                   fromStd(rv::PortSourceText(mapping.source, i))};
        for (int column = 0; column < cells.size(); ++column) {
            auto* item = new QTableWidgetItem(cells[column]);
            if (!setup_.changeable(i))
                item->setForeground(palette().color(QPalette::Disabled, QPalette::Text));
            PortTable->setItem(i, column, item);
        }
    }
    PortTable->resizeColumnToContents(0);
    // The source column takes its widest text and a margin; the device column the rest.
    PortTable->resizeColumnToContents(2);
    PortTable->setColumnWidth(2, PortTable->columnWidth(2) + 12);
    PortTable->setFixedHeight(PortTable->horizontalHeader()->height() +
                              rv::kPortCount * PortTable->rowHeight(0) +
                              2 * PortTable->frameWidth());
}

void PortDialog::fillDeviceList() {
    DeviceList->clear();
    for (const rv::SerialDevice& device : devices_) {
        QString text = fromStd(device.stablePath);
        const QString description = deviceDescription(device);
        if (!description.isEmpty()) text += "\n    " + description;
        if (!device.accessible) text += "\n    " + fromStd(rv::NoAccessAdvice());
        auto* item = new QListWidgetItem(text, DeviceList);
        item->setData(Qt::UserRole, fromStd(device.stablePath));
        if (!device.accessible) item->setForeground(QColor(0xa0, 0, 0));
    }
    if (devices_.empty()) {
        auto* item = new QListWidgetItem(
            QString::fromUtf8("Не найдено; введите путь к устройству ниже."), DeviceList);
        item->setFlags(Qt::NoItemFlags);
    }
}

void PortDialog::portChoiceChanged() {
    const int index = PortChoice->currentIndex();
    const bool changeable = setup_.changeable(index);
    BtnAssign->setEnabled(changeable);
    BtnDefault->setEnabled(changeable &&
                           setup_.map()[size_t(index)].source == rv::PortSource::SettingsFile);
    if (!changeable) {
        Status->setText(
            QString::fromUtf8("%1 задан: %2; здесь его не изменить.")
                .arg(fromStd(rv::PortName(index)),
                     fromStd(rv::PortSourceText(setup_.map()[size_t(index)].source, index))));
    } else {
        Status->clear();
    }
}

PortDialog::~PortDialog() { checkUse_.cancel(); }

void PortDialog::showNote(const QString& text, bool problem) {
    AccessNote->setStyleSheet(problem ? "color: #a00000;" : "color: #006000;");
    AccessNote->setText(text);
}

void PortDialog::devicePathChanged() {
    const QString path = DevicePath->text().trimmed();
    showCheckEnabled();
    QString note;
    if (rv::IsNetworkLineName(path.toStdString())) {
        std::string problem;
        if (!rv::ParseNetworkAddress(path.toStdString(), problem)) {
            note = fromStd(rv::MalformedAddressMessage(path.toStdString(), problem));
            note[0] = note[0].toUpper();  // a sentence of its own here
        }
    } else if (!path.isEmpty() && !rv::DevicePresent(rv::DeviceFromUserText(path.toStdString()))) {
        note = QString::fromUtf8("Устройства %1 нет: проверьте путь и подключение адаптера.")
                   .arg(path);
    } else if (!path.isEmpty() && !rv::DeviceAccessible(path.toStdString())) {
        note = fromStd(rv::NoAccessAdvice());
    }
    showNote(note, true);
}

void PortDialog::showCheckEnabled() {
    BtnCheck->setEnabled(!DevicePath->text().trimmed().isEmpty() && !checking_ && !line_.busy());
}

void PortDialog::check() {
    const std::string name = DevicePath->text().trimmed().toStdString();
    if (name.empty() || checking_) return;
    auto outcome = std::make_shared<rv::LineCheck>();
    checkUse_ = line_.start(
        {LineTask::LineCheck, false, {}}, this,
        [name, outcome](LineUse& use) {
            *outcome = rv::CheckLine(name, kCheckBaud, use.link().CancelFlag);
            return outcome->opened ? rv::Outcome::Done : rv::Outcome::Failed;
        },
        [this, name, outcome](const LineResult&) {
            checking_ = false;
            // A failure names the address itself, under the status.
            const std::string text = rv::LineCheckText(*outcome);
            showNote(fromStd(outcome->opened ? name + ": " + text : text), !outcome->opened);
            emit checkFinished();
        });
    if (!checkUse_) return;
    checking_ = true;
    BtnCheck->setEnabled(false);
    showNote(QString::fromUtf8("Проверка %1…").arg(fromStd(name)), false);
}

void PortDialog::assign(const std::string& device) {
    const int index = PortChoice->currentIndex();
    std::string error;
    if (!setup_.assign(index, device, error)) {
        Status->setText(QString::fromUtf8("Не сохранено: %1.").arg(fromStd(error)));
        return;
    }
    showMapping();
    portChoiceChanged();
    const std::string& assigned = setup_.map()[size_t(index)].device;
    QString text = QString::fromUtf8("%1 = %2 сохранено; действует со следующего открытия порта.")
                       .arg(fromStd(rv::PortName(index)), fromStd(assigned));
    if (!rv::IsNetworkLineName(assigned) && !rv::DevicePresent(assigned))
        text += QString::fromUtf8(" Внимание: такого устройства сейчас нет.");
    Status->setText(text);
    emit mappingChanged();
}
