// The look shared by the results views: their colours, the dimmed ("off")
// variant of an image, and the abbreviation of result paths below the scope
// folder. GUI thread for the pixmap variant; the rest from any thread.
#pragma once

#include <QColor>
#include <QImage>
#include <QPixmap>
#include <QString>

class Functions
{
public:
    // Background of the results views: grey of white level 0.96, opaque.
    static QColor viewBgColor();
    // Separator lines: 214/255 in all three channels, opaque.
    static QColor sepLineColor();

    // A dimmed copy of the same size and pixel ratio: black at 33 % laid over
    // the image's opaque parts only, transparent parts stay transparent. Null
    // for a null image.
    static QImage offImageFromImage(const QImage &image);
    static QPixmap offImageFromImage(const QPixmap &pixmap);

    // The rest of path after scopeDir + "/" when path lies below scopeDir,
    // otherwise path itself; a null string when either is null. With the scope
    // "/" nothing is abbreviated, and scopeDir itself stays whole.
    static QString pathByAbbreviating(const QString &path, const QString &scopeDir);
};
