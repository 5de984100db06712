#pragma once
// The program's widget style: the one the platform chooses, except that the arrows a menu bar or
// tool bar shows when its items do not fit are made when first drawn rather than when the bar is
// made. Making one reads an image file, and reading the first image loads every image plugin the
// system has (each with its libraries), all before the window's first paint, for an arrow a
// window of the usual width never shows.

namespace sylvane::platform {

// Installs it on the application (after the application object, before the first widget).
void useProgramStyle();

} // namespace sylvane::platform
