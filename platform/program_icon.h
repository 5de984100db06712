#pragma once
#include <QIcon>

namespace sylvane::platform {
// The program's icon, 32x32 and 16x16 in a 16-colour palette: a trace on a dark screen.
QIcon programIcon();
} // namespace sylvane::platform
