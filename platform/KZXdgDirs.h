// The user's base folders of the XDG base directory rules: the variable's
// value when it is an absolute path, else the given folder under the home
// folder ("~/.local/state" for XDG_STATE_HOME, ...). Every part of Trovix that
// writes or removes its per-user folders asks here, so they all agree.
#pragma once

#include <QDir>
#include <QString>

namespace kzplatform {

inline QString kzXdgBaseDir(const char *variable, const char *underHome)
{
    const QString value = qEnvironmentVariable(variable);
    if (QDir::isAbsolutePath(value))
        return QDir::cleanPath(value);
    return QDir::homePath() + QLatin1Char('/') + QLatin1String(underHome);
}

} // namespace kzplatform
