#include "support/KZUserDefaults.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStandardPaths>
#include <algorithm>

#include "platform/KZPosixFS.h"
#include "support/KZFileSafety.h"
#include "support/KZFunctions.h"
#include "support/KZLog.h"

namespace {

std::unique_ptr<KZUserDefaults> &sharedSlot()
{
    static std::unique_ptr<KZUserDefaults> slot;
    return slot;
}

QString standardFilePath()
{
    const QString config = QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation);
    return config + QStringLiteral("/Trovix/Trovix.conf");
}

} // namespace

KZUserDefaults &KZUserDefaults::standardUserDefaults()
{
    auto &slot = sharedSlot();
    if (!slot)
        slot = std::make_unique<KZUserDefaults>(standardFilePath());
    return *slot;
}

void KZUserDefaults::resetStandardUserDefaults()
{
    sharedSlot().reset();
}

KZUserDefaults::KZUserDefaults(const QString &filePath)
{
    QDir().mkpath(QFileInfo(filePath).absolutePath());
    m_settings = std::make_unique<QSettings>(filePath, QSettings::IniFormat);
    m_settings->setFallbacksEnabled(false);
    if (m_settings->status() == QSettings::FormatError) {
        // Keep the user's file before the next write replaces it with what parsed.
        const QString aside = kzSetFileAside(filePath, /*move=*/false);
        KZLog::logError(KZFunctionMessage(__func__, __LINE__,
                                          QStringLiteral("FormatError path:%1 copiedTo:%2").arg(filePath, aside)));
    }
}

QString KZUserDefaults::filePath() const
{
    return m_settings->fileName();
}

bool KZUserDefaults::contains(const QString &key) const
{
    return m_settings->contains(key);
}

QVariant KZUserDefaults::objectForKey(const QString &key) const
{
    return m_settings->value(key);
}

void KZUserDefaults::setObject(const QVariant &value, const QString &key)
{
    if (!value.isValid())
        m_settings->remove(key);
    else
        m_settings->setValue(key, value);
}

void KZUserDefaults::removeObjectForKey(const QString &key)
{
    m_settings->remove(key);
}

qint64 KZUserDefaults::integerForKey(const QString &key, qint64 fallback) const
{
    bool ok = false;
    const qint64 v = m_settings->value(key).toLongLong(&ok);
    return ok ? v : fallback;
}

bool KZUserDefaults::boolForKey(const QString &key, bool fallback) const
{
    const QVariant v = m_settings->value(key);
    if (!v.isValid())
        return fallback;
    return v.toBool();
}

QString KZUserDefaults::stringForKey(const QString &key) const
{
    const QVariant v = m_settings->value(key);
    return v.isValid() ? v.toString() : QString();
}

QVariantList KZUserDefaults::arrayForKey(const QString &key) const
{
    const QVariant v = m_settings->value(key);
    if (v.typeId() == QMetaType::QVariantList)
        return v.toList();
    if (v.typeId() == QMetaType::QStringList) {
        QVariantList list;
        for (const QString &s : v.toStringList())
            list.append(s);
        return list;
    }
    // The INI store writes a one-element string list as a plain string.
    if (v.typeId() == QMetaType::QString)
        return QVariantList{v};
    return {};
}

QDateTime KZUserDefaults::dateForKey(const QString &key) const
{
    const QVariant v = m_settings->value(key);
    if (v.typeId() == QMetaType::QDateTime)
        return v.toDateTime().toLocalTime();
    const QDateTime d = QDateTime::fromString(v.toString(), Qt::ISODateWithMs);
    return d.isValid() ? d.toLocalTime() : QDateTime();
}

void KZUserDefaults::setDate(const QDateTime &date, const QString &key)
{
    if (!date.isValid())
        m_settings->remove(key);
    else
        m_settings->setValue(key, date.toOffsetFromUtc(date.offsetFromUtc()).toString(Qt::ISODateWithMs));
}

bool KZUserDefaults::synchronize()
{
    m_settings->sync();
    if (m_settings->status() == QSettings::AccessError) {
        KZLog::logError(KZFunctionMessage(__func__, __LINE__,
                                          QStringLiteral("sync AccessError path:%1").arg(m_settings->fileName())));
        return false;
    }
    return true;
}

QString KZUserDefaults::sharedLockPath() const
{
    const QFileInfo info(m_settings->fileName());
    return info.absolutePath() + QLatin1Char('/') + info.completeBaseName() + QStringLiteral(".lock");
}

bool KZUserDefaults::changeObjectForKey(const QString &key, const std::function<QVariant(const QVariant &stored)> &change,
                                        QString *message)
{
    kzplatform::KZFileLock lock;
    if (!kzLockSharedFile(sharedLockPath(), &lock, message))
        return false;
    // QSettings keeps the file parsed and reads it again only when its size or
    // its modification time in milliseconds differ from what it saw last; a
    // change of the same size made within the same clock tick would go
    // unseen. A modification time later than any the file has had forces the
    // reading.
    const QByteArray path = QFile::encodeName(m_settings->fileName());
    kzplatform::KZStat st;
    if (kzplatform::kzStatFollow(path.constData(), &st) == 0) {
        const qint64 fileMs = qint64(st.mtime.tv_sec) * 1000 + st.mtime.tv_nsec / 1000000;
        const qint64 ms = std::max(QDateTime::currentMSecsSinceEpoch(), fileMs) + 1;
        const struct timespec stamp = {time_t(ms / 1000), long(ms % 1000) * 1000000};
        kzplatform::kzSetModificationTime(path.constData(), stamp);
    }
    m_settings->sync();
    setObject(change(m_settings->value(key)), key);
    if (!synchronize()) {
        if (message)
            *message = QStringLiteral("%1 could not be written").arg(m_settings->fileName());
        return false;
    }
    return true;
}

QString KZUserDefaults::identifierForKey(const QString &key)
{
    QString identifier = stringForKey(key);
    if (identifier.isEmpty()) {
        identifier = KZFunctions::UUIDString();
        setObject(identifier, key);
        synchronize();
    }
    return identifier;
}
