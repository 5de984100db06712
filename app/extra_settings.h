#pragma once
// Settings beyond sylvane.ini, whose 24 lines keep their format: sylvane-extra.ini beside it in
// the program folder, an INI file of named values, read at start:
//
//     [responses]
//     threshold_us=0.05
//
// A missing file, key or unreadable value takes its default.

#include <QString>

namespace sylvane::app {

struct ExtraSettings {
    static constexpr const char* kFileName = "sylvane-extra.ini";

    // Smallest rise of conductance counted as a skin response, in microsiemens.
    double responseThreshold = 0.05;

    static ExtraSettings load(const QString& programFolder);
};

} // namespace sylvane::app
