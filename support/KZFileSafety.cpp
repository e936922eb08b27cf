#include "support/KZFileSafety.h"

#include <QFile>
#include <QFileInfo>

#include "support/KZLog.h"

QString kzSetFileAside(const QString &path, bool move)
{
    QString target = path + QStringLiteral(".bad");
    for (int n = 2; QFileInfo::exists(target) || QFileInfo(target).isSymLink(); ++n) {
        if (n > 1000)
            return QString();
        target = path + QStringLiteral(".bad.%1").arg(n);
    }
    const bool ok = move ? QFile::rename(path, target) : QFile::copy(path, target);
    if (!ok) {
        KZLog::logError(KZFunctionMessage(__func__, __LINE__,
                                          QStringLiteral("set aside failed path:%1 target:%2").arg(path, target)));
        return QString();
    }
    return target;
}
