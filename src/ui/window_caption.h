#pragma once

#include <QObject>
#include <QString>

#include "config/image.h"

class TDeskForm;

// The main window's caption: the program's own title, then where the configuration shown
// came from (the model, number and identity of the instrument read, or the file opened), with
// a leading "*" while the configuration holds edits neither written nor saved. When "Номер
// прибора" addresses another instrument than the one the configuration is of, the caption
// adds "; адресован прибор № N".
//
// An edit is any difference from the configuration as last read, opened, saved or written,
// so an edit undone by hand is no edit. The password and network fields are left out: their
// dialogs write them at once. The caption follows the user's keys, clicks and focus.
class WindowCaption : public QObject {
    Q_OBJECT
  public:
    explicit WindowCaption(TDeskForm& form);

    // The configuration shown is now the one of its source: no edits.
    void markClean();
    // The file the configuration came from or was saved to; empty for the instrument.
    void setFileName(const QString& fileName);
    // Whether a loaded configuration holds edits neither written nor saved.
    bool hasUnsavedEdits() const;
    // Asks whether to go on when edits would be lost; true to go on.
    bool confirmDiscard();
    // "RV7408 № 1, ID 0A1B2C" for the configuration shown; empty when none is loaded.
    QString sourceText() const;

    void update();

  protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

  private:
    void updateSoon();

    TDeskForm& form_;
    bool updatePending_ = false;
    QString baseTitle_;
    QString fileName_;
    rv::ConfigImage clean_;
};
