// The string form of a count with a unit ("%d|%d": 1|2 is one megabyte, 3|1
// three days) and the unit menus of the size and date-within controls, without
// the controls themselves.
#pragma once

#include <QString>

#include "rules/KZMenu.h"

struct KZValueAndUnit {
    qint32 value = 1; // the count
    qint32 poids = 1; // the unit code
};

// setValueComps: reads "count|unit"; anything that does not split at "|" into
// exactly two parts reads as 1|1. A part that is not a number reads as 0.
KZValueAndUnit kzValueAndUnitFromComps(const QString &comps);
// The number at the start of s, as the design reads numbers from text: leading
// white space skipped, an optional sign, then digits up to the first other
// character; 0 when there are none. Saturates instead of overflowing.
qint64 kzLeadingIntegerOfString(const QString &s);

// valueComps: "%d|%d".
QString kzValueCompsString(qint32 value, qint32 poids);

// The stepper's maximum count.
inline constexpr qint32 KZFileSizeStepperMaxValue = 1000000;
inline constexpr qint32 KZDateWithinStepperMaxValue = 1000;

// "FileSizePoids_KB" (1), "FileSizePoids_MB" (2), "FileSizePoids_GB" (3),
// "FileSizePoids_TB" (4). A new untitled menu on every call.
KZMenuRef kzFileSizeUnitMenu();
// "Minute(s)" (6), "Hour(s)" (5), separator, "Day(s)" (1), "Yeek(s)" (2),
// "Month(s)" (3), "Year(s)" (4). A new untitled menu on every call.
KZMenuRef kzDateWithinUnitMenu();
