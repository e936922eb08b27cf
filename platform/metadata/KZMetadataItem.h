// The metadata item of a path: its attributes under the metadata catalogue's
// keys ("kMDItemFSSize", "kMDItemTitle", ...), gathered from the file system
// (statx, the account database), the freedesktop extended attributes and the
// headers of images (Exiv2) and audio and video files (MediaInfo). Readers of
// other formats (documents) are handed in by the libraries that may link them.
#pragma once

#include <QDateTime>
#include <QMap>
#include <QString>
#include <QStringList>
#include <QVariant>
#include <optional>

#include <sys/types.h>

namespace kzplatform {

class KZMetadataItem;

// A reader of one content format. accepts() sees the MIME type name; read()
// gets a descriptor of the regular file, open for reading, positioned
// nowhere in particular (use pread or KZHeaderReadDevice), and adds its
// attributes. Called on the reading thread; must not throw.
struct KZMetadataContentReader {
    bool (*accepts)(const QString &mimeType) = nullptr;
    void (*read)(int fd, KZMetadataItem &item) = nullptr;
};

class KZMetadataItem
{
public:
    // No reader reads more than this many bytes of a file: headers only.
    static constexpr qint64 readBudget = 16 * 1024 * 1024;

    // Reads the item of path on the calling thread (any thread; blocks on the
    // disk). A symbolic link describes itself unless followLink is set. Nothing
    // when path does not exist or cannot be examined. Unreadable parts (an
    // attribute, a header) are left out; a value that is not a valid number or
    // date is never added.
    static std::optional<KZMetadataItem> read(const QString &path, bool followLink = false,
                                              const QList<KZMetadataContentReader> &extraReaders = {});

    // The attribute keys, in a stable (sorted) order, and their values: QString,
    // qint64, double, bool, QDateTime or QStringList.
    QStringList attributeNames() const { return m_attributes.keys(); }
    QVariant value(const QString &name) const { return m_attributes.value(name); }
    const QMap<QString, QVariant> &attributes() const { return m_attributes; }

    // The account names of the owner and group (empty when the account
    // database has none), for the file facts shown beside the attributes.
    QString ownerName() const { return m_ownerName; }
    QString groupName() const { return m_groupName; }

    // Setters for readers. An empty string or list, an invalid date and a
    // number that is not finite are not added; a later value replaces an
    // earlier one (a document's own content dates replace the file's).
    void setString(const QString &name, const QString &value);
    void setStringList(const QString &name, const QStringList &value);
    void setNumber(const QString &name, double value);
    void setInteger(const QString &name, qint64 value);
    void setBoolean(const QString &name, bool value);
    void setDate(const QString &name, const QDateTime &value);
    // The number or date parsed from a header's text; nothing when it is none.
    void setNumberText(const QString &name, const QString &text);
    void setDateText(const QString &name, const QString &text);

private:
    QMap<QString, QVariant> m_attributes;
    QString m_ownerName;
    QString m_groupName;
    friend class KZMetadataItemReader;
};

} // namespace kzplatform
