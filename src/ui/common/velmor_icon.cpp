#include "ui/common/velmor_icon.h"

#include <QLinearGradient>
#include <QPainter>
#include <QPixmap>

namespace velmor {

namespace {

QPixmap DrawIcon(int size) {
    QPixmap pixmap(size, size);
    pixmap.fill(Qt::transparent);
    QPainter painter(&pixmap);
    painter.setRenderHint(QPainter::Antialiasing);
    QLinearGradient gradient(0, 0, size, size);
    gradient.setColorAt(0.0, QColor(230, 230, 230));
    gradient.setColorAt(1.0, QColor(60, 60, 60));
    painter.setPen(QPen(Qt::black, size / 16.0));
    painter.setBrush(gradient);
    painter.drawRoundedRect(QRectF(size * 0.06, size * 0.06, size * 0.88, size * 0.88), size * 0.12,
                            size * 0.12);
    // A lens in section and a ray bent by it.
    painter.setBrush(QColor(170, 200, 255));
    painter.drawEllipse(QRectF(size * 0.38, size * 0.16, size * 0.24, size * 0.68));
    painter.setPen(QPen(QColor(255, 0, 0), size / 12.0));
    painter.drawLine(QPointF(size * 0.12, size * 0.35), QPointF(size * 0.5, size * 0.42));
    painter.setPen(QPen(QColor(0, 0, 255), size / 12.0));
    painter.drawLine(QPointF(size * 0.5, size * 0.42), QPointF(size * 0.88, size * 0.7));
    return pixmap;
}

}  // namespace

QIcon VelmorIcon() {
    QIcon icon;
    for (int size : {16, 32, 48}) icon.addPixmap(DrawIcon(size));
    return icon;
}

}  // namespace velmor
