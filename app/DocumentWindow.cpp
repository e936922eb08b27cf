#include "app/DocumentWindow.h"

#include <algorithm>

#include <QCloseEvent>
#include <QDragEnterEvent>
#include <QFileInfo>
#include <QGuiApplication>
#include <QMimeData>
#include <QPainter>
#include <QPainterPath>
#include <QScreen>

#include "app/DocumentWindowController.h"
#include "support/KZLocalization.h"

DocumentWindow::DocumentWindow(DocumentWindowController *controller)
    : m_controller(controller)
{
    setObjectName(QStringLiteral("DocumentWindow"));
}

void DocumentWindow::keepInsideScreen()
{
    QScreen *screen = QGuiApplication::screenAt(frameGeometry().center());
    if (!screen)
        screen = this->screen();
    if (!screen)
        screen = QGuiApplication::primaryScreen();
    if (!screen)
        return;
    const QRect area = screen->availableGeometry();
    const QRect frame = frameGeometry();
    const QSize decoration = frame.size() - geometry().size();
    const int w = std::max(minimumWidth(), std::min(width(), area.width() - decoration.width()));
    const int h = std::max(minimumHeight(), std::min(height(), area.height() - decoration.height()));
    if (w != width() || h != height())
        resize(w, h);
    const QSize outer = QSize(w, h) + decoration;
    // A window larger than the area keeps its top left corner inside.
    const int x = std::max(area.left(), std::min(frame.x(), area.right() + 1 - outer.width()));
    const int y = std::max(area.top(), std::min(frame.y(), area.bottom() + 1 - outer.height()));
    if (x != frame.x() || y != frame.y())
        move(x, y);
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
    setToolTip(KZLocalizedString("Finds the names that contain the text.\n"
                                 "\u201C*.txt\u201D: names that end with \u201C.txt\u201D.\n"
                                 "\u201Crep*\u201D: names that begin with \u201Crep\u201D.\n"
                                 "\u201Cab*cd\u201D: names that begin with \u201Cab\u201D and end with \u201Ccd\u201D "
                                 "(from four characters on)."));
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
    if (event->key() == Qt::Key_Down && event->modifiers() == Qt::NoModifier) {
        Q_EMIT moveDown();
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
