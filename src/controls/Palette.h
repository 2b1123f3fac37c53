#pragma once
// The colours the pages share and the one way a widget is given colours of its own.

#include <QColor>
#include <QPalette>
#include <QWidget>

namespace fatura {

// The page container and the settings page: red 220, green 215, blue 186.
inline const QColor kPageColour{220, 215, 186};

// Paints widget's background in its own colour rather than the style's, and its text too when
// one is given.
inline void fillBackground(QWidget* widget, const QColor& background, const QColor& text = QColor())
{
    QPalette palette = widget->palette();
    // Buttons, check boxes among them, fill with the Button role, not Window.
    palette.setColor(widget->backgroundRole(), background);
    if (text.isValid())
        palette.setColor(QPalette::WindowText, text);
    widget->setPalette(palette);
    widget->setAutoFillBackground(true);
}

} // namespace fatura
