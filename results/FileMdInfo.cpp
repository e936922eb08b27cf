#include "results/FileMdInfo.h"

#include <initializer_list>
#include <QHash>
#include <mutex>

#include "support/KZLocalization.h"

namespace {

struct Entry {
    const char *key;
    const char *valueClass;
    int valueDisplay = 0;
};

// The declared value classes, as the catalogue spells them.
constexpr const char *S = "CFString";
constexpr const char *N = "CFNumber";
constexpr const char *B = "CFBoolean";
constexpr const char *D = "CFDate";
constexpr const char *SL = "CFArray of CFStrings";
constexpr const char *SR = "CFArray of CFStringRef";
constexpr const char *DL = "CFArray of CFDates";

FileMdInfo::InfoList makeInfos(std::initializer_list<Entry> entries)
{
    FileMdInfo::InfoList infos;
    infos.reserve(qsizetype(entries.size()));
    for (const Entry &e : entries) {
        QVariantMap info{{QStringLiteral("key"), QString::fromLatin1(e.key)},
                         {QStringLiteral("valueClass"), QString::fromLatin1(e.valueClass)}};
        if (e.valueDisplay != 0)
            info.insert(QStringLiteral("valueDisplay"), e.valueDisplay);
        infos.append(info);
    }
    return infos;
}

int valueClassCode(const QString &valueClass)
{
    static const QHash<QString, int> codes{
        {QString::fromLatin1(S), FileMdInfo::ClassString},
        {QString::fromLatin1(N), FileMdInfo::ClassNumber},
        {QString::fromLatin1(B), FileMdInfo::ClassBoolean},
        {QString::fromLatin1(D), FileMdInfo::ClassDate},
        {QString::fromLatin1(SL), FileMdInfo::ClassStringList},
        {QString::fromLatin1(SR), FileMdInfo::ClassStringList},
        {QString::fromLatin1(DL), FileMdInfo::ClassDateList},
    };
    return codes.value(valueClass, 0);
}

} // namespace

// The common table names "kMDItemLastUsedDate" twice, as a date and again as a
// date list; lookups find the first.
const FileMdInfo::InfoList &FileMdInfo::commonAttributeInfos()
{
    static const InfoList infos = makeInfos({
        {"kMDItemAttributeChangeDate", D}, {"kMDItemAudiences", SL}, {"kMDItemAuthors", SL},
        {"kMDItemAuthorAddresses", SL}, {"kMDItemCity", S}, {"kMDItemComment", S}, {"kMDItemContactKeywords", SL},
        {"kMDItemContentCreationDate", D}, {"kMDItemContentModificationDate", D}, {"kMDItemContentType", S},
        {"kMDItemContentTypeTree", SR}, {"kMDItemContributors", SL}, {"kMDItemCopyright", S},
        {"kMDItemCountry", S}, {"kMDItemCoverage", S}, {"kMDItemCreator", S}, {"kMDItemDescription", S},
        {"kMDItemDueDate", D}, {"kMDItemDurationSeconds", N}, {"kMDItemEmailAddresses", SL},
        {"kMDItemEncodingApplications", SL}, {"kMDItemFinderComment", S}, {"kMDItemFonts", SL},
        {"kMDItemHeadline", S}, {"kMDItemIdentifier", S}, {"kMDItemInstantMessageAddresses", SL},
        {"kMDItemInstructions", S}, {"kMDItemKeywords", SL}, {"kMDItemKind", S}, {"kMDItemLanguages", SL},
        {"kMDItemLastUsedDate", D}, {"kMDItemNumberOfPages", N}, {"kMDItemOrganizations", S},
        {"kMDItemPageHeight", N}, {"kMDItemPageWidth", N}, {"kMDItemParticipants", SL},
        {"kMDItemPhoneNumbers", SL}, {"kMDItemProjects", SL}, {"kMDItemPublishers", SL}, {"kMDItemRecipients", SL},
        {"kMDItemRecipientAddresses", SL}, {"kMDItemRights", S}, {"kMDItemSecurityMethod", N},
        {"kMDItemStarRating", N}, {"kMDItemStateOrProvince", S}, {"kMDItemTextContent", S}, {"kMDItemTitle", S},
        {"kMDItemVersion", S}, {"kMDItemWhereFroms", SL}, {"kMDItemAuthorEmailAddresses", SL},
        {"kMDItemRecipientEmailAddresses", SL}, {"kMDItemTheme", S}, {"kMDItemSubject", S},
        {"kMDItemCFBundleIdentifier", S}, {"kMDItemFSHasCustomIcon", B}, {"kMDItemFSIsStationery", B},
        {"kMDItemInformation", S}, {"kMDItemURL", S}, {"kMDItemEditors", SL}, {"kMDItemDownloadedDate", D},
        {"kMDItemDateAdded", D}, {"kMDItemUsedDates", DL}, {"kMDItemLastUsedDate", DL},
        {"kMDItemUserCreatedDate", DL}, {"kMDItemUserModifiedDate", DL}, {"kMDItemUserTags", SL},
        {"kMDItemUserModifiedUserHandle", SL}, {"kMDItemUseCount", N}
    });
    return infos;
}

