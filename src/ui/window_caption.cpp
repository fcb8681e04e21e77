#include "ui/window_caption.h"

#include <QWidget>

#include "configfile/value_texts.h"
#include "link/line_settings.h"
#include "ui/image_source.h"
#include "ui/message_boxes.h"
#include "ui/window_image.h"

WindowCaption::WindowCaption(QWidget& window, const WindowImage& image, const ImageSource& source,
                             const rv::LineSettings& line, MessageBoxes& boxes)
    : QObject(&window),
      window_(window),
      image_(image),
      source_(source),
      line_(line),
      boxes_(boxes),
      baseTitle_(window.windowTitle()),
      clean_(image.data()) {
    connect(&image, &WindowImage::changed, this, &WindowCaption::update);
}

void WindowCaption::markClean() {
    clean_ = image_.data();
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
    const rv::ConfigImage& image = image_.data();
    return image.LoadedId != 0 && !(withoutDialogFields(image) == withoutDialogFields(clean_));
}

bool WindowCaption::confirmDiscard() {
    update();
    if (!hasUnsavedEdits()) return true;
    return boxes_.confirmRisky(
        &window_, QString::fromUtf8("Изменения не записаны в прибор и не сохранены. Продолжить?"));
}

QString WindowCaption::sourceText() const {
    const rv::ConfigImage& image = image_.data();
    if (image.LoadedId == 0) return {};
    return QString::fromUtf8("%1 № %2, ID %3")
        .arg(QString::fromStdString(rv::ModelName(image.ChannelsFitted)))
        .arg(source_.record.NetNumber)
        .arg(QString::number(image.LoadedId, 16).toUpper().rightJustified(6, QLatin1Char('0')));
}

void WindowCaption::update() {
    QString title = baseTitle_;
    const QString source = sourceText();
    // The configuration shown belongs to one instrument, the window addresses another: the
    // caption says so, so that a read or write is not taken to go to the one shown.
    QString addressed;
    if (!source.isEmpty() && line_.NetNumber != source_.record.NetNumber)
        addressed = QString::fromUtf8("; адресован прибор № %1").arg(line_.NetNumber);
    if (!fileName_.isEmpty()) {
        title += QString::fromUtf8(" — ") + fileName_;
        if (!source.isEmpty()) title += " (" + source + addressed + ")";
    } else if (!source.isEmpty()) {
        title += QString::fromUtf8(" — ") + source + addressed;
    }
    if (hasUnsavedEdits()) title = "* " + title;
    if (title != window_.windowTitle()) window_.setWindowTitle(title);
}
