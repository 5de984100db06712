#pragma once

namespace sylvane::app {
inline constexpr const char* kAppTitle = "Sylvane Interface";
inline constexpr int kVersionMajor = 1;
inline constexpr int kVersionMinor = 1;
inline constexpr int kVersionRevision = 8;
} // namespace sylvane::app
