#include "toolkit/KZSpinnerView.h"

#include <QPainter>

KZSpinnerView::KZSpinnerView(QWidget *parent)
    : QWidget(parent)
{
    m_timer.setInterval(80);
    connect(&m_timer, &QTimer::timeout, this, [this] {
        m_step = (m_step + 1) % 12;
        update();
    });
}

void KZSpinnerView::startAnimation()
{
    if (!m_timer.isActive())
        m_timer.start();
    update();
}

void KZSpinnerView::stopAnimation()
{
    m_timer.stop();
    update();
}

void KZSpinnerView::paintEvent(QPaintEvent *)
{
    if (!m_timer.isActive())
        return;
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    const qreal side = qMin(width(), height());
    p.translate(width() / 2.0, height() / 2.0);
    const QColor base = palette().color(QPalette::WindowText);
    for (int i = 0; i < 12; ++i) {
        QColor c = base;
        // The leading spoke is the darkest; the others fade behind it.
        c.setAlphaF(0.15 + 0.85 * (((i - m_step + 12) % 12) / 11.0));
        p.setPen(QPen(c, qMax<qreal>(1.5, side / 10.0), Qt::SolidLine, Qt::RoundCap));
        p.drawLine(QPointF(0, side * 0.22), QPointF(0, side * 0.45));
        p.rotate(30);
    }
}
