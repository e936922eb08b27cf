#include "rules/KZScopeFilterDirPaths.h"

#include "scope/ScopeDirManager.h"

KZScopeFilterDirPaths *KZScopeFilterDirPaths::sharedInstance()
{
    static KZScopeFilterDirPaths *instance = new KZScopeFilterDirPaths();
    return instance;
}

QStringList KZScopeFilterDirPaths::filterDirPaths() const
{
    return ScopeDirManager::sharedInstance()->filterDirPaths();
}

void KZScopeFilterDirPaths::addFilterFilterDirPath(const QString &path)
{
    ScopeDirManager::sharedInstance()->addFilterFilterDirPath(path);
}
