#include "ui/ProgramIcon.h"

#include <QPainter>
#include <QPainterPath>
#include <QPixmap>
#include <QPolygonF>

#include <cmath>

namespace turnpost {

namespace {

QPixmap DrawIcon(int size)
{
    QPixmap pixmap(size, size);
    pixmap.fill(Qt::transparent);
    QPainter painter(&pixmap);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.scale(size / 32.0, size / 32.0);

    // The envelope.
    const QRectF envelope(2.5, 8.5, 27, 19);
    painter.setPen(QPen(QColor(40, 60, 100), 1.2));
    painter.setBrush(QColor(245, 245, 235));
    painter.drawRoundedRect(envelope, 1.5, 1.5);
    QPainterPath flap;
    flap.moveTo(envelope.topLeft());
    flap.lineTo(16, 19);
    flap.lineTo(envelope.topRight());
    painter.setBrush(Qt::NoBrush);
    painter.drawPath(flap);

    // A five-pointed star over its corner.
    QPolygonF star;
    const QPointF centre(23.5, 9.0);
    for (int i = 0; i < 10; ++i) {
        const double radius = i % 2 == 0 ? 8.0 : 3.4;
        const double angle = -M_PI / 2 + i * M_PI / 5;
        star << centre + QPointF(radius * std::cos(angle), radius * std::sin(angle));
    }
    painter.setPen(QPen(QColor(150, 90, 0), 1.0));
    painter.setBrush(QColor(255, 200, 40));
    painter.drawPolygon(star);
    return pixmap;
}

} // namespace

QIcon ProgramIcon()
{
    QIcon icon;
    for (int size : {16, 24, 32, 48, 64, 128, 256})
        icon.addPixmap(DrawIcon(size));
    return icon;
}

} // namespace turnpost
