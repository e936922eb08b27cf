#include "toolkit/KZOSAppearance.h"

#include <QGuiApplication>
#include <QPalette>

KZ_OSAppearance &KZ_OSAppearance::sharedInstance()
{
    static KZ_OSAppearance instance;
    return instance;
}

bool KZ_OSAppearance::isDarkMode()
{
    const QColor window = QGuiApplication::palette().color(QPalette::Window);
    const bool dark = window.lightnessF() < 0.5;
    m_darkMode = dark ? 1 : 0;
    return dark;
}

bool KZ_OSAppearance::isDarkModeCached()
{
    if (m_darkMode < 0)
        return isDarkMode();
    return m_darkMode == 1;
}

bool KZ_OSAppearance::isGraphiteTheme() const
{
    const QColor highlight = QGuiApplication::palette().color(QPalette::Highlight);
    return highlight.hslSaturationF() < 0.12;
}
