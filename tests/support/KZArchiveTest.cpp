#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QCborArray>
#include <QCborMap>
#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <gtest/gtest.h>

#include "support/KZArchive.h"
#include "support/KZNotificationCenter.h"
#include "support/KZUserDefaults.h"
#include "tests/testlib/TestEnvironment.h"

namespace {

KZArchivedObject sample()
{
    QCborMap fav;
    fav.insert(QStringLiteral("serializedPath"), QStringLiteral("/home/me/Dossier à moi\nnew line"));
    fav.insert(QStringLiteral("bookmarkData"), QCborValue(QByteArray("\x00\x01\xff", 3)));
    fav.insert(QStringLiteral("uniqueId"), 7);
    QCborArray list;
    list.append(fav);
    return KZArchivedObject{QStringLiteral("FavoriteDirs"), 1, list};
}

QByteArray readAll(const QString &path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

} // namespace

TEST(KZArchive, RoundTrip)
{
    kztest::TempTree tree;
    const QString path = tree.path(QStringLiteral("FavoriteDirs"));
    ASSERT_TRUE(kz_archiveObjectToFile(sample(), path));
    const auto back = kz_unarchivedObjectAtFile(path, QStringLiteral("FavoriteDirs"));
    ASSERT_TRUE(back.has_value());
    EXPECT_EQ(back->className, QStringLiteral("FavoriteDirs"));
    EXPECT_EQ(back->version, 1);
    EXPECT_EQ(back->object, sample().object);
    // Overwriting keeps exactly one file, no temporary left behind.
    ASSERT_TRUE(kz_archiveObjectToFile(KZArchivedObject{QStringLiteral("FavoriteDirs"), 2, QCborArray()}, path));
    EXPECT_EQ(QDir(tree.root()).entryList(QDir::Files | QDir::Hidden), QStringList{QStringLiteral("FavoriteDirs")});
    EXPECT_EQ(kz_unarchivedObjectAtFile(path, QStringLiteral("FavoriteDirs"))->version, 2);
}

TEST(KZArchive, AVersionThatIsNotAnIntegerReadsAsOne)
{
    // A huge floating-point version was converted to an integer out of range
    // (undefined behaviour; INT64_MIN on x86-64).
    QCborMap root;
    root.insert(QStringLiteral("class"), QStringLiteral("SavedSearches"));
    root.insert(QStringLiteral("version"), -1.7e289);
    root.insert(QStringLiteral("object"), QCborArray());
    QString problem;
    const auto archive = kz_archivedObjectFromData(QCborValue(root).toCbor(), QStringLiteral("SavedSearches"), &problem);
    ASSERT_TRUE(archive.has_value()) << problem.toStdString();
    EXPECT_EQ(archive->version, 1);
}

TEST(KZArchive, NothingThereReadsAsNone)
{
    kztest::TempTree tree;
    kztest::LogCapture capture;
    EXPECT_FALSE(kz_unarchivedObjectAtFile(tree.path(QStringLiteral("missing")), QStringLiteral("X")).has_value());
    EXPECT_FALSE(kz_unarchivedObjectAtFile(tree.mkdir(QStringLiteral("folder")), QStringLiteral("X")).has_value());
    EXPECT_TRUE(capture.entries().isEmpty());
    EXPECT_TRUE(QFileInfo(tree.path(QStringLiteral("folder"))).isDir());
}

TEST(KZArchive, RefusesAFolderAMissingParentAndAReadOnlyParent)
{
    kztest::TempTree tree;
    kztest::LogCapture capture;
    const QString folder = tree.mkdir(QStringLiteral("SavedSearches"));
    EXPECT_FALSE(kz_archiveObjectToFile(sample(), folder));
    EXPECT_TRUE(capture.contains(QStringLiteral("fileExistsAtPath==YES isDir==YES path:") + folder));
    EXPECT_TRUE(QFileInfo(folder).isDir());

    const QString orphan = tree.path(QStringLiteral("no/such/parent/file"));
    EXPECT_FALSE(kz_archiveObjectToFile(sample(), orphan));
    EXPECT_TRUE(capture.contains(QStringLiteral("fileExistsAtPath==NO path:") + tree.path(QStringLiteral("no/such/parent"))));

    // Permissions do not refuse root: the write is tried as an unprivileged user.
    ASSERT_TRUE(kztest::canRunUnprivileged());
    const QString locked = tree.mkdir(QStringLiteral("locked"));
    tree.chmod(QStringLiteral("locked"), 0555);
    ::chmod(QFile::encodeName(tree.root()).constData(), 0755);
    const QString target = locked + QStringLiteral("/FavoriteDirs");
    const int rc = kztest::runAsUnprivileged([&] {
        kztest::LogCapture childCapture;
        const bool written = kz_archiveObjectToFile(sample(), target);
        const bool logged = childCapture.contains(QStringLiteral("isWritableFileAtPath==NO path:") + locked);
        return (!written && logged) ? 0 : 1;
    });
    EXPECT_EQ(rc, 0);
    EXPECT_FALSE(QFileInfo::exists(target));
}

TEST(KZArchive, CorruptArchiveIsSetAsideNotLost)
{
    kztest::TempTree tree;
    kztest::LogCapture capture;
    const QString path = tree.path(QStringLiteral("FavoriteDirs"));
    const QByteArray garbage("\xbf\x63not cbor at all \x01\x02", 20);
    tree.writeFile(QStringLiteral("FavoriteDirs"), garbage);

    QString aside;
    EXPECT_FALSE(kz_unarchivedObjectAtFile(path, QStringLiteral("FavoriteDirs"), &aside).has_value());
    EXPECT_EQ(aside, path + QStringLiteral(".bad"));
    EXPECT_EQ(readAll(aside), garbage);
    EXPECT_FALSE(QFileInfo::exists(path));
    EXPECT_TRUE(capture.contains(QStringLiteral("filePath:") + path));

    // A second bad file never replaces the first one set aside.
    tree.writeFile(QStringLiteral("FavoriteDirs"), "second");
    EXPECT_FALSE(kz_unarchivedObjectAtFile(path, QStringLiteral("FavoriteDirs"), &aside).has_value());
    EXPECT_EQ(aside, path + QStringLiteral(".bad.2"));
    EXPECT_EQ(readAll(path + QStringLiteral(".bad")), garbage);
    EXPECT_EQ(readAll(path + QStringLiteral(".bad.2")), QByteArray("second"));

    // Another class's archive is not ours to read: set aside as well.
    ASSERT_TRUE(kz_archiveObjectToFile(KZArchivedObject{QStringLiteral("SavedSearches"), 1, QCborArray()}, path));
    EXPECT_FALSE(kz_unarchivedObjectAtFile(path, QStringLiteral("FavoriteDirs"), &aside).has_value());
    EXPECT_EQ(aside, path + QStringLiteral(".bad.3"));

    // Saving afterwards writes a fresh archive beside the kept ones.
    ASSERT_TRUE(kz_archiveObjectToFile(sample(), path));
    EXPECT_TRUE(kz_unarchivedObjectAtFile(path, QStringLiteral("FavoriteDirs")).has_value());
}

TEST(KZUserDefaults, ValuesSurviveARelaunch)
{
    kztest::resetTestEnvironment();
    {
        KZUserDefaults &d = KZUserDefaults::standardUserDefaults();
        EXPECT_TRUE(d.filePath().endsWith(QStringLiteral("/config/Trovix/Trovix.conf")));
        d.setObject(QVariantList{QVariantMap{{QStringLiteral("path"), QStringLiteral("/a b")}, {QStringLiteral("state"), true}}},
                    QStringLiteral("ScopeDirManager-excludedDirs"));
        d.setObject(3, QStringLiteral("ScopeDirManager-selectionKind"));
        d.setDate(QDateTime(QDate(2026, 12, 6), QTime(10, 30)), QStringLiteral("KZCheckForUpdates-lastCheck"));
        EXPECT_TRUE(d.synchronize());
    }
    KZUserDefaults::resetStandardUserDefaults();
    KZUserDefaults &d = KZUserDefaults::standardUserDefaults();
    EXPECT_EQ(d.integerForKey(QStringLiteral("ScopeDirManager-selectionKind")), 3);
    const QVariantList excluded = d.arrayForKey(QStringLiteral("ScopeDirManager-excludedDirs"));
    ASSERT_EQ(excluded.size(), 1);
    EXPECT_EQ(excluded[0].toMap().value(QStringLiteral("path")).toString(), QStringLiteral("/a b"));
    EXPECT_TRUE(excluded[0].toMap().value(QStringLiteral("state")).toBool());
    EXPECT_EQ(d.dateForKey(QStringLiteral("KZCheckForUpdates-lastCheck")), QDateTime(QDate(2026, 12, 6), QTime(10, 30)));
    EXPECT_EQ(d.integerForKey(QStringLiteral("missing"), 10), 10);
    d.removeObjectForKey(QStringLiteral("ScopeDirManager-selectionKind"));
    EXPECT_FALSE(d.contains(QStringLiteral("ScopeDirManager-selectionKind")));
    // A one-element list comes back as a list, though the INI text holds a plain string.
    d.setObject(QStringList{QStringLiteral("/only")}, QStringLiteral("ScopeDirManager-filterDirPaths"));
    d.synchronize();
    KZUserDefaults::resetStandardUserDefaults();
    EXPECT_EQ(KZUserDefaults::standardUserDefaults().arrayForKey(QStringLiteral("ScopeDirManager-filterDirPaths")),
              QVariantList{QStringLiteral("/only")});
}

// A list changed by another process was written over when the change kept
// the file's size and came within the same clock tick: QSettings trusted its
// parsed copy, which it compares by size and modification time only.
TEST(KZUserDefaults, ALockedChangeStartsFromTheFileAsItIsNow)
{
    kztest::resetTestEnvironment();
    const QString key = QStringLiteral("ScopeDirManager-filterDirPaths");
    KZUserDefaults &d = KZUserDefaults::standardUserDefaults();
    d.setObject(QStringList{QStringLiteral("/srv/a"), QStringLiteral("/srv/x")}, key);
    ASSERT_TRUE(d.synchronize());

    // Another process writes a list of the same size; the clock has not moved on.
    QFile file(d.filePath());
    ASSERT_TRUE(file.open(QIODevice::ReadWrite));
    QByteArray text = file.readAll();
    struct stat before {};
    ASSERT_EQ(::stat(QFile::encodeName(d.filePath()).constData(), &before), 0);
    ASSERT_TRUE(text.contains("/srv/a"));
    text.replace("/srv/a", "/srv/b");
    file.seek(0);
    file.write(text);
    file.close();
    const struct timespec times[2] = {before.st_atim, before.st_mtim};
    ASSERT_EQ(::utimensat(AT_FDCWD, QFile::encodeName(d.filePath()).constData(), times, 0), 0);

    QVariant seen;
    ASSERT_TRUE(d.changeObjectForKey(key, [&](const QVariant &stored) {
        seen = stored;
        return QVariant(stored.toStringList() << QStringLiteral("/srv/c"));
    }));
    EXPECT_EQ(seen.toStringList(), (QStringList{QStringLiteral("/srv/b"), QStringLiteral("/srv/x")}));
    KZUserDefaults::resetStandardUserDefaults();
    EXPECT_EQ(KZUserDefaults::standardUserDefaults().objectForKey(key).toStringList(),
              (QStringList{QStringLiteral("/srv/b"), QStringLiteral("/srv/x"), QStringLiteral("/srv/c")}));
}

TEST(KZNotificationCenter, NamedSignalAndGenericSignal)
{
    QStringList names;
    QVariantMap info;
    auto *center = KZNotificationCenter::defaultCenter();
    auto c1 = QObject::connect(center, &KZNotificationCenter::notificationPosted,
                               [&](const QString &n, QObject *, const QVariantMap &) { names.append(n); });
    auto c2 = QObject::connect(center, &KZNotificationCenter::dirSizeCalculatorUpdated,
                               [&](QObject *, const QVariantMap &u) { info = u; });
    center->post(DirSizeCalculatorUpdatedNotification, nullptr, {{QStringLiteral("path"), QStringLiteral("/x")}});
    center->post(QStringLiteral("Other"), nullptr);
    QObject::disconnect(c1);
    QObject::disconnect(c2);
    EXPECT_EQ(names, (QStringList{DirSizeCalculatorUpdatedNotification, QStringLiteral("Other")}));
    EXPECT_EQ(info.value(QStringLiteral("path")).toString(), QStringLiteral("/x"));
}
