#include "ui/window_caption.h"

#include <QApplication>
#include <QEvent>

#include "configfile/value_texts.h"
#include "link/link.h"
#include "ui/WN1.h"
#include "ui/message_boxes.h"

WindowCaption::WindowCaption(TDeskForm& form)
    : QObject(&form), form_(form), baseTitle_(form.windowTitle()), clean_(form.image()) {
    // Every edit comes from a key or a click; the caption looks again after each.
    qApp->installEventFilter(this);
}

void WindowCaption::markClean() {
    clean_ = form_.image();
    update();
}

void WindowCaption::setFileName(const QString& fileName) {
    fileName_ = fileName;
    update();
}

namespace {

// The configuration without the fields the password and network dialogs write themselves.
rv::ConfigImage withoutDialogFields(rv::ConfigImage image) {
    image.Password = 0;
    image.DialogNetNumber = 0;
    image.DialogSpeedIndex = 0;
    return image;
}

}  // namespace

bool WindowCaption::hasUnsavedEdits() const {
    return form_.image().LoadedId != 0 &&
           !(withoutDialogFields(form_.image()) == withoutDialogFields(clean_));
}

bool WindowCaption::confirmDiscard() {
    update();
    if (!hasUnsavedEdits()) return true;
    return form_.boxes().confirmRisky(
        &form_, QString::fromUtf8("Изменения не записаны в прибор и не сохранены. Продолжить?"));
}

QString WindowCaption::sourceText() const {
    const rv::ConfigImage& image = form_.image();
    if (image.LoadedId == 0) return {};
    return QString::fromUtf8("%1 № %2, ID %3")
        .arg(QString::fromStdString(rv::ModelName(image.ChannelsFitted)))
        .arg(form_.source().record.NetNumber)
        .arg(QString::number(image.LoadedId, 16).toUpper().rightJustified(6, QLatin1Char('0')));
}

void WindowCaption::update() {
    QString title = baseTitle_;
    const QString source = sourceText();
    // The configuration shown belongs to one instrument, the window addresses another: the
    // caption says so, so that a read or write is not taken to go to the one shown.
    QString addressed;
    if (!source.isEmpty() && form_.link().NetNumber != form_.source().record.NetNumber)
        addressed = QString::fromUtf8("; адресован прибор № %1").arg(form_.link().NetNumber);
    if (!fileName_.isEmpty()) {
        title += QString::fromUtf8(" — ") + fileName_;
        if (!source.isEmpty()) title += " (" + source + addressed + ")";
    } else if (!source.isEmpty()) {
        title += QString::fromUtf8(" — ") + source + addressed;
    }
    if (hasUnsavedEdits()) title = "* " + title;
    if (title != form_.windowTitle()) form_.setWindowTitle(title);
}

void WindowCaption::updateSoon() {
    if (updatePending_) return;
    updatePending_ = true;
    QMetaObject::invokeMethod(
        this,
        [this] {
            updatePending_ = false;
            update();
        },
        Qt::QueuedConnection);
}

// The filter sees an event before its widget does, so the caption looks once the event has
// had its effect.
bool WindowCaption::eventFilter(QObject* watched, QEvent* event) {
    switch (event->type()) {
        case QEvent::KeyRelease:
        case QEvent::MouseButtonRelease:
        case QEvent::FocusIn:
        case QEvent::FocusOut:
            updateSoon();
            break;
        default:
            break;
    }
    return QObject::eventFilter(watched, event);
}
