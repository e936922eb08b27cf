// The fixed catalogue of the metadata attributes Trovix knows: the category
// each one is shown in, the kind of value it holds and whether its value needs
// a special rendering. Qt Core only; built once per process, then read-only and
// shared by every thread.
#pragma once

#include <QList>
#include <QString>
#include <QVariantMap>

class FileMdInfo
{
public:
    // An entry is {"key": attribute key, "valueClass": declared class string,
    // "valueDisplay": int, only on entries with a special rendering}.
    using InfoList = QList<QVariantMap>;

    // Categories; 0 is what callers use for attributes outside the catalogue.
    enum { CategoryNone = 0, CategoryCommon = 1, CategoryFileSystem = 2, CategoryBackup = 3,
           CategoryImage = 4, CategoryVideo = 5, CategoryAudio = 6 };
    // Value class codes: 6 (number list) is never declared; callers infer it.
    enum { ClassString = 1, ClassNumber = 2, ClassBoolean = 3, ClassDate = 4, ClassStringList = 5,
           ClassNumberList = 6, ClassDateList = 7 };
    // Display codes: a plain value, a byte count, an orientation (1 portrait).
    enum { DisplayPlain = 0, DisplayByteCount = 1, DisplayOrientation = 2 };

    // The tables, in entry order; the same object for the rest of the process.
    static const InfoList &commonAttributeInfos();
    static const InfoList &fileSytemAttributeInfos();
    static const InfoList &backupAttributeInfos();
    static const InfoList &imageAttributeInfos();
    static const InfoList &videoAttributeInfos();
    static const InfoList &audioAttributeInfos();

    // The localised title of categories 1 to 6; a null string for any other.
    static QString localizedCategory(int category);
    // The first entry of infoList whose "key" is attributeKey, or nullptr.
    static const QVariantMap *searchInfosForAttribute(const QString &attributeKey, const InfoList &infoList);
    // Looks attributeKey up in categories 1 to 6, in that order. False for a
    // null key or a key in no table (outputs untouched), and for an entry whose
    // class string has no code (category already set). Any output may be null;
    // valueDisplay is filled only together with valueClass.
    static bool getInfos(int *category, int *valueClass, int *valueDisplay, const QString &attributeKey);
};
