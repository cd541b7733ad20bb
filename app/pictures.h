// SPDX-License-Identifier: GPL-3.0-or-later
// Pictures drawn in code: the program's name written from bottom to top for the left
// strips, the green tick and the red cross on the buttons, the device dialog's strip.
#pragma once

#include <QColor>
#include <QFont>
#include <QIcon>
#include <QPixmap>

class QWidget;

namespace pictures {

// The colours of the windows.
inline const QColor black(0, 0, 0);
inline const QColor yellow(255, 255, 0);
inline const QColor lime(0, 255, 0);
inline const QColor green(0, 128, 0);
inline const QColor red(255, 0, 0);
inline const QColor teal(0, 128, 128);
// Text colours that read (4.5 : 1 and more): teal text on black, green on grey.
inline const QColor textTeal(0, 160, 160);
inline const QColor textGreen(0, 80, 0);
inline const QColor aqua(0, 255, 255);
inline const QColor grey(192, 192, 192);

constexpr int stripWidth = 89;
constexpr int nameHeight = 275;

// 89 x 275, "Tarvik" read from bottom to top in the given colour on black.
QPixmap nameStrip(const QColor& colour);
// A green tick and a red cross, 20 x 20.
QPixmap tick();
QPixmap cross();
// Down the device dialog's left side: five-pin sockets on black.
QPixmap socketStrip(int height);
// The program's icon, drawn at any size.
QPixmap appIcon(int size);

// The main window's fonts, sized in pixels, and its text colours.
QFont pixelFont(int pixels, bool bold);
void setTextColour(QWidget* widget, const QColor& colour);

}   // namespace pictures
