#include "ui/message_boxes.h"

#include <QAbstractButton>
#include <QLabel>
#include <QMessageBox>
#include <QWidget>
#include <utility>

namespace {

// Boxes have no parent: the window that asks is disabled while an operation runs, and a
// child window of a disabled window could not be answered.
QMessageBox::StandardButton Ask(QWidget* parent, QMessageBox::Icon icon, const char* title,
                                const QString& text, QMessageBox::StandardButtons buttons,
                                const QString& detail = QString(),
                                QMessageBox::StandardButton defaultButton = QMessageBox::NoButton) {
    QMessageBox box(icon, QString::fromUtf8(title), text, buttons);
    if (!detail.isEmpty()) {
        box.setInformativeText(detail);
        // Room for a device path on one line (/dev/serial/by-id/... names are long).
        if (auto* label = box.findChild<QLabel*>("qt_msgbox_informativelabel"))
            label->setMinimumWidth(420);
    }
    if (defaultButton != QMessageBox::NoButton) box.setDefaultButton(defaultButton);
    // The program's own words, so the buttons are Russian with or without Qt's translation.
    const std::pair<QMessageBox::StandardButton, const char*> captions[] = {
        {QMessageBox::Ok, "ОК"},          {QMessageBox::Cancel, "Отмена"},
        {QMessageBox::Yes, "Да"},         {QMessageBox::No, "Нет"},
        {QMessageBox::Save, "Сохранить"}, {QMessageBox::Discard, "Не сохранять"},
    };
    for (const auto& [which, caption] : captions)
        if (QAbstractButton* button = box.button(which))
            button->setText(QString::fromUtf8(caption));
    if (parent) box.setFont(parent->window()->font());
    box.setWindowModality(Qt::ApplicationModal);
    return static_cast<QMessageBox::StandardButton>(box.exec());
}

}  // namespace

bool ModalMessageBoxes::confirmOkCancel(QWidget* parent, const QString& text) {
    return Ask(parent, QMessageBox::Question, "Подтверждение", text,
               QMessageBox::Ok | QMessageBox::Cancel) == QMessageBox::Ok;
}

bool ModalMessageBoxes::confirmYesNo(QWidget* parent, const QString& text) {
    return Ask(parent, QMessageBox::Question, "Подтверждение", text,
               QMessageBox::Yes | QMessageBox::No) == QMessageBox::Yes;
}

void ModalMessageBoxes::error(QWidget* parent, const QString& text) {
    Ask(parent, QMessageBox::Critical, "Ошибка", text, QMessageBox::Cancel);
}

void ModalMessageBoxes::errorWithDetail(QWidget* parent, const QString& text,
                                        const QString& detail) {
    Ask(parent, QMessageBox::Critical, "Ошибка", text, QMessageBox::Cancel, detail);
}

bool ModalMessageBoxes::confirmRisky(QWidget* parent, const QString& text) {
    return Ask(parent, QMessageBox::Warning, "Подтверждение", text,
               QMessageBox::Ok | QMessageBox::Cancel, QString(),
               QMessageBox::Cancel) == QMessageBox::Ok;
}

void ModalMessageBoxes::information(QWidget* parent, const QString& text) {
    Ask(parent, QMessageBox::Information, "Информация", text, QMessageBox::Cancel);
}

void ModalMessageBoxes::warning(QWidget* parent, const QString& text) {
    Ask(parent, QMessageBox::Warning, "Предупреждение", text, QMessageBox::Ok);
}

void ModalMessageBoxes::overflow(QWidget* parent, const QString& text) {
    Ask(parent, QMessageBox::Critical, "Ошибка", text, QMessageBox::Ok);
}

MessageBoxes::SaveAnswer ModalMessageBoxes::askSave(QWidget* parent, const QString& text) {
    switch (Ask(parent, QMessageBox::Warning, "Подтверждение", text,
                QMessageBox::Save | QMessageBox::Discard | QMessageBox::Cancel, QString(),
                QMessageBox::Cancel)) {
        case QMessageBox::Save:
            return SaveAnswer::Save;
        case QMessageBox::Discard:
            return SaveAnswer::Discard;
        default:
            return SaveAnswer::Cancel;
    }
}
