// A favourite folder of the scope manager: a bookmarked folder with an
// identifier unique in the favourites list and the way it became a favourite.
#pragma once

#include "scope/KZBookmarkFileURL.h"

class FavoriteDir : public KZBookmarkFileURL
{
public:
    enum Kind : int64_t {
        KindSidebar = 0, // taken over from the file manager's sidebar
        KindScope = 3,   // a folder the user chose as scope
    };

    static std::shared_ptr<FavoriteDir> create(const QUrl &url, const QString &path, int *outStatus = nullptr);
    // Adds "uniqueId" and "kind" (integers) to the keys of the superclass.
    static std::shared_ptr<FavoriteDir> fromArchive(const QCborMap &map);

    int64_t uniqueId() const { return _uniqueId; }
    void setUniqueId(int64_t uniqueId) { _uniqueId = uniqueId; }
    int64_t kind() const { return _kind; }
    void setKind(int64_t kind) { _kind = kind; }

    int iconSize() const override { return 40; }
    QCborMap encodeWithCoder() override;

private:
    FavoriteDir() = default;

    int64_t _uniqueId = 0;
    int64_t _kind = KindSidebar;
};
