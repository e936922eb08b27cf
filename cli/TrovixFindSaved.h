// trovix-find's side of the saved searches it shares with the window.
#pragma once

#include <QString>
#include <QStringList>
#include <QVariantList>

// "ID<TAB>NAME<TAB>rules in words", one per saved search, in stored order.
QStringList trovixFindSavedSearchLines();
// The canonical criteria of the saved search with that name (or identifier).
bool trovixFindSavedCriteria(const QString &nameOrId, QVariantList *criteria, QString *error);
// Stores criteria (the command line's rules) as a new saved search; returns its
// identifier, or 0 and *error.
qint64 trovixFindSaveSearch(const QString &name, const QVariantList &criteria, QString *error);
