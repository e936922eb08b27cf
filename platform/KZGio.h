// GIO for the sources of this folder: its headers name a struct member
// "signals", which Qt defines as a keyword.
#pragma once

#pragma push_macro("signals")
#undef signals
#include <gio/gdesktopappinfo.h>
#include <gio/gio.h>
#pragma pop_macro("signals")
