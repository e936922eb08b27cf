// The running Trovix in the user's login items, as the three-state check box
// of the preferences shows it: 1 an entry starts this executable, -1 only
// entries named like Trovix that start another program or none, 0 none (or
// the list could not be read). GUI thread; failures are logged, not shown.
#pragma once

#include <QString>

class KZAppInLoginItem
{
public:
    static int loginItemStatus();
    // Adds (repairing same-name entries) or removes; the outcome shows in the
    // next loginItemStatus().
    static void setIsLoginItem(bool isLoginItem);

    // The executable the entries are judged against: this process's own
    // unless a test names another (null restores it).
    static QString executablePath();
    static void setExecutablePathForTesting(const QString &path);
};
