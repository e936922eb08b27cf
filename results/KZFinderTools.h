// The desktop-facing tools of the results: whether an item may go to the
// Trash (and why not), the file manager's properties window, the label badges
// of the rules editor's tag menus, and the volume/system name filter.
#pragma once

#include <QImage>
#include <QList>
#include <QString>
#include <QStringList>

class KZFinderTools
{
public:
    // 1: may go to the Trash; 0: not now (missing, no permission, a volume
    // without Trash), with the reason; -1: never (a protected folder of the
    // user). Mode 1 is the only mode. Touches the disk: any thread.
    // The check runs where the path lives: a network volume that does not
    // answer in time gives 0.
    static int trashableStatusForFile(const QString &path, int mode, QString *reason = nullptr);
    // Several items go to the Trash together or not at all: -1 when any is
    // protected, else 0 when any cannot go now, else 1. The reason is that of
    // the first item that may not go.
    static int trashableStatusForFiles(const QStringList &paths, QString *reason = nullptr);
    // The folders that are never moved to the Trash: the home folder, its XDG
    // user folders as configured and its settings and key folders. Computed
    // once for the home folder of the process.
    static QStringList protectedPaths();

    // Asks the file manager for the item's properties window; false for a
    // missing path or when no file manager can show properties. GUI thread.
    static bool displayFinderGetInfoOfPath(const QString &path);

    struct LabelBadge {
        QString label;
        QImage badge; // 16x16
    };
    // Every label but the first (no label), with its colour drawn as a badge.
    static QList<LabelBadge> finderLabelsAsNameAndBadges();

    static bool isVolumeSystemHiddenFilename(const QString &name, int mode);
};
