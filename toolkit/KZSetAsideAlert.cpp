#include "toolkit/KZSetAsideAlert.h"

#include <QCoreApplication>
#include <QMessageBox>
#include <QPointer>
#include <mutex>

#include "support/KZFileSafety.h"
#include "support/KZLocalization.h"
#include "support/KZLog.h"

namespace {

struct Pending {
    std::mutex mutex;
    QStringList lines;
    bool showScheduled = false;
};

Pending &pending()
{
    static Pending state;
    return state;
}

// Shows what was set aside since the last alert; files set aside meanwhile
// wait for the next one.
void showPending()
{
    QStringList lines;
    {
        std::lock_guard<std::mutex> lock(pending().mutex);
        lines.swap(pending().lines);
        pending().showScheduled = false;
    }
    if (lines.isEmpty())
        return;
    auto *box = new QMessageBox(QMessageBox::Warning, KZLocalizedString("Trovix"),
                                KZLocalizedString("A file that could not be read was set aside."), QMessageBox::Ok);
    box->setObjectName(QStringLiteral("KZSetAsideAlert"));
    box->setInformativeText(lines.join(QLatin1Char('\n')));
    box->setAttribute(Qt::WA_DeleteOnClose);
    box->open(); // not modal to the caller: nothing waits for the user
}

} // namespace

void KZSetAsideAlert::install()
{
    kzSetFileAsideObserver([](const QString &path, const QString &aside, bool moved) {
        KZLog::logWarning(KZFunctionMessage(__func__, __LINE__, QStringLiteral("set aside %1 path:%2 aside:%3")
                                                                    .arg(moved ? QStringLiteral("moved") : QStringLiteral("copied"), path, aside)));
        const QString line = KZStringWithFormat(moved ? KZLocalizedString("“%@” could not be read; it is kept as “%@”.")
                                                      : KZLocalizedString("Part of “%@” could not be read; a copy is kept as “%@”."),
                                                {path, aside});
        std::lock_guard<std::mutex> lock(pending().mutex);
        pending().lines.append(line);
        if (!pending().showScheduled && QCoreApplication::instance()) {
            pending().showScheduled = true;
            QMetaObject::invokeMethod(QCoreApplication::instance(), &showPending, Qt::QueuedConnection);
        }
    });
}

void KZSetAsideAlert::uninstall()
{
    kzSetFileAsideObserver({});
    std::lock_guard<std::mutex> lock(pending().mutex);
    pending().lines.clear();
}
