// What the process sets up before its first window: text locale, array error reporting, the INI
// path and FreeImage's messages.
#pragma once

#include "settings/app_settings.h"

// Sets the C locale from the environment, or C.UTF-8 when the environment's locale does not
// use UTF-8, so that the engine's narrow texts are UTF-8. Call after QApplication exists: its
// constructor sets the locale too.
void useUtf8Locale();

// In this order: the locale (useUtf8Locale), the default array error function, settings.iniPath
// as TOVEL.ini in the current working directory, FreeImage with its message handler.
void prepareProcess(AppSettings& settings);
