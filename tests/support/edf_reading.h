#pragma once
// An EDF+ file read back with EDFlib's own reader, and its samples checked against the readings
// they came from: for the unit and the end-to-end export tests.

#include <edflib.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <string>
#include <utility>
#include <vector>

namespace sylvane::testing {

struct EdfRead {
    bool ok = false;
    edf_hdr_struct h{};
    std::vector<std::vector<double>> samples;                // a vector a signal
    std::vector<std::pair<double, std::string>> annotations; // seconds, text
    std::vector<double> durations;                           // of each annotation, seconds
};

inline EdfRead readEdf(const std::string& path) {
    EdfRead f;
    if (edfopen_file_readonly(path.c_str(), &f.h, EDFLIB_READ_ALL_ANNOTATIONS) != 0) return f;
    for (int s = 0; s < f.h.edfsignals; ++s) {
        std::vector<double> v(static_cast<std::size_t>(f.h.signalparam[s].smp_in_file));
        f.ok = edfread_physical_samples(f.h.handle, s, static_cast<int>(v.size()), v.data()) ==
               static_cast<int>(v.size());
        f.samples.push_back(std::move(v));
    }
    for (long long i = 0; i < f.h.annotations_in_file; ++i) {
        edf_annotation_struct a{};
        edf_get_annotation(f.h.handle, static_cast<int>(i), &a);
        f.annotations.emplace_back(static_cast<double>(a.onset) / 1e7, a.annotation);
        f.durations.push_back(std::atof(a.duration));
    }
    edfclose_file(f.h.handle);
    return f;
}

// Every sample of the three signals within one quantisation step of its reading: conductance in
// uS, resistance in kOhm (4095 x 470000 / a - 470000 Ohms, a 32-bit value) and the ADC value a.
// Records without a reading (below 1 or above 4094), and the padding, hold the reading before.
inline void expectSamples(const EdfRead& f, const std::vector<std::int32_t>& values) {
    ASSERT_TRUE(f.ok);
    ASSERT_EQ(f.samples.size(), 3u);
    for (std::size_t s = 0; s < 3; ++s) {
        const auto& p = f.h.signalparam[s];
        const double step = (p.phys_max - p.phys_min) / (p.dig_max - p.dig_min);
        ASSERT_GE(f.samples[s].size(), values.size());
        const auto sound = [](std::int32_t v) { return v >= 1 && v <= 4094; };
        std::int32_t last = *std::find_if(values.begin(), values.end(), sound);
        for (std::size_t i = 0; i < f.samples[s].size(); ++i) {
            if (i < values.size() && sound(values[i])) last = values[i];
            const double ohms = static_cast<float>(1924650000.0 / last - 470000.0);
            const double want = s == 0 ? 1e6 / ohms : s == 1 ? ohms / 1000 : last;
            ASSERT_NEAR(f.samples[s][i], want, step) << "signal " << s << ", record " << i + 1;
        }
    }
}

} // namespace sylvane::testing
