// The archives (favourites, saved searches) and the settings file: what is
// written comes back, and a file that cannot be read is set aside, never lost.
#include <fcntl.h>
#include <sys/stat.h>

#include <QCborArray>
#include <QCborMap>
#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <gtest/gtest.h>

#include "support/KZArchive.h"
#include "support/KZUserDefaults.h"
#include "tests/testlib/TestEnvironment.h"

namespace {

const QString kFavorites = QStringLiteral("FavoriteDirs");

KZArchivedObject sample(int version = 1)
{
    QCborMap fav{{QStringLiteral("serializedPath"), QStringLiteral("/home/me/Dossier à moi\nnew line")},
                 {QStringLiteral("bookmarkData"), QByteArray("\x00\x01\xff", 3)},
                 {QStringLiteral("uniqueId"), 7}};
    return KZArchivedObject{kFavorites, version, QCborArray{fav}};
}

} // namespace

TEST(KZArchive, WhatIsWrittenComesBackAndAnUnreadableArchiveIsSetAsideNeverOverwritten)
{
    kztest::TempTree tree;
    const QString path = tree.path(kFavorites);
    ASSERT_TRUE(kz_archiveObjectToFile(sample(), path));
    ASSERT_TRUE(kz_archiveObjectToFile(sample(2), path));
    const auto back = kz_unarchivedObjectAtFile(path, kFavorites);
    ASSERT_TRUE(back.has_value());
    EXPECT_EQ(back->version, 2);
    EXPECT_EQ(back->object, sample().object);
    EXPECT_EQ(QDir(tree.root()).entryList(QDir::Files | QDir::Hidden), QStringList{kFavorites}) << "no temporary left";

    // Nothing there, or a folder: nothing read, nothing written, nothing moved.
    const QString folder = tree.mkdir(QStringLiteral("folder"));
    const QString missing = tree.path(QStringLiteral("missing"));
    EXPECT_FALSE(kz_unarchivedObjectAtFile(folder, kFavorites).has_value());
    EXPECT_FALSE(kz_unarchivedObjectAtFile(missing, kFavorites).has_value());
    EXPECT_FALSE(kz_archiveObjectToFile(sample(), folder));
    EXPECT_FALSE(kz_archiveObjectToFile(sample(), missing + QStringLiteral("/x")));
    EXPECT_TRUE(QFileInfo(folder).isDir());
    EXPECT_FALSE(QFileInfo::exists(missing));

    // An archive that cannot be read is set aside, never overwritten.
    kztest::LogCapture capture;
    const QByteArray garbage("\xbf\x63not cbor at all \x01\x02", 20);
    const std::pair<QByteArray, QString> cases[] = {
        {garbage, QStringLiteral(".bad")},
        {"second", QStringLiteral(".bad.2")}, // the first one set aside stays
        {"", QStringLiteral(".bad.3")},
    };
    for (const auto &[bytes, suffix] : cases) {
        tree.writeFile(kFavorites, bytes);
        QString aside;
        EXPECT_FALSE(kz_unarchivedObjectAtFile(path, kFavorites, &aside).has_value());
        EXPECT_EQ(aside, path + suffix);
        EXPECT_EQ(kztest::readFile(aside), bytes);
        EXPECT_FALSE(QFileInfo::exists(path));
    }
    // Another class's archive is not ours to read: set aside as well.
    ASSERT_TRUE(kz_archiveObjectToFile(KZArchivedObject{QStringLiteral("SavedSearches"), 1, QCborArray()}, path));
    QString aside;
    EXPECT_FALSE(kz_unarchivedObjectAtFile(path, kFavorites, &aside).has_value());
    EXPECT_EQ(aside, path + QStringLiteral(".bad.4"));
    ASSERT_TRUE(kz_archiveObjectToFile(sample(), path));
    EXPECT_TRUE(kz_unarchivedObjectAtFile(path, kFavorites).has_value());
    EXPECT_EQ(kztest::readFile(path + QStringLiteral(".bad")), garbage);
}

// The INI text keeps no types: lists of maps, and a one-element list written
// as plain text, come back as lists when the file is read again.
TEST(KZUserDefaults, ListsSurviveARelaunch)
{
    kztest::resetTestEnvironment();
    const QVariantMap entry{{QStringLiteral("path"), QStringLiteral("/a b")}, {QStringLiteral("state"), true}};
    KZUserDefaults *d = &KZUserDefaults::standardUserDefaults();
    d->setObject(QVariantList{entry}, QStringLiteral("maps"));
    d->setObject(QStringList{QStringLiteral("/only")}, QStringLiteral("strings"));
    ASSERT_TRUE(d->synchronize());
    kztest::writeText(d->filePath(), kztest::readFile(d->filePath()) + '\n'); // changed elsewhere: parsed again
    KZUserDefaults::resetStandardUserDefaults();
    d = &KZUserDefaults::standardUserDefaults();
    EXPECT_EQ(d->arrayForKey(QStringLiteral("maps")), QVariantList{entry});
    EXPECT_EQ(d->arrayForKey(QStringLiteral("strings")), QVariantList{QStringLiteral("/only")});
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
    const QByteArray path = QFile::encodeName(d.filePath());
    struct stat before {};
    ASSERT_EQ(::stat(path.constData(), &before), 0);
    const QByteArray text = kztest::readFile(d.filePath());
    ASSERT_TRUE(text.contains("/srv/a"));
    kztest::writeText(d.filePath(), QByteArray(text).replace("/srv/a", "/srv/b"));
    const struct timespec times[2] = {before.st_atim, before.st_mtim};
    ASSERT_EQ(::utimensat(AT_FDCWD, path.constData(), times, 0), 0);

    ASSERT_TRUE(d.changeObjectForKey(key, [&](const QVariant &stored) {
        return QVariant(stored.toStringList() << QStringLiteral("/srv/c"));
    }));
    KZUserDefaults::resetStandardUserDefaults();
    EXPECT_EQ(KZUserDefaults::standardUserDefaults().objectForKey(key).toStringList(),
              (QStringList{QStringLiteral("/srv/b"), QStringLiteral("/srv/x"), QStringLiteral("/srv/c")}));
}

TEST(KZArchive, AVersionThatIsNotAnIntegerReadsAsOne)
{
    // A huge floating-point version was converted to an integer out of range
    // (undefined behaviour; INT64_MIN on x86-64).
    const QCborMap root{{QStringLiteral("class"), QStringLiteral("SavedSearches")},
                        {QStringLiteral("version"), -1.7e289}, {QStringLiteral("object"), QCborArray()}};
    QString problem;
    const auto archive = kz_archivedObjectFromData(QCborValue(root).toCbor(), QStringLiteral("SavedSearches"), &problem);
    ASSERT_TRUE(archive.has_value()) << problem.toStdString();
    EXPECT_EQ(archive->version, 1);
}
