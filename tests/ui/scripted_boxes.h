#pragma once

#include <QString>
#include <QWidget>
#include <deque>
#include <functional>
#include <vector>

#include "ui/message_boxes.h"

// Message boxes for tests: every box is recorded, confirmations are answered from a script
// (a box asked with an empty script is refused, and still recorded).
class ScriptedBoxes : public MessageBoxes {
  public:
    enum class Kind {
        ConfirmOkCancel,
        ConfirmYesNo,
        ConfirmRisky,
        Error,
        Information,
        Warning,
        Overflow,
        AskSave
    };
    struct Shown {
        Kind kind;
        QString text;
        bool parentEnabled;  // whether the asking window was enabled when the box came up
        QString detail;      // the informative text below the text, if any
    };

    std::deque<bool> answers;
    // The answers to askSave; with none left, Cancel.
    std::deque<SaveAnswer> saveAnswers;
    std::vector<Shown> shown;
    // Runs as a box comes up, as if it had become the active window.
    std::function<void(const Shown&)> onShow;

    bool confirmOkCancel(QWidget* parent, const QString& text) override {
        return confirm(Kind::ConfirmOkCancel, parent, text);
    }
    bool confirmYesNo(QWidget* parent, const QString& text) override {
        return confirm(Kind::ConfirmYesNo, parent, text);
    }
    void error(QWidget* parent, const QString& text) override { record(Kind::Error, parent, text); }
    void errorWithDetail(QWidget* parent, const QString& text, const QString& detail) override {
        record(Kind::Error, parent, text, detail);
    }
    bool confirmRisky(QWidget* parent, const QString& text) override {
        return confirm(Kind::ConfirmRisky, parent, text);
    }
    void information(QWidget* parent, const QString& text) override {
        record(Kind::Information, parent, text);
    }
    void warning(QWidget* parent, const QString& text) override {
        record(Kind::Warning, parent, text);
    }
    void overflow(QWidget* parent, const QString& text) override {
        record(Kind::Overflow, parent, text);
    }

    SaveAnswer askSave(QWidget* parent, const QString& text) override {
        record(Kind::AskSave, parent, text);
        if (saveAnswers.empty()) return SaveAnswer::Cancel;
        const SaveAnswer answer = saveAnswers.front();
        saveAnswers.pop_front();
        return answer;
    }

    int count(Kind kind) const {
        int n = 0;
        for (const Shown& s : shown) n += s.kind == kind;
        return n;
    }

  private:
    void record(Kind kind, QWidget* parent, const QString& text, const QString& detail = {}) {
        shown.push_back({kind, text, parent == nullptr || parent->isEnabled(), detail});
        if (onShow) onShow(shown.back());
    }
    bool confirm(Kind kind, QWidget* parent, const QString& text) {
        record(kind, parent, text);
        if (answers.empty()) return false;
        const bool answer = answers.front();
        answers.pop_front();
        return answer;
    }
};
