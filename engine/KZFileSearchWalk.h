// Internals shared by KZFileSearch and its walk: the options of one walk and
// the byte-level name tests.
#pragma once

#include <QByteArray>
#include <cstddef>
#include <vector>

#include "engine/KZFileSearch.h"

struct KZWalkOptions {
    bool skipDSStore = true;
    bool includeTrash = false;
    // False only when the caller asked to skip the stat of matches and no
    // filter reads the snapshot (size, dates).
    bool statMatches = true;
    // True when a size filter is present: only regular files can match, so
    // folders and links are neither tested nor given a stat.
    bool onlyFilesMatch = false;
    const KZExcludedDir *excludedDirs = nullptr;
    // Folder names not entered; may be null.
    const KZSkippedDirNames *skippedDirNames = nullptr;
    const KZFileSearchFilterStruct *filters = nullptr;
    int32_t filtersCount = 0;
    KZCBufferContainer *buffer = nullptr;
    const std::atomic<bool> *isCancelled = nullptr;
    KZFileSearchCounters *counters = nullptr;
    const KZFileSearchCallback *callback = nullptr;
    // When set instead of callback, matches are collected as path bytes.
    const KZFileSearchPathsCallback *pathsCallback = nullptr;
    // Told of every folder that could not be read; may be null.
    const KZFileSearchUnreadableFolderCallback *unreadableFolder = nullptr;
    // The home trash ($XDG_DATA_HOME/Trash), skipped like ".Trash".
    QByteArray homeTrashPath;
    // Mount points of network and FUSE file systems below the root, spelt as
    // the walk builds its paths: each is asked, time-boxed, whether it
    // answers before the walk touches it; one that does not is skipped.
    std::vector<QByteArray> remoteMounts;
    // Threads that list folders ahead of the walk; 1 lists each folder on
    // the walking thread when the walk reaches it.
    int walkThreads = 1;
};

int KZPerformSearchWithOptions(const char *dirPath, const KZWalkOptions &options);

// "$XDG_DATA_HOME/Trash" (or "~/.local/share/Trash") as bytes.
QByteArray KZHomeTrashPath();

// The entries the walk passes over by name alone: ".DS_Store" (unless a
// type rule names it) and, in "/", the virtual file systems.
bool KZWalkSkipsName(const KZWalkOptions &options, const char *name, size_t length, bool listingRoot);
// The sub-folders the walk never enters nor tests by name: trashes, excluded
// folders and network mounts (which are asked first, by the walk itself).
bool KZWalkPassesOverFolder(const KZWalkOptions &options, const char *name, size_t length, const char *path,
                            size_t pathLength);
bool KZWalkIsRemoteMount(const KZWalkOptions &options, const char *path, size_t pathLength);
// The name pass of the filters: only what the directory entry tells.
bool KZEntryMatchNames(const KZWalkOptions &options, const char *name, size_t length);
// Counts one listed folder for the tests that look at what a walk reads.
void KZWalkCountListedFolder();

// Name tests on raw bytes, ignoring the case of ASCII letters only.
bool KZNameContains(const char *name, size_t nameLength, const char *text, size_t textLength);
bool KZNameTest(int64_t op, const char *name, size_t nameLength, const char *text, size_t textLength);