const FileMdInfo::InfoList &FileMdInfo::fileSytemAttributeInfos()
{
    static const InfoList infos = makeInfos({
        {"kMDItemDisplayName", S}, {"kMDItemFSContentChangeDate", D}, {"kMDItemFSCreationDate", D},
        {"kMDItemFSInvisible", B}, {"kMDItemFSIsExtensionHidden", B}, {"kMDItemFSLabel", N}, {"kMDItemFSName", S},
        {"kMDItemFSNodeCount", N}, {"kMDItemFSOwnerGroupID", N}, {"kMDItemFSOwnerUserID", N},
        {"kMDItemFSSize", N, 1}, {"kMDItemPath", S}, {"_kMDItemOwnerUserID", N}, {"kMDItemFSTypeCode", N},
        {"kMDItemFSCreatorCode", N}, {"kMDItemFSFinderFlags", N}, {"kMDItemAlternateNames", SL},
        {"kMDItemPhysicalSize", N, 1}, {"kMDItemLogicalSize", N, 1}
    });
    return infos;
}

const FileMdInfo::InfoList &FileMdInfo::backupAttributeInfos()
{
    static const InfoList infos = makeInfos({
        {"_kTimeMachineNewestSnapshot", D}, {"_kTimeMachineOldestSnapshot", D},
        {"_kTimeMachineIsCreationMarker", B}
    });
    return infos;
}

const FileMdInfo::InfoList &FileMdInfo::imageAttributeInfos()
{
    static const InfoList infos = makeInfos({
        {"kMDItemPixelHeight", N}, {"kMDItemPixelWidth", N}, {"kMDItemPixelCount", N}, {"kMDItemColorSpace", S},
        {"kMDItemBitsPerSample", N}, {"kMDItemFlashOnOff", N}, {"kMDItemFocalLength", N},
        {"kMDItemAcquisitionMake", S}, {"kMDItemAcquisitionModel", S}, {"kMDItemISOSpeed", N},
        {"kMDItemOrientation", N, 2}, {"kMDItemLayerNames", SL}, {"kMDItemWhiteBalance", N},
        {"kMDItemAperture", N}, {"kMDItemProfileName", S}, {"kMDItemResolutionWidthDPI", N},
        {"kMDItemResolutionHeightDPI", N}, {"kMDItemExposureMode", N}, {"kMDItemExposureTimeSeconds", N},
        {"kMDItemEXIFVersion", S}, {"kMDItemAlbum", S}, {"kMDItemHasAlphaChannel", B}, {"kMDItemRedEyeOnOff", B},
        {"kMDItemMeteringMode", S}, {"kMDItemMaxAperture", N}, {"kMDItemFNumber", N},
        {"kMDItemExposureProgram", S}, {"kMDItemExposureTimeString", S}, {"kMDItemEXIFGPSVersion", S},
        {"kMDItemAltitude", S}, {"kMDItemLatitude", S}, {"kMDItemLongitude", S}, {"kMDItemTimestamp", S},
        {"kMDItemSpeed", N}, {"kMDItemGPSTrack", S}, {"kMDItemImageDirection", S}, {"kMDItemNamedLocation", S},
        {"kMDItemScreenCaptureType", S}, {"kMDItemIsScreenCapture", B}
    });
    return infos;
}

