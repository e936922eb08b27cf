// trovix-find: one Trovix search from the command line. The same session,
// engine and logging as the window; results are printed as each folder's
// batch arrives and are not kept.
#include <cstdio>

#include <QCoreApplication>

#include "cli/TrovixFindRun.h"
#include "platform/KZPathBytes.h"
#include "platform/KZResourceLimits.h"
#include "platform/KZStandardDescriptors.h"

int main(int argc, char *argv[])
{
    kzplatform::kzHoldClosedStandardDescriptors();
    // The walk holds a descriptor per folder level.
    kzplatform::kzRaiseOpenFileLimit();

    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("Trovix"));
    // From argv itself: QCoreApplication::arguments() turns bytes that are not
    // UTF-8 into U+FFFD, and folders and names must keep them.
    QStringList args;
    for (int i = 1; i < argc; ++i)
        args.append(kzplatform::kzPathFromBytes(QByteArray(argv[i])));
    return runTrovixFind(args, stdout, stderr, stdin);
}
