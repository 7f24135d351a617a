// The program's own icons, drawn at run time.
#pragma once

#include <QIcon>

// The program icon: a sheet with vertical lines of text and a red stroke, at 16 to 256 pixels.
QIcon programIcon();

// The icon of the execution tab: a green round button with a white triangle, 28 x 28.
QIcon runTabIcon();

// The icon of the settings tab: a grey cog wheel, 28 x 28.
QIcon settingsTabIcon();

// The pixel size of the tab icons.
constexpr int kTabIconSize = 28;
