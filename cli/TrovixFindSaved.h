// trovix-find's side of the saved searches it shares with the window.
#pragma once

#include <QString>
#include <QStringList>
#include <QVariantList>
#include <cstdio>

#include "support/KZFileSafety.h"

// "ID<TAB>NAME<TAB>rules in words", one per saved search, in stored order.
QStringList trovixFindSavedSearchLines();
// The canonical criteria of the saved search with that name (or identifier).
bool trovixFindSavedCriteria(const QString &nameOrId, QVariantList *criteria, QString *error);
// Stores criteria (the command line's rules) as a new saved search; returns its
// identifier, or 0 and *error.
qint64 trovixFindSaveSearch(const QString &name, const QVariantList &criteria, QString *error);

// While alive, names on err each file set aside because it could not be read
// (the saved searches, the settings), one line per file.
class TrovixFindSetAsideReport
{
public:
    explicit TrovixFindSetAsideReport(FILE *err);
    ~TrovixFindSetAsideReport();
    TrovixFindSetAsideReport(const TrovixFindSetAsideReport &) = delete;
    TrovixFindSetAsideReport &operator=(const TrovixFindSetAsideReport &) = delete;

private:
    KZSetAsideObserver m_previous;
};
