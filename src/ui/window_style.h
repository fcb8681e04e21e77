#pragma once

#include <QFont>
#include <QLabel>
#include <QString>
#include <QWidget>

// The small steps every window of the program takes the same way when it builds its controls.
namespace window_style {

inline constexpr int kHintMilliseconds = 10000;

inline QFont withPixelSize(QFont font, int pixels, bool bold) {
    font.setPixelSize(pixels);
    font.setBold(bold);
    return font;
}

inline void setHint(QWidget* widget, const char* hint) {
    widget->setToolTip(QString::fromUtf8(hint));
    widget->setToolTipDuration(kHintMilliseconds);
}

inline QLabel* makeLabel(QWidget* parent, const char* name, const char* text, int left, int top) {
    auto* label = new QLabel(QString::fromUtf8(text), parent);
    label->setObjectName(name);
    label->move(left, top);
    label->adjustSize();
    return label;
}

}  // namespace window_style
