#pragma once
// Event markers of the running session. A marker stands at the last recorded reading (the first
// one before any is recorded), with the seconds since the session's start and a short text. Its
// line goes to the side file tempdata.mrk at once (created at the session's first marker, removed
// by the next Start), and it is drawn on the picture graph as a thin vertical line with its
// number, again after every full redraw.

#include "acquisition/session_engine.h"
#include "storage/marker_file.h"

#include <cstdint>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

namespace sylvane::acquisition {

// Live markers are drawn in yellow over the white trace and the magenta grid.
inline constexpr std::uint32_t kLiveMarkerColor = 0x00FFFF;

// The graph step that holds a record when readingsPerStep records make a step.
std::int32_t stepOfRecord(std::int64_t record, std::int32_t readingsPerStep);

// Draws markers as vertical lines numbered in list order from firstNumber, at readingsPerStep
// records a step; nothing on a picture too small to draw on.
void drawMarkers(GraphCanvas& canvas, const std::vector<storage::Marker>& markers,
                 std::int32_t readingsPerStep, std::uint32_t color, std::size_t firstNumber = 1);

class SessionMarkers final : public ReadingFollower {
public:
    // Follows the engine. folder holds tempdata.mrk; without one the file is kept in memory.
    explicit SessionMarkers(SessionEngine& engine, std::filesystem::path folder = {});
    ~SessionMarkers() override;
    SessionMarkers(const SessionMarkers&) = delete;
    SessionMarkers& operator=(const SessionMarkers&) = delete;

    void setFolder(std::filesystem::path folder) { m_folder = std::move(folder); }
    std::filesystem::path filePath() const;

    // Where a marker made now stands (its text empty): at the last recorded reading, at the
    // seconds from Start on the steady clock the reading times count in.
    storage::Marker at() const;
    // A marker of the last recorded reading itself, at that reading's time.
    storage::Marker atLastReading() const;
    // Appends the marker's line to tempdata.mrk and draws it. False with *error naming the file
    // and the reason when the line cannot be written; the file then keeps its earlier markers
    // and this one is neither kept nor drawn.
    bool add(storage::Marker marker, std::string* error = nullptr);
    const std::vector<storage::Marker>& markers() const { return m_markers; }
    // Forgets the markers and removes tempdata.mrk (Start, Restart).
    void clear();
    // The file's bytes when it is kept in memory.
    const std::string& memoryFile() const { return m_memory; }
    // Told each marker once it is kept, whatever made it (the Mark box, a reconnect, OSC).
    std::function<void(const storage::Marker&)> added;

    void sessionStarted(float startClock) override;
    void readingRecorded(std::int32_t, std::int32_t, double) override {}
    void sessionStopped() override {}
    void graphRedrawn(GraphCanvas& canvas, std::int32_t readingsPerStep) override;

private:
    bool append(const std::string& line, std::string* error);

    SessionEngine& m_engine;
    std::filesystem::path m_folder;
    std::vector<storage::Marker> m_markers;
    std::string m_memory;
};

} // namespace sylvane::acquisition
