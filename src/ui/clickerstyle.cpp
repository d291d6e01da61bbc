// SPDX-License-Identifier: GPL-3.0-or-later
#include "clickerstyle.h"

#include <QAbstractButton>
#include <QApplication>
#include <QPainter>
#include <QStyleFactory>
#include <QStyleOption>

namespace {

// One line of an edge per 96 dpi, so that edges keep their weight as the layout grows.
int lineWidth(const QWidget *widget)
{
    return widget ? qMax(1, qRound(widget->logicalDpiX() / 96.0)) : 1;
}

// A sunken panel: two bands of edge, dark above and left, light below and right, around a face
// darker than a raised button's, so that set and clear tell apart at a glance.
void drawSunkenPanel(QPainter *painter, const QRect &rect, const QPalette &palette, int width)
{
    painter->fillRect(rect, palette.color(QPalette::Button).darker(125));
    const QColor outerTopLeft = palette.color(QPalette::Shadow);
    const QColor innerTopLeft = palette.color(QPalette::Dark);
    const QColor outerBottomRight = palette.color(QPalette::Light);
    // Fusion's midlight is hardly lighter than the face: light for both bands.
    const QColor innerBottomRight = palette.color(QPalette::Light);
    QRect band = rect;
    for (int pass = 0; pass < 2; ++pass) {
        const QColor &topLeft = pass == 0 ? outerTopLeft : innerTopLeft;
        const QColor &bottomRight = pass == 0 ? outerBottomRight : innerBottomRight;
        painter->fillRect(QRect(band.left(), band.bottom() - width + 1, band.width(), width),
                          bottomRight);
        painter->fillRect(QRect(band.right() - width + 1, band.top(), width, band.height()),
                          bottomRight);
        painter->fillRect(QRect(band.left(), band.top(), band.width() - width, width), topLeft);
        painter->fillRect(QRect(band.left(), band.top(), width, band.height() - width), topLeft);
        band.adjust(width, width, -width, -width);
    }
}

} // namespace

ClickerStyle::ClickerStyle() : QProxyStyle(QStyleFactory::create(QStringLiteral("Fusion"))) { }

void ClickerStyle::drawPrimitive(PrimitiveElement element, const QStyleOption *option,
                                 QPainter *painter, const QWidget *widget) const
{
    const auto *button = qobject_cast<const QAbstractButton *>(widget);
    if (element != PE_PanelButtonCommand || !button) {
        QProxyStyle::drawPrimitive(element, option, painter, widget);
        return;
    }
    if (button->isCheckable() && (option->state & State_On)) {
        drawSunkenPanel(painter, option->rect, option->palette, lineWidth(widget));
        return;
    }
    // Fusion's frame and its inner highlight stay; the face inside them takes the colour the
    // button was given, a shade darker while pressed.
    QProxyStyle::drawPrimitive(element, option, painter, widget);
    const QColor face = option->palette.color(QPalette::Button);
    if (face == QApplication::palette(widget).color(QPalette::Button))
        return;
    painter->fillRect(option->rect.adjusted(2, 2, -2, -2),
                      option->state & State_Sunken ? face.darker(115) : face);
}

void ClickerStyle::drawComplexControl(ComplexControl control, const QStyleOptionComplex *option,
                                      QPainter *painter, const QWidget *widget) const
{
    QProxyStyle::drawComplexControl(control, option, painter, widget);
    if (control != CC_ScrollBar || !(option->state & State_HasFocus))
        return;
    // A ring in the selection colour, inside the bar, as wide as a set toggle's edge.
    const int width = 2 * lineWidth(widget);
    painter->save();
    QPen pen(option->palette.color(QPalette::Highlight), width);
    pen.setJoinStyle(Qt::MiterJoin);
    painter->setPen(pen);
    painter->setBrush(Qt::NoBrush);
    painter->drawRect(
            QRectF(option->rect).adjusted(width / 2.0, width / 2.0, -width / 2.0, -width / 2.0));
    painter->restore();
}
