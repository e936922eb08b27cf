// The numbered requests of one view to the preview queue: a new request makes
// the earlier ones stale. The current request's answer reaches the view on
// its own thread; a stale one is dropped and counted. GUI thread.
#pragma once

#include <QFutureWatcher>
#include <QObject>
#include <QPointer>
#include <QtConcurrent/QtConcurrentRun>
#include <type_traits>

#include "results/FilePreviewRenderer.h"
#include "support/KZHandOver.h"

class PreviewRequests
{
public:
    // A new request number; every answer asked for before it is now stale,
    // and the last request is cancelled if it has not started yet (holding an
    // arrow key in the list must not queue a read for every row passed).
    quint64 next()
    {
        if (m_last)
            m_last->cancel();
        return ++m_generation;
    }
    bool isCurrent(quint64 generation) const { return generation == m_generation; }
    int droppedAnswers() const { return m_droppedAnswers; }

    // Runs work() on the preview queue for the current request and hands its
    // result to apply() on view's thread, unless a newer request came first.
    // The object holding these requests must be view or live as long as it.
    template <typename Work, typename Apply>
    void run(QObject *view, Work work, Apply apply)
    {
        using Answer = std::invoke_result_t<Work>;
        const quint64 generation = m_generation;
        auto *watcher = new QFutureWatcher<Answer>(view);
        m_last = watcher;
        QObject::connect(watcher, &QFutureWatcher<Answer>::finished, view, [this, watcher, generation, apply] {
            watcher->deleteLater();
            kzHandOverAcquire();
            if (!isCurrent(generation)) {
                ++m_droppedAnswers;
                return;
            }
            apply(watcher->result());
        });
        kzHandOverRelease();
        watcher->setFuture(QtConcurrent::run(FilePreviewRenderer::queue(), [work] {
            Answer answer = work();
            kzHandOverRelease();
            return answer;
        }));
    }

private:
    QPointer<QFutureWatcherBase> m_last;
    quint64 m_generation = 0;
    int m_droppedAnswers = 0;
};
