// Menus as data: the pop-up menus of the rules editor are built here without a
// display, and the widget layer turns a KZMenu into a QMenu whose actions carry
// the entry's tag or represented object.
#pragma once

#include <QList>
#include <QString>
#include <QVariant>
#include <cstdint>
#include <memory>
#include <optional>

struct KZMenuEntry {
    bool isSeparator = false;
    // The localisation key the title came from; empty when the title was not
    // looked up (type descriptions, label names).
    QString titleKey;
    // The text shown.
    QString title;
    // An entry carries a tag or a represented object, never both: entries
    // built with an object have tag 0.
    qint64 tag = 0;
    QVariant representedObject;
    // A small coloured badge (0xRRGGBB) drawn beside the title, for labels.
    std::optional<uint32_t> badgeRGB;

    static KZMenuEntry separator();
    // The title is the localised text of key.
    static KZMenuEntry withKey(const char *key, qint64 tag);
    static KZMenuEntry withKeyAndObject(const char *key, const QVariant &object);
    static KZMenuEntry withTitleAndObject(const QString &title, const QVariant &object);
};

// A menu: an identifying title (never localised: the controller recognises a
// menu by it) and its entries in order. Every entry is enabled.
class KZMenu
{
public:
    explicit KZMenu(const QString &title = QString());

    QString title() const { return m_title; }
    const QList<KZMenuEntry> &entries() const { return m_entries; }
    qsizetype count() const { return m_entries.size(); }
    const KZMenuEntry &entryAt(qsizetype index) const { return m_entries.at(index); }
    void addEntry(const KZMenuEntry &entry);

    // Index of the first non-separator entry with this tag, or -1.
    qsizetype indexOfTag(qint64 tag) const;
    // Index of the first non-separator entry whose represented object equals
    // object (a string compares exactly; none equals none), or -1.
    qsizetype indexOfRepresentedObject(const QVariant &object) const;
    // The entry a pop-up shows for a stored selection: the entry with the tag
    // when tag is not 0, else the one holding object; when nothing matches the
    // first entry. -1 for an empty menu.
    qsizetype indexOfSelection(qint64 tag, const QVariant &object) const;

private:
    QString m_title;
    QList<KZMenuEntry> m_entries;
};

using KZMenuRef = std::shared_ptr<KZMenu>;

// Two represented objects are the same choice: both none, or equal strings
// (or equal values of another type).
bool kzSameRepresentedObject(const QVariant &a, const QVariant &b);
