// SPDX-License-Identifier: GPL-3.0-or-later
#include "editors/vectorpathview.h"

#include <QPainter>

#include <algorithm>

#include "voice/vectorpath.h"

TVectorPathView::TVectorPathView(const Voice& voice, QWidget* parent) : QWidget(parent), voice(voice)
{
    setObjectName(QStringLiteral("vectorPath"));
    setMinimumSize(120, 120);
    setToolTip(QStringLiteral("The vector's path: where it plays over time, A to B across, C to D down"));
}

void TVectorPathView::showVector(bool levelVector)
{
    level = levelVector;
    update();
}

QRectF TVectorPathView::plane() const
{
    const double side = std::min(width(), height()) - 20.0;
    return {(width() - side) / 2.0, (height() - side) / 2.0, side, side};
}

QPolygonF TVectorPathView::points() const
{
    const VectorPath path = readVectorPath(level ? voice.levelVector : voice.detuneVector,
                                           level ? voice.levelVectorSpeed : voice.detuneVectorSpeed);
    const QRectF area = plane();
    // The top position is all A (at the left), all C (at the top).
    const auto place = [&area](double ab, double cd) {
        return QPointF(area.left() + area.width() * (vectorPositionTop - ab) / vectorPositionTop,
                       area.top() + area.height() * (vectorPositionTop - cd) / vectorPositionTop);
    };
    QPolygonF line;
    for (const PathStep& step : path.steps)
        line << place(step.ab, step.cd);
    double ab = 31, cd = 31;
    pathFinalPosition(path, ab, cd);
    if (path.end != PathEnd::Open && (line.isEmpty() || line.last() != place(ab, cd)))
        line << place(ab, cd);
    return line;
}

void TVectorPathView::paintEvent(QPaintEvent*)
{
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    p.fillRect(rect(), Qt::black);
    const QRectF area = plane();
    p.setPen(QPen(Qt::gray, 1));
    p.drawRect(area);
    p.drawLine(QPointF(area.center().x(), area.top()), QPointF(area.center().x(), area.bottom()));
    p.drawLine(QPointF(area.left(), area.center().y()), QPointF(area.right(), area.center().y()));
    p.setPen(Qt::yellow);
    p.drawText(QRectF(0, area.center().y() - 8, area.left(), 16), Qt::AlignCenter, QStringLiteral("A"));
    p.drawText(QRectF(area.right(), area.center().y() - 8, width() - area.right(), 16), Qt::AlignCenter,
               QStringLiteral("B"));
    p.drawText(QRectF(area.center().x() - 8, 0, 16, area.top()), Qt::AlignCenter, QStringLiteral("C"));
    p.drawText(QRectF(area.center().x() - 8, area.bottom(), 16, height() - area.bottom()), Qt::AlignCenter,
               QStringLiteral("D"));
    const QPolygonF line = points();
    if (line.isEmpty())
        return;
    p.setPen(QPen(Qt::green, 2));
    p.drawPolyline(line);
    p.setBrush(Qt::NoBrush);
    p.setPen(QPen(Qt::white, 2));
    p.drawEllipse(line.first(), 5, 5);
    p.setBrush(Qt::white);
    p.drawRect(QRectF(line.last() - QPointF(3, 3), QSizeF(6, 6)));
}
