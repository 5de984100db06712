#pragma once
// The program folder: where sylvane.ini and the working session files live.

#include <QString>

namespace sylvane::platform {

// The folder of the executable; when that folder is not writable (an installed copy), the
// per-user application data folder, created when missing.
QString programFolder();

} // namespace sylvane::platform
