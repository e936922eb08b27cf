// What the text typed in a search field asks for: one or two file-name
// criteria. The search window and trovix-find both read their text with it.
#pragma once

#include <QString>
#include <QVariantList>

// "ab*cd" -> begins with "ab" + ends with "cd" (at least 4 characters, one "*"
// neither first nor last); "*txt" -> ends with "txt"; "abc*" -> begins with
// "abc" (but "abc\*" stays a contains); anything else -> contains the whole
// text. Surrounding white space is trimmed; an empty text gives no criterion.
QVariantList KZFileNameCriteriaFromSearchText(const QString &text);
