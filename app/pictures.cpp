// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/pictures.h"

#include <QPalette>
#include <QWidget>

#include <QFont>
#include <QPainter>
#include <QPainterPath>
#include <QPen>
#include <cmath>
#include <functional>

namespace pictures {

QPixmap nameStrip(const QColor& colour)
{
    QPixmap picture(stripWidth, nameHeight);
    picture.fill(black);
    QPainter p(&picture);
    p.setRenderHint(QPainter::Antialiasing);
    p.setRenderHint(QPainter::TextAntialiasing);

    QFont font(QStringLiteral("DejaVu Serif"));
    font.setBold(true);
    font.setItalic(true);
    font.setPixelSize(66);
    p.setFont(font);

    // Turn the painter so that the text runs upwards, baseline towards the right edge.
    p.translate(stripWidth / 2.0, nameHeight / 2.0);
    p.rotate(-90);
    const QRectF box(-nameHeight / 2.0, -stripWidth / 2.0, nameHeight, stripWidth);
    // A thin shadow gives the letters some depth on the black ground.
    p.setPen(colour.darker(250));
    p.drawText(box.translated(3, 3), Qt::AlignCenter, QStringLiteral("Tarvik"));
    p.setPen(colour);
    p.drawText(box, Qt::AlignCenter, QStringLiteral("Tarvik"));
    return picture;
}

// A 20 x 20 button picture: strokes of one pen on a clear ground.
static QPixmap buttonPicture(const QPen& pen, const std::function<void(QPainter&)>& draw)
{
    QPixmap picture(20, 20);
    picture.fill(Qt::transparent);
    QPainter p(&picture);
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(pen);
    draw(p);
    return picture;
}

QPixmap tick()
{
    return buttonPicture(QPen(QColor(0, 160, 0), 3.2, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin),
                         [](QPainter& p) {
                             QPainterPath path;
                             path.moveTo(3, 10.5);
                             path.lineTo(8, 16);
                             path.lineTo(17, 4);
                             p.drawPath(path);
                         });
}

QPixmap cross()
{
    return buttonPicture(QPen(QColor(220, 0, 0), 3.2, Qt::SolidLine, Qt::RoundCap), [](QPainter& p) {
        p.drawLine(QPointF(4, 4), QPointF(16, 16));
        p.drawLine(QPointF(16, 4), QPointF(4, 16));
    });
}

static void drawSocket(QPainter& p, QPointF centre, double radius)
{
    p.setPen(QPen(teal, 2));
    p.setBrush(Qt::NoBrush);
    p.drawEllipse(centre, radius, radius);
    p.setPen(Qt::NoPen);
    p.setBrush(aqua);
    // Five pins on an arc over the lower half, as on a MIDI socket.
    for (int i = 0; i < 5; ++i) {
        const double angle = (180.0 + 45.0 * i) * M_PI / 180.0;
        const QPointF pin(centre.x() + 0.6 * radius * std::cos(angle),
                          centre.y() - 0.6 * radius * std::sin(angle));
        p.drawEllipse(pin, radius / 9, radius / 9);
    }
    p.setBrush(teal);
    p.drawRect(QRectF(centre.x() - radius / 6, centre.y() - radius - 1, radius / 3, radius / 4));
}

QPixmap socketStrip(int height)
{
    QPixmap picture(60, height);
    picture.fill(black);
    QPainter p(&picture);
    p.setRenderHint(QPainter::Antialiasing);
    const double radius = 20;
    for (double y = 40; y + radius < height; y += 70)
        drawSocket(p, QPointF(30, y), radius);
    return picture;
}

QPixmap appIcon(int size)
{
    QPixmap picture(size, size);
    picture.fill(Qt::transparent);
    QPainter p(&picture);
    p.setRenderHint(QPainter::Antialiasing);
    const double s = size / 64.0;
    p.setPen(Qt::NoPen);
    p.setBrush(black);
    p.drawRoundedRect(QRectF(2 * s, 2 * s, 60 * s, 60 * s), 10 * s, 10 * s);
    // The vector: four corners joined through a moving point.
    p.setPen(QPen(teal, 2.5 * s));
    p.drawLine(QPointF(14 * s, 14 * s), QPointF(50 * s, 50 * s));
    p.drawLine(QPointF(50 * s, 14 * s), QPointF(14 * s, 50 * s));
    p.setPen(Qt::NoPen);
    p.setBrush(aqua);
    for (QPointF corner : {QPointF(14, 14), QPointF(50, 14), QPointF(14, 50), QPointF(50, 50)})
        p.drawEllipse(corner * s, 4 * s, 4 * s);
    p.setBrush(yellow);
    p.drawEllipse(QPointF(38 * s, 26 * s), 6 * s, 6 * s);
    return picture;
}

QFont pixelFont(int pixels, bool bold)
{
    QFont font;
    font.setPixelSize(pixels);
    font.setBold(bold);
    return font;
}

void setTextColour(QWidget* widget, const QColor& colour)
{
    QPalette palette = widget->palette();
    palette.setColor(QPalette::WindowText, colour);
    widget->setPalette(palette);
}

}   // namespace pictures
