#include "toolkit/FileDaDView.h"

#include <QDragEnterEvent>
#include <QDragLeaveEvent>
#include <QDropEvent>
#include <QMimeData>

FileDaDView::FileDaDView(QWidget *parent)
    : QWidget(parent)
{
    setAcceptDrops(true);
}

FileDaDView::~FileDaDView() = default;

bool FileDaDView::proposeDnDFileURLs(const QList<QUrl> &)
{
    return false;
}

namespace {

// The files named by the lines of the drag's text: absolute paths, or file
// URLs written out.
QList<QUrl> fileNameLines(const QMimeData *data)
{
    QList<QUrl> files;
    if (!data->hasText())
        return files;
    const QStringList lines = data->text().split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    for (const QString &line : lines) {
        const QString name = line.trimmed();
        if (name.startsWith(QLatin1Char('/'))) {
            files.append(QUrl::fromLocalFile(name));
        } else if (name.startsWith(QLatin1String("file:/"))) {
            const QUrl url(name);
            if (url.isLocalFile() && !url.toLocalFile().isEmpty())
                files.append(url);
        }
    }
    return files;
}

} // namespace

bool FileDaDView::isAcceptableMimeData(const QMimeData *data)
{
    if (!data)
        return false;
    return data->hasUrls() || !fileNameLines(data).isEmpty();
}

QList<QUrl> FileDaDView::fileURLsOfMimeData(const QMimeData *data)
{
    QList<QUrl> urls;
    if (!data)
        return urls;
    for (const QUrl &url : data->urls()) {
        if (url.isLocalFile())
            urls.append(url);
    }
    if (!data->hasUrls()) {
        urls += fileNameLines(data);
    }
    return urls;
}

void FileDaDView::setHasDragging(bool dragging)
{
    if (_hasDragging == dragging)
        return;
    _hasDragging = dragging;
    update();
}

void FileDaDView::dragEnterEvent(QDragEnterEvent *event)
{
    if (!isAcceptableMimeData(event->mimeData())) {
        event->ignore();
        return;
    }
    setHasDragging(true);
    event->setDropAction(Qt::CopyAction);
    event->accept();
}

void FileDaDView::dragMoveEvent(QDragMoveEvent *event)
{
    if (!isAcceptableMimeData(event->mimeData())) {
        event->ignore();
        return;
    }
    event->setDropAction(Qt::CopyAction);
    event->accept();
}

void FileDaDView::dragLeaveEvent(QDragLeaveEvent *)
{
    setHasDragging(false);
}

void FileDaDView::dropEvent(QDropEvent *event)
{
    setHasDragging(false);
    const QList<QUrl> urls = fileURLsOfMimeData(event->mimeData());
    if (urls.isEmpty() || !proposeDnDFileURLs(urls)) {
        event->ignore();
        return;
    }
    event->setDropAction(Qt::CopyAction);
    event->accept();
}
