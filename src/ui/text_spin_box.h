#pragma once

#include <QEvent>
#include <QKeyEvent>
#include <QLineEdit>
#include <QSpinBox>
#include <algorithm>
#include <functional>

// A spin box that lets any text be typed and reports every change of the text it shows,
// typed or set, through shownTextChanged. Its value follows the text through `readText`;
// on losing the focus or on Enter the text is replaced by the value brought into range.
class TextSpinBox : public QSpinBox {
    Q_OBJECT
  public:
    explicit TextSpinBox(QWidget* parent = nullptr) : QSpinBox(parent) {
        connect(lineEdit(), &QLineEdit::textChanged, this, &TextSpinBox::noticeText);
        // QSpinBox rewrites its editor with signals blocked; the value change still tells.
        connect(this, &QSpinBox::valueChanged, this, &TextSpinBox::noticeText);
        shown_ = lineEdit()->text();
    }

    // The value a text stands for; the range is applied afterwards.
    std::function<int(const QString& text, int current)> readText;

    QLineEdit* editor() const { return lineEdit(); }

  signals:
    void shownTextChanged();

  protected:
    QValidator::State validate(QString&, int&) const override { return QValidator::Acceptable; }
    void fixup(QString&) const override {}
    int valueFromText(const QString& text) const override {
        return readText ? readText(text, value()) : value();
    }

    void focusOutEvent(QFocusEvent* event) override {
        settleText();
        QSpinBox::focusOutEvent(event);
    }
    void keyPressEvent(QKeyEvent* event) override {
        if (event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) settleText();
        QSpinBox::keyPressEvent(event);
    }
    bool event(QEvent* event) override {
        const bool handled = QSpinBox::event(event);
        noticeText();
        return handled;
    }

  private:
    void settleText() {
        const int settled = std::clamp(valueFromText(lineEdit()->text()), minimum(), maximum());
        const QString text = textFromValue(settled);
        if (text != lineEdit()->text()) lineEdit()->setText(text);
    }
    void noticeText() {
        if (lineEdit()->text() == shown_) return;
        shown_ = lineEdit()->text();
        emit shownTextChanged();
    }

    QString shown_;
};
