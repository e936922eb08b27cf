// Drops and drags delivered as the window system would deliver them, and the
// rule rows' controls chosen as a click would.
#pragma once

#include <QApplication>
#include <QDragEnterEvent>
#include <QDragLeaveEvent>
#include <QDropEvent>
#include <QMimeData>
#include <QUrl>
#include <QWidget>
#include <gtest/gtest.h>

#include "rules/widgets/KZRuleEditorRowView.h"

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

// The controls of type T in a row, left to right.
template <typename T>
QList<T *> controlsOf(const KZRuleEditorRowView *row)
{
    QList<T *> list;
    for (QWidget *w : row->criterionViews()) {
        if (auto *t = qobject_cast<T *>(w))
            list.append(t);
    }
    return list;
}

// Picks the item at index of a pop-up or combo box, as a click does.
inline void activate(QComboBox *box, int index)
{
    ASSERT_GE(index, 0);
    box->setCurrentIndex(index);
    Q_EMIT box->activated(index);
}

// Picks the entry with the tag (or, with tag 0, the represented object) of a row's pop-up.
inline void choose(KZRuleEditorRow_PopUpButton *popUp, qint64 tag, const QVariant &object = QVariant())
{
    ASSERT_NE(popUp, nullptr);
    activate(popUp, popUp->indexOfMenuEntry(tag != 0 ? popUp->menu()->indexOfTag(tag)
                                                     : popUp->menu()->indexOfRepresentedObject(object)));
}

} // namespace rulestest
