// The user-defaults database: QSettings in INI format at
// $XDG_CONFIG_HOME/Trovix/Trovix.conf, keys verbatim ("ScopeDirManager-excludedDirs").
// GUI thread (the command-line tool uses it from its only thread).
#pragma once

#include <QDateTime>
#include <QSettings>
#include <QString>
#include <QVariant>
#include <functional>
#include <memory>

class KZUserDefaults
{
public:
    // The shared store, opened on first use. A file that does not parse is
    // copied aside (Trovix.conf.bad) before anything is written over it.
    static KZUserDefaults &standardUserDefaults();
    // Closes the shared store so that the next use re-reads the environment
    // (tests that point XDG_CONFIG_HOME elsewhere).
    static void resetStandardUserDefaults();

    explicit KZUserDefaults(const QString &filePath);

    QString filePath() const;
    bool contains(const QString &key) const;
    QVariant objectForKey(const QString &key) const;
    void setObject(const QVariant &value, const QString &key);
    void removeObjectForKey(const QString &key);

    qint64 integerForKey(const QString &key, qint64 fallback = 0) const;
    bool boolForKey(const QString &key, bool fallback = false) const;
    QString stringForKey(const QString &key) const;
    QVariantList arrayForKey(const QString &key) const;
    // Dates are stored as ISO 8601 text; an invalid or missing one reads as null.
    QDateTime dateForKey(const QString &key) const;
    void setDate(const QDateTime &date, const QString &key);

    // Writes to disk; false (logged) when the file could not be written.
    bool synchronize();

    // A random identifier kept under key: the stored one, or a new UUID
    // stored (and written) on first need.
    QString identifierForKey(const QString &key);

    // One change of a value that other processes change too (a list kept
    // under one key): under the advisory lock "Trovix.lock" beside the file,
    // the file is read again, change() turns the value found there into the
    // new one, and the file is written. False, with *message, when the lock
    // was not had in time (nothing changed) or the write failed (logged).
    // The file's own "Trovix.conf.lock" is QSettings' lock file, not ours.
    bool changeObjectForKey(const QString &key, const std::function<QVariant(const QVariant &stored)> &change,
                            QString *message = nullptr);
    // Where changeObjectForKey takes its lock.
    QString sharedLockPath() const;

private:
    std::unique_ptr<QSettings> m_settings;
};
