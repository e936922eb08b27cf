// Rule rows in words, for lists of saved searches outside the window
// ("Modified date is within the last 3 Month(s)"). Needs no display.
#pragma once

#include <QString>
#include <QStringList>

#include "rules/KZRuleItem.h"

// One row: the kind, the operator and the value as the editor shows them; a
// row that gives no criterion ends with " (incomplete)".
QString kzDescriptionOfRuleRow(const KZRuleRowRef &row);
// Every row, in order.
QStringList kzDescriptionsOfRuleRows(const KZRuleRows &rows);
// The rows joined with "; ", or "(no rules)" when there are none.
QString kzDescriptionOfRuleRows(const KZRuleRows &rows);
