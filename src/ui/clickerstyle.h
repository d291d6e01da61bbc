// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QProxyStyle>

// Fusion, the program's look on every platform, with three things it does not show: a push
// button's face in the exact colour its palette was given (the running Execute button is red,
// where Fusion paints a pale gradient of it), a set toggle button pressed in with sunken edges,
// and the keyboard focus on a scroll bar.
class ClickerStyle : public QProxyStyle
{
public:
    ClickerStyle();

    void drawPrimitive(PrimitiveElement element, const QStyleOption *option, QPainter *painter,
                       const QWidget *widget = nullptr) const override;
    void drawComplexControl(ComplexControl control, const QStyleOptionComplex *option,
                            QPainter *painter, const QWidget *widget = nullptr) const override;
};
