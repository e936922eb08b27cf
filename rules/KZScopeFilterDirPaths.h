// The scope manager as the rules editor sees it: the folders that new folders
// rows offer, and where the folders a user adds to a folders row are
// remembered.
#pragma once

#include "rules/KZRulesEditorViewProtocols.h"

// Reads and writes ScopeDirManager::sharedInstance(). GUI thread only.
class KZScopeFilterDirPaths : public KZFilterDirPathsProvider
{
public:
    // The one adapter of the process; never released.
    static KZScopeFilterDirPaths *sharedInstance();

    QStringList filterDirPaths() const override;
    void addFilterFilterDirPath(const QString &path) override;
};
