#include "engine/KZSearchTextCriteria.h"

#include <QVariantMap>

namespace {

QVariantMap nameCriterion(int op, const QString &value)
{
    return QVariantMap{{QStringLiteral("kind"), 1}, {QStringLiteral("operator"), op}, {QStringLiteral("value"), value}};
}

} // namespace

QVariantList KZFileNameCriteriaFromSearchText(const QString &rawText)
{
    const QString text = rawText.trimmed();
    if (text.isEmpty())
        return {};
    const QStringList parts = text.split(QLatin1Char('*'));
    if (text.size() >= 4 && parts.size() == 2 && !text.startsWith(QLatin1Char('*')) &&
        !text.endsWith(QLatin1Char('*')))
        return {nameCriterion(2, parts.at(0)), nameCriterion(3, parts.at(1))};
    if (text.size() >= 2 && text.startsWith(QLatin1Char('*')))
        return {nameCriterion(3, text.mid(1))};
    if (text.size() >= 2 && text.endsWith(QLatin1Char('*')) && !text.endsWith(QLatin1String("\\*")))
        return {nameCriterion(2, text.chopped(1))};
    return {nameCriterion(1, text)};
}
