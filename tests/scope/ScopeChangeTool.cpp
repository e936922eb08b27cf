// Not a test: one change of the scope manager made from a process of its own,
// so that tests can start many at once. Usage: scope_change_tool exclude PATH |
// off PATH | favorite PATH. Exit status 0 when the change was accepted.
#include <QCoreApplication>

#include "scope/ScopeDirManager.h"

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    const QStringList args = app.arguments();
    if (args.size() != 3)
        return 2;
    ScopeDirManager *manager = ScopeDirManager::sharedInstance();
    const QString &verb = args[1];
    const QString &path = args[2];
    if (verb == QLatin1String("exclude"))
        manager->addExcludedDir(path);
    else if (verb == QLatin1String("off"))
        manager->setStateOfExcludedDir(false, path);
    else if (verb == QLatin1String("favorite"))
        return manager->proposeSelectionWithDirPath(path) ? 0 : 1;
    else
        return 2;
    return 0;
}
