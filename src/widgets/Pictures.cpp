#include "Pictures.h"

#include <QPainter>
#include <QPainterPath>
#include <QtMath>

QPixmap PowerPicture(TPowerPicture kind, int size)
{
    QPixmap pm(size, size);
    pm.fill(Qt::transparent);
    QPainter p(&pm);
    p.setRenderHint(QPainter::Antialiasing);

    QColor ring, face, symbol;
    switch (kind) {
    case ppOn:
        ring = QColor(0, 110, 0);
        face = QColor(40, 200, 60);
        symbol = Qt::white;
        break;
    case ppOff:
        ring = QColor(120, 0, 0);
        face = QColor(210, 40, 40);
        symbol = Qt::white;
        break;
    case ppNoReply:
        ring = QColor(130, 100, 0);
        face = QColor(245, 200, 40);
        symbol = QColor(60, 60, 60);
        break;
    case ppDesign:
        ring = QColor(90, 90, 90);
        face = QColor(190, 190, 190);
        symbol = QColor(70, 70, 70);
        break;
    }

    const qreal m = size * 0.06;
    const QRectF disc(m, m, size - 2 * m, size - 2 * m);
    QRadialGradient shade(disc.center() - QPointF(size * 0.15, size * 0.15), size * 0.6);
    shade.setColorAt(0, face.lighter(130));
    shade.setColorAt(1, face);
    p.setBrush(shade);
    p.setPen(QPen(ring, qMax(2.0, size * 0.05)));
    p.drawEllipse(disc);

    // The power symbol: an open ring with a bar through its gap.
    const qreal r = size * 0.22;
    const QPointF c = disc.center() + QPointF(0, size * 0.03);
    QPen pen(symbol, qMax(2.0, size * 0.08), Qt::SolidLine, Qt::RoundCap);
    p.setPen(pen);
    p.setBrush(Qt::NoBrush);
    p.drawArc(QRectF(c.x() - r, c.y() - r, 2 * r, 2 * r), 120 * 16, -240 * 16);
    p.drawLine(QPointF(c.x(), c.y() - r * 1.35), QPointF(c.x(), c.y() - r * 0.2));

    if (kind == ppNoReply) {
        // A slash across: the matrix did not answer.
        QPen slash(QColor(200, 0, 0), qMax(2.0, size * 0.07), Qt::SolidLine, Qt::RoundCap);
        p.setPen(slash);
        p.drawLine(QPointF(size * 0.22, size * 0.78), QPointF(size * 0.78, size * 0.22));
    }
    return pm;
}

QPixmap PlugPicture(bool connected, int size)
{
    QPixmap pm(size, size);
    pm.fill(Qt::transparent);
    QPainter p(&pm);
    p.setRenderHint(QPainter::Antialiasing);
    const qreal s = size;
    const qreal gap = connected ? 0 : s * 0.16;
    const QColor body = connected ? QColor(0, 140, 0) : QColor(150, 0, 0);
    p.setPen(QPen(Qt::black, 1));

    // Cable ends.
    p.setBrush(Qt::black);
    p.drawRect(QRectF(0, s * 0.45, s * 0.12, s * 0.1));
    p.drawRect(QRectF(s * 0.88, s * 0.45, s * 0.12, s * 0.1));

    // Plug (left) with its two pins, socket (right).
    const qreal half = s * 0.5 - gap / 2;
    p.setBrush(body);
    p.drawRoundedRect(QRectF(s * 0.12, s * 0.3, half - s * 0.12 - s * 0.12, s * 0.4), 2, 2);
    p.setBrush(QColor(200, 200, 200));
    const qreal pinX = half - s * 0.12;
    p.drawRect(QRectF(pinX, s * 0.36, s * 0.12, s * 0.07));
    p.drawRect(QRectF(pinX, s * 0.57, s * 0.12, s * 0.07));
    p.setBrush(body);
    const qreal sockX = s * 0.5 + gap / 2;
    p.drawRoundedRect(QRectF(sockX, s * 0.3, s * 0.88 - sockX, s * 0.4), 2, 2);

    if (!connected) {
        QPen spark(QColor(220, 160, 0), qMax(1.0, s * 0.05));
        p.setPen(spark);
        p.drawLine(QPointF(s * 0.5, s * 0.12), QPointF(s * 0.5, s * 0.24));
        p.drawLine(QPointF(s * 0.5, s * 0.76), QPointF(s * 0.5, s * 0.88));
    }
    return pm;
}
