#include "app/DocumentWindow.h"

#include <QCloseEvent>
#include <QDragEnterEvent>
#include <QFileInfo>
#include <QMimeData>
#include <QPainter>
#include <QPainterPath>

#include "app/DocumentWindowController.h"

DocumentWindow::DocumentWindow(DocumentWindowController *controller)
    : m_controller(controller)
{
    setObjectName(QStringLiteral("DocumentWindow"));
}

void DocumentWindow::closeEvent(QCloseEvent *event)
{
    if (!m_controller->windowShouldClose()) {
        event->ignore();
        return;
    }
    m_controller->windowWillClose();
    QMainWindow::closeEvent(event);
}

void DocumentWindow::resizeEvent(QResizeEvent *event)
{
    QMainWindow::resizeEvent(event);
    m_controller->windowDidResize();
}

void DocumentWindow::changeEvent(QEvent *event)
{
    QMainWindow::changeEvent(event);
    if (event->type() == QEvent::ActivationChange && isActiveWindow())
        m_controller->windowDidBecomeMain();
}

SearchTextField::SearchTextField(QWidget *parent)
    : QLineEdit(parent)
{
    setObjectName(QStringLiteral("mSearchField"));
    setFrame(false);
}

void SearchTextField::keyPressEvent(QKeyEvent *event)
{
    if (event->key() == Qt::Key_Escape) {
        Q_EMIT cancelOperation();
        event->accept();
        return;
    }
    if (event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) {
        Q_EMIT insertNewline();
        event->accept();
        return;
    }
    QLineEdit::keyPressEvent(event);
}

void SearchBarBgView::paintEvent(QPaintEvent *)
{
    QPainter p(this);
    p.fillRect(QRect(0, height() - 1, width(), 1), separatorColor());
}

void SearchBarBgView::resizeEvent(QResizeEvent *event)
{
    QWidget::resizeEvent(event);
    Q_EMIT resized();
}

AssistantDaDView::AssistantDaDView(QWidget *parent)
    : FileDaDView(parent)
{
    setObjectName(QStringLiteral("assistantDnDView"));
}

void AssistantDaDView::paintEvent(QPaintEvent *)
{
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    QPen pen(QColor::fromRgbF(0.67, 0.67, 0.67), 4);
    if (!hasDragging()) {
        // Dash lengths are in units of the pen width: 20 on, 10 off.
        pen.setDashPattern({20.0 / 4, 10.0 / 4});
    }
    p.setPen(pen);
    QPainterPath path;
    path.addRoundedRect(QRectF(rect()).adjusted(2, 2, -2, -2), 40, 40);
    p.drawPath(path);
}

bool AssistantDaDView::proposeDnDFileURLs(const QList<QUrl> &urls)
{
    return m_delegatorController && m_delegatorController->assistantDnDViewProposeURL(urls.first());
}
