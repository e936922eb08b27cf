// A small busy indicator: twelve spokes turning while animated, nothing drawn
// when stopped. GUI thread.
#pragma once

#include <QTimer>
#include <QWidget>

class KZSpinnerView : public QWidget
{
    Q_OBJECT
public:
    explicit KZSpinnerView(QWidget *parent = nullptr);

    void startAnimation();
    void stopAnimation();
    bool isAnimating() const { return m_timer.isActive(); }

    QSize sizeHint() const override { return QSize(16, 16); }

protected:
    void paintEvent(QPaintEvent *event) override;

private:
    QTimer m_timer;
    int m_step = 0;
};
