// SPDX-License-Identifier: GPL-3.0-or-later
#include "editors/pictures.h"

#include <QPainter>
#include <QPolygon>

#include <algorithm>

namespace {

const QColor pictureColour(0, 255, 0);

QPixmap blank(int width, int height)
{
    QPixmap p(width, height);
    p.fill(Qt::transparent);
    return p;
}

QPixmap polyline(int width, int height, const QPolygon& points)
{
    QPixmap p = blank(width, height);
    QPainter painter(&p);
    painter.setPen(QPen(pictureColour, 1));
    painter.drawPolyline(points);
    return p;
}

}   // namespace

QPixmap velocityResponsePicture(int index)
{
    const int w = responsePictureWidth, h = responsePictureHeight;
    const int top = 1, bottom = h - 2, mid = h / 2;
    switch (index) {
    case 0:   // louder when struck softly: high at the left, a step down
        return polyline(
            w, h,
            QPolygon({QPoint(1, top), QPoint(w / 2, top), QPoint(w / 2, bottom), QPoint(w - 2, bottom)}));
    case 2:   // louder when struck hard: low at the left, a step up
        return polyline(
            w, h,
            QPolygon({QPoint(1, bottom), QPoint(w / 2, bottom), QPoint(w / 2, top), QPoint(w - 2, top)}));
    default: return polyline(w, h, QPolygon({QPoint(1, mid), QPoint(w - 2, mid)}));
    }
}

QPixmap aftertouchResponsePicture(int index)
{
    const int w = responsePictureWidth, h = responsePictureHeight;
    const int top = 1, bottom = h - 2, mid = h / 2;
    switch (index) {
    case 0: return polyline(w, h, QPolygon({QPoint(1, top), QPoint(w - 2, bottom)}));
    case 2: return polyline(w, h, QPolygon({QPoint(1, bottom), QPoint(w - 2, top)}));
    default: return polyline(w, h, QPolygon({QPoint(1, mid), QPoint(w - 2, mid)}));
    }
}

QPixmap lfoWavePicture(int index)
{
    const int w = lfoPictureWidth, h = lfoPictureHeight;
    const int top = 1, bottom = h - 2, mid = h / 2;
    const int l = 1, r = w - 2, c = w / 2;
    switch (index) {
    case 0:   // falling sawtooth: two teeth
        return polyline(
            w, h,
            QPolygon({QPoint(l, top), QPoint(c, bottom), QPoint(c, top), QPoint(r, bottom), QPoint(r, top)}));
    case 1:   // triangle
        return polyline(w, h,
                        QPolygon({QPoint(l, mid), QPoint(l + (r - l) / 4, top),
                                  QPoint(l + 3 * (r - l) / 4, bottom), QPoint(r, mid)}));
    case 2:   // square
        return polyline(w, h,
                        QPolygon({QPoint(l, bottom), QPoint(l, top), QPoint(c, top), QPoint(c, bottom),
                                  QPoint(r, bottom), QPoint(r, top)}));
    case 3: {   // random: held steps at uneven heights
        static const int heights[] = {3, 8, 1, 6, 10, 4};
        QPolygon points;
        const int steps = 6;
        for (int i = 0; i < steps; ++i) {
            const int x0 = l + (r - l) * i / steps, x1 = l + (r - l) * (i + 1) / steps;
            const int y = std::min(heights[i], bottom);
            points << QPoint(x0, y) << QPoint(x1, y);
        }
        return polyline(w, h, points);
    }
    case 4:   // rising sawtooth
        return polyline(w, h,
                        QPolygon({QPoint(l, bottom), QPoint(c, top), QPoint(c, bottom), QPoint(r, top),
                                  QPoint(r, bottom)}));
    default: return blank(w, h);
    }
}

QPixmap levelScalingPicture(int n)
{
    const int w = scalingPictureWidth, h = scalingPictureHeight;
    n = std::clamp(n, 0, 15);
    // Flat up to the middle of the keyboard, then falling by up to the full height.
    const int knee = w / 3;
    const int drop = (h - 2) * n / 15;
    return polyline(w, h, QPolygon({QPoint(0, 1), QPoint(knee, 1), QPoint(w - 1, 1 + drop)}));
}

QPixmap rateScalingPicture(int n)
{
    const int w = scalingPictureWidth, h = scalingPictureHeight;
    n = std::clamp(n, 0, 7);
    // Rising across the whole keyboard, by up to the full height.
    const int rise = (h - 2) * n / 7;
    return polyline(w, h, QPolygon({QPoint(0, h - 2), QPoint(w - 1, h - 2 - rise)}));
}
