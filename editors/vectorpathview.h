// SPDX-License-Identifier: GPL-3.0-or-later
// A vector's path as the synthesiser plays it: the positions of its steps in the A/B
// (across) and C/D (down) plane, joined in the order they play, from the first step
// (a ring) to where the path rests or loops back (a square). It reads the voice each
// time it paints; its owner asks for a repaint on every change.
#pragma once

#include <QPolygonF>
#include <QWidget>

#include "voice/voice.h"

class TVectorPathView : public QWidget {
    Q_OBJECT
public:
    TVectorPathView(const Voice& voice, QWidget* parent = nullptr);

    // Which vector it draws: the level vector, or the detune vector.
    void showVector(bool level);
    // The path's points in the widget, in playing order, as the last paint drew them
    // (or would draw them now).
    QPolygonF points() const;

    QSize sizeHint() const override { return {150, 150}; }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    QRectF plane() const;
    const Voice& voice;
    bool level = true;
};
