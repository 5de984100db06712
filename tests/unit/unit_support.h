#pragma once
// A fresh folder and whole-file reads and writes for the unit tests that touch the disk.

#include <cmath>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <numbers>
#include <random>
#include <string>
#include <vector>

namespace sylvane::unittest {

namespace fs = std::filesystem;

struct TempFolder {
    fs::path path =
        fs::temp_directory_path() / ("sylvane-unit-" + std::to_string(std::random_device{}()));
    TempFolder() { fs::create_directories(path); }
    TempFolder(const TempFolder&) = delete; // one folder, removed once
    ~TempFolder() {
        std::error_code ignored;
        fs::remove_all(path, ignored);
    }
    fs::path operator/(const std::string& name) const { return path / name; }
};

inline void writeFile(const fs::path& path, const std::string& bytes) {
    std::ofstream(path, std::ios::binary) << bytes;
}

inline std::string readFile(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), {}};
}

// Little-endian 32-bit records, as tempdata.tst holds them.
inline std::string records(const std::vector<std::int32_t>& values) {
    std::string out;
    for (const std::int32_t v : values)
        for (int k = 0; k < 4; ++k)
            out += static_cast<char>((static_cast<std::uint32_t>(v) >> (8 * k)) & 0xFF);
    return out;
}

// The resistance of an ADC value a, 4095 x 470000 / a - 470000 Ohms kept as a 32-bit float:
// worked out here, for expected values that do not come from the program's own conversion.
inline float ohmsOf(double adc) {
    return static_cast<float>(1924650000.0 / adc - 470000.0);
}

// The simulated probe's skin response from t0: a half-cosine rise, an exponential recovery.
inline double halfCosine(double t, double t0, double amplitude, double rise = 2.0) {
    if (t < t0) return 0;
    if (t < t0 + rise) return amplitude * 0.5 * (1 - std::cos(std::numbers::pi * (t - t0) / rise));
    return amplitude * std::exp(-(t - t0 - rise) / 6.0);
}

} // namespace sylvane::unittest
