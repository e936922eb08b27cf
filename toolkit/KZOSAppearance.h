// The desktop's appearance as Trovix needs it: dark mode from the application
// palette. GUI thread.
#pragma once

class KZ_OSAppearance
{
public:
    static KZ_OSAppearance &sharedInstance();
    // Window colour darker than mid-grey; remembered for isDarkModeCached.
    bool isDarkMode();
    bool isDarkModeCached();
    // A grey (unsaturated) selection colour: the closest Linux match of a graphite theme.
    bool isGraphiteTheme() const;
    // No Linux desktop publishes a reduce-transparency setting that Qt reads;
    // Trovix draws no translucent surfaces, so this stays false.
    bool hasReduceTransparency() const { return false; }

private:
    int m_darkMode = -1; // -1 unknown, 0 no, 1 yes
};
