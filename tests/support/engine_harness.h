#pragma once
// The session engine with its followers in memory, for unit tests that drive whole sessions: the
// working files in a MemoryFileStore, the session's endings and the picture's dots and marks kept.

#include "acquisition/session_engine.h"
#include "storage/file_store.h"
#include "storage/working_files.h"

#include <memory>
#include <string>
#include <vector>

namespace sylvane::testing {

class KeptView final : public acquisition::SessionView {
public:
    void showReadouts(const acquisition::Readouts&) override {}
    void showReference(std::string_view) override {}
    void showSensitivity(std::string_view) override {}
    void showElapsed(std::string_view) override {}
    void showColourDisplays(const acquisition::ColourDisplays&) override {}
    void sessionMustEnd(acquisition::SessionEnd why, std::string_view) override {
        endings.push_back(why);
    }
    std::vector<acquisition::SessionEnd> endings;
};

class BlankCanvas final : public acquisition::GraphCanvas {
public:
    BlankCanvas(float width, float height) : m_width(width), m_height(height) {}
    float scaleWidth() const override { return m_width; }
    float scaleHeight() const override { return m_height; }
    void clear() override {}
    void showAxisLabels(const std::array<std::string, 10>&) override {}
    void dot(std::int32_t, std::int32_t, std::uint32_t) override { ++dots; }
    void lineTo(std::int32_t, std::int32_t, std::uint32_t) override {}
    void showNotice(Notice) override {}
    void verticalMark(std::int32_t x, std::string_view label, std::uint32_t) override {
        marks.emplace_back(x, label);
    }
    int dots = 0;
    std::vector<std::pair<std::int32_t, std::string>> marks;

private:
    float m_width;
    float m_height;
};

struct MemoryEngine {
    explicit MemoryEngine(float width = 489, float height = 268, const char* sensitivity = "25")
        : canvas(width, height) {
        engine.setSensitivityCaption(sensitivity);
        engine.setSteadyClock([this] { return now; });
    }
    storage::MemoryFileStore* store = new storage::MemoryFileStore;
    storage::WorkingFiles files{std::unique_ptr<storage::FileStore>(store)};
    KeptView view;
    BlankCanvas canvas;
    acquisition::SessionEngine engine{view, canvas, files};
    // The steady clock: the test moves it.
    double now = 1000.0;

    bool start(float clock = 36000.0f) {
        return engine.start(clock, {}, nullptr) ==
               acquisition::SessionEngine::StartOutcome::Started;
    }
    // Feeds bytes as the serial link does: one receive event per 9 bytes.
    void feed(const std::vector<std::uint8_t>& bytes) {
        pending.insert(pending.end(), bytes.begin(), bytes.end());
        std::size_t at = 0;
        for (; at + 9 <= pending.size(); at += 9) engine.receive({pending.data() + at, 9});
        pending.erase(pending.begin(), pending.begin() + static_cast<long>(at));
    }
    std::vector<std::uint8_t> pending;
};

} // namespace sylvane::testing
