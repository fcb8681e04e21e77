#pragma once

#include <QString>

class QWidget;

// Every message box of the program goes through here, so tests can answer them.
class MessageBoxes {
  public:
    virtual ~MessageBoxes() = default;
    // OK and Cancel; true for OK.
    virtual bool confirmOkCancel(QWidget* parent, const QString& text) = 0;
    // Yes and No; true for Yes.
    virtual bool confirmYesNo(QWidget* parent, const QString& text) = 0;
    // An error with a single Cancel button.
    virtual void error(QWidget* parent, const QString& text) = 0;
    // The same with `detail` below the text in the box's smaller informative text.
    virtual void errorWithDetail(QWidget* parent, const QString& text, const QString& detail) = 0;
    // OK and Cancel with Cancel the default, for a step that may do harm; true for OK.
    virtual bool confirmRisky(QWidget* parent, const QString& text) = 0;
    // Information with a single Cancel button.
    virtual void information(QWidget* parent, const QString& text) = 0;
    // A warning with a single OK button.
    virtual void warning(QWidget* parent, const QString& text) = 0;
    // An error about a number that does not fit (the channel page's overflow).
    virtual void overflow(QWidget* parent, const QString& text) = 0;

    enum class SaveAnswer { Save, Discard, Cancel };
    // Unsaved work about to be left: "Сохранить", "Не сохранять" and "Отмена", Cancel the
    // default.
    virtual SaveAnswer askSave(QWidget* parent, const QString& text) = 0;
};

// The real boxes, modal, with the program's title and Russian button captions ("ОК",
// "Отмена", "Да", "Нет", "Сохранить", "Не сохранять").
class ModalMessageBoxes : public MessageBoxes {
  public:
    bool confirmOkCancel(QWidget* parent, const QString& text) override;
    bool confirmYesNo(QWidget* parent, const QString& text) override;
    void error(QWidget* parent, const QString& text) override;
    void errorWithDetail(QWidget* parent, const QString& text, const QString& detail) override;
    bool confirmRisky(QWidget* parent, const QString& text) override;
    void information(QWidget* parent, const QString& text) override;
    void warning(QWidget* parent, const QString& text) override;
    void overflow(QWidget* parent, const QString& text) override;
    SaveAnswer askSave(QWidget* parent, const QString& text) override;
};
