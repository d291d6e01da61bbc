// SPDX-License-Identifier: GPL-3.0-or-later
#include "mouseicon.h"

#include <QPainter>
#include <QPainterPath>
#include <QPixmap>

QImage mouseIconImage(int size)
{
    QImage image(size, size, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    p.scale(size / 32.0, size / 32.0);

    // The cable leaves the top of the body and curls away to the upper right.
    QPainterPath cable(QPointF(16, 11));
    cable.cubicTo(QPointF(16, 4), QPointF(22, 6), QPointF(24, 2));
    cable.cubicTo(QPointF(25, 0.5), QPointF(27, 1), QPointF(29, 1));
    p.setPen(QPen(Qt::black, 1.6, Qt::SolidLine, Qt::RoundCap));
    p.setBrush(Qt::NoBrush);
    p.drawPath(cable);

    // The body, seen from above: a rounded shell a little wider at the back.
    QPainterPath body;
    body.moveTo(16, 10);
    body.cubicTo(QPointF(24, 10), QPointF(25, 15), QPointF(25, 20));
    body.cubicTo(QPointF(25, 27), QPointF(21, 31), QPointF(16, 31));
    body.cubicTo(QPointF(11, 31), QPointF(7, 27), QPointF(7, 20));
    body.cubicTo(QPointF(7, 15), QPointF(8, 10), QPointF(16, 10));
    p.setPen(QPen(Qt::black, 1));
    p.setBrush(Qt::black);
    p.drawPath(body);

    // The two buttons and the wheel, picked out in grey so that the shape reads as a mouse.
    p.setPen(QPen(QColor(128, 128, 128), 1));
    p.drawLine(QPointF(7.5, 18.5), QPointF(24.5, 18.5));
    p.drawLine(QPointF(16, 10.5), QPointF(16, 18.5));
    p.setBrush(QColor(192, 192, 192));
    p.drawRoundedRect(QRectF(15, 12.5, 2, 4), 1, 1);
    p.end();
    return image;
}

QIcon mouseIcon()
{
    return QIcon(QPixmap::fromImage(mouseIconImage(32)));
}
