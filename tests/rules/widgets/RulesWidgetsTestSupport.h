// Drops and drags delivered as the window system would deliver them.
#pragma once

#include <QApplication>
#include <QDragEnterEvent>
#include <QDragLeaveEvent>
#include <QDropEvent>
#include <QMimeData>
#include <QUrl>
#include <QWidget>

namespace rulestest {

inline QMimeData *urlData(const QList<QUrl> &urls)
{
    auto *data = new QMimeData;
    data->setUrls(urls);
    return data;
}

inline QMimeData *textData(const QString &text)
{
    auto *data = new QMimeData;
    data->setText(text);
    return data;
}

// Enter; true when the view accepted the drag.
inline bool dragEnter(QWidget *view, const QMimeData *data)
{
    QDragEnterEvent enter(QPoint(5, 5), Qt::CopyAction | Qt::LinkAction, data, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(view, &enter);
    return enter.isAccepted();
}

inline void dragLeave(QWidget *view)
{
    QDragLeaveEvent leave;
    QApplication::sendEvent(view, &leave);
}

// Enter then drop; true when the drop was accepted.
inline bool drop(QWidget *view, const QMimeData *data)
{
    dragEnter(view, data);
    QDropEvent dropEvent(QPointF(5, 5), Qt::CopyAction | Qt::LinkAction, data, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(view, &dropEvent);
    return dropEvent.isAccepted();
}

} // namespace rulestest
