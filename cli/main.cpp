// trovix-find: one Trovix search from the command line. The same session,
// engine and logging as the window; results are printed as each folder's
// batch arrives and are not kept.
#include <unistd.h>
#include <cstdio>

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QThreadPool>
#include <QTimer>

#include "cli/TrovixFindOptions.h"
#include "cli/TrovixFindRun.h"
#include "platform/KZResourceLimits.h"

int main(int argc, char *argv[])
{
    // The walk holds a descriptor per folder level.
    kzplatform::kzRaiseOpenFileLimit();

    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("Trovix"));
    QStringList args = QCoreApplication::arguments();
    args.removeFirst();
    return runTrovixFind(args, stdout, stderr, stdin);
}