const FileMdInfo::InfoList &FileMdInfo::videoAttributeInfos()
{
    static const InfoList infos = makeInfos({
        {"kMDItemCodecs", SL}, {"kMDItemDeliveryType", S}, {"kMDItemMediaTypes", SL}, {"kMDItemStreamable", B},
        {"kMDItemTotalBitRate", N}, {"kMDItemVideoBitRate", N}, {"kMDItemDirector", S}, {"kMDItemProducer", S},
        {"kMDItemGenre", S}, {"kMDItemPerformers", SL}, {"kMDItemOriginalFormat", S}, {"kMDItemOriginalSource", S}
    });
    return infos;
}

const FileMdInfo::InfoList &FileMdInfo::audioAttributeInfos()
{
    static const InfoList infos = makeInfos({
        {"kMDItemAppleLoopDescriptors", SL}, {"kMDItemAppleLoopsKeyFilterType", S},
        {"kMDItemAppleLoopsLoopMode", S}, {"kMDItemAppleLoopsRootKey", S}, {"kMDItemAudioChannelCount", N},
        {"kMDItemAudioEncodingApplication", S}, {"kMDItemAudioSampleRate", N}, {"kMDItemAudioTrackNumber", N},
        {"kMDItemComposer", S}, {"kMDItemIsGeneralMIDISequence", B}, {"kMDItemKeySignature", S},
        {"kMDItemLyricist", S}, {"kMDItemMusicalGenre", S}, {"kMDItemMusicalInstrumentCategory", S},
        {"kMDItemMusicalInstrumentName", S}, {"kMDItemRecordingDate", D}, {"kMDItemRecordingYear", N},
        {"kMDItemTempo", N}, {"kMDItemTimeSignature", S}
    });
    return infos;
}

QString FileMdInfo::localizedCategory(int category)
{
    static std::once_flag once;
    std::call_once(once, [] {
        KZLocalization::registerEnglish(KZLocalizationMainTable, {
            {"FileMdInfo_categoryCommon", "Common"},
            {"FileMdInfo_categoryFileSytem", "File System"},
            {"FileMdInfo_categoryBackup", "Backup"},
            {"FileMdInfo_categoryImage", "Image"},
            {"FileMdInfo_categoryVideo", "Video"},
            {"FileMdInfo_categoryAudio", "Audio"},
        });
    });
    static const char *const keys[] = {"FileMdInfo_categoryCommon", "FileMdInfo_categoryFileSytem",
                                       "FileMdInfo_categoryBackup",  "FileMdInfo_categoryImage",
                                       "FileMdInfo_categoryVideo",   "FileMdInfo_categoryAudio"};
    if (category < CategoryCommon || category > CategoryAudio)
        return QString();
    return KZLocalizedString(keys[category - 1]);
}

const QVariantMap *FileMdInfo::searchInfosForAttribute(const QString &attributeKey, const InfoList &infoList)
{
    const QString keyName = QStringLiteral("key");
    for (const QVariantMap &info : infoList) {
        if (info.value(keyName).toString() == attributeKey)
            return &info;
    }
    return nullptr;
}

bool FileMdInfo::getInfos(int *category, int *valueClass, int *valueDisplay, const QString &attributeKey)
{
    if (attributeKey.isNull())
        return false;
    static const std::pair<int, const InfoList *> categories[] = {
        {CategoryCommon, &commonAttributeInfos()}, {CategoryFileSystem, &fileSytemAttributeInfos()},
        {CategoryBackup, &backupAttributeInfos()}, {CategoryImage, &imageAttributeInfos()},
        {CategoryVideo, &videoAttributeInfos()},   {CategoryAudio, &audioAttributeInfos()},
    };
    for (const auto &[number, infos] : categories) {
        const QVariantMap *info = searchInfosForAttribute(attributeKey, *infos);
        if (!info)
            continue;
        if (category)
            *category = number;
        if (!valueClass)
            return true;
        const int code = valueClassCode(info->value(QStringLiteral("valueClass")).toString());
        if (code == 0)
            return false;
        *valueClass = code;
        if (valueDisplay)
            *valueDisplay = info->value(QStringLiteral("valueDisplay"), 0).toInt();
        return true;
    }
    return false;
}
