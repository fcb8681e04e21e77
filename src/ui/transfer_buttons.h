#pragma once

#include <QWidget>
#include <functional>
#include <string>

class OperationRunner;
class QPushButton;
class WindowImage;
struct ImageSource;

// "Прочитать" and "Записать": the whole configuration between the image and the instrument.
class TransferButtons : public QWidget {
    Q_OBJECT
  public:
    // A read records the instrument in `source`; a write of a configuration from a file puts
    // the file's raw bytes back.
    TransferButtons(WindowImage& image, ImageSource& source, OperationRunner& runner,
                    QWidget* parent);

    // Asked before a write's confirmation; false stops the write.
    std::function<bool()> beforeWrite;
    // The journal each write appends its entry to.
    std::function<std::string()> journalPath;
    // Asked before "Прочитать" asks its own question: false leaves the window as it is (the
    // main window warns here that unsaved edits would be lost).
    std::function<bool()> beforeRead;

    // The write is offered only while a complete configuration is loaded.
    void setSaveEnabled(bool enabled);

    void BtnLoadClick();
    void BtnSaveClick();

  signals:
    // During a read: the instrument's program version, in its own code page decoded.
    void versionReceived(const QString& version);
    // During a read: block `index` is now in the image.
    void blockDecoded(int index);
    // A read has ended, whatever its outcome, and the window is usable again.
    void readFinished();
    // A write has put the whole configuration into the instrument.
    void written();

  private:
    WindowImage& image_;
    ImageSource& source_;
    OperationRunner& runner_;
    QPushButton* BtnLoad = nullptr;
    QPushButton* BtnSave = nullptr;
};
