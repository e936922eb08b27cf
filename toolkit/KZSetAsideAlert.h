// Files set aside because they could not be read (a damaged archive or
// settings file): each is logged as a warning and shown to the user once, in
// one alert for all that were set aside together. GUI thread for install.
#pragma once

class KZSetAsideAlert
{
public:
    static void install();
    // Tests: stops reporting.
    static void uninstall();
};
