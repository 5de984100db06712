#include "storage/saved_sessions.h"

#include "platform/number_rules.h"
#include "storage/saved_set_writer.h"
#include "storage/session_header.h"

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <limits>

#include <fcntl.h>
#include <unistd.h>

namespace sylvane::storage {

namespace {
constexpr double kAdcOhmsNumerator = 1924650000.0;
constexpr double kSeriesOhms = 470000.0;

double marginOf(std::int32_t minADC, std::int32_t maxADC) {
    return (static_cast<double>(maxADC) - minADC) * 0.05;
}
} // namespace

bool commonScaleDefined(std::int32_t minADC, std::int32_t maxADC) {
    // Written so that a NaN bottom also counts as undefined.
    return minADC - marginOf(minADC, maxADC) > 0;
}

CommonScale commonScale(std::int32_t minADC, std::int32_t maxADC, std::int64_t longestBytes,
                        float scaleWidth, float scaleHeight) {
    CommonScale s;
    const double margin = marginOf(minADC, maxADC);
    float bottom = static_cast<float>(kAdcOhmsNumerator / (minADC - margin) - kSeriesOhms);
    float top = static_cast<float>(kAdcOhmsNumerator / (maxADC + margin) - kSeriesOhms);

    // A flat set gets a span of about 4 % around its resistance. Readings near the top of the
    // ADC range put the top edge at or below 0 Ohm: widen around its magnitude there, so the
    // scale never turns upside down or collapses to nothing.
    const double span = static_cast<double>(bottom) - top;
    if (!(span >= 0.02 * std::fabs(static_cast<double>(top))) || !(span > 0)) {
        if (top > 0) {
            bottom = top * 1.02f;
            top = top * 0.98f;
        } else if (top < 0) {
            bottom = top * 0.98f;
            top = top * 1.02f;
        } else {
            bottom = 1.0f;
            top = -1.0f;
        }
    }
    s.bottomOhms = bottom;
    s.topOhms = top;
    s.yScale = static_cast<float>(scaleHeight / (static_cast<double>(bottom) - top));

    const std::int32_t perStep =
        platform::intDiv(longestBytes, platform::nearest(static_cast<double>(scaleWidth) * 4));
    s.readingsPerStep =
        perStep < 1 ? 1
                    : (perStep == std::numeric_limits<std::int32_t>::max() ? perStep : perStep + 1);
    return s;
}

std::string savedSessionName(std::string_view hdrPath) {
    const std::size_t slash = hdrPath.rfind('/');
    std::string_view name = slash == std::string_view::npos ? hdrPath : hdrPath.substr(slash + 1);
    name = name.substr(0, name.size() >= 4 ? name.size() - 4 : 0);
    return std::string(name);
}

bool readSavedSession(const std::filesystem::path& tst, const std::filesystem::path& hdr,
                      SavedSessionInfo* info, std::string* error) {
    const auto fail = [error](std::string why) {
        if (error) *error = std::move(why);
        return false;
    };
    // Each file is opened once: whether it can be used, its size and, for the header, its bytes.
    TargetProbe readings;
    std::int64_t bytes = 0;
    const int tstFd = openProbed(tst, &readings, &bytes);
    if (tstFd < 0) return fail(readings.description);
    ::close(tstFd);

    TargetProbe header;
    std::int64_t headerSize = 0;
    const int hdrFd = openProbed(hdr, &header, &headerSize);
    if (hdrFd < 0) return fail(header.description);
    std::string data;
    data.resize(static_cast<std::size_t>(std::clamp<std::int64_t>(headerSize, 0, 1 << 16)) + 1);
    std::size_t got = 0;
    bool readFailed = false;
    for (;;) {
        if (got == data.size()) data.resize(data.size() * 2);
        const ssize_t n = ::read(hdrFd, data.data() + got, data.size() - got);
        if (n < 0 && errno == EINTR) continue;
        readFailed = n < 0;
        if (n <= 0) break;
        got += static_cast<std::size_t>(n);
    }
    ::close(hdrFd);
    data.resize(got);
    if (readFailed) return fail("The header cannot be read: " + hdr.string());
    const SessionHeader h = readSessionHeader(data);
    if (!h.complete()) {
        return fail("The header holds " + std::to_string(h.itemCount) +
                    " of its 5 items: " + hdr.string());
    }
    info->name = savedSessionName(hdr.string());
    info->minADC = h.minADC();
    info->maxADC = h.maxADC();
    info->comments = h.comments;
    info->tstBytes = bytes;
    return true;
}

DisplayPlan planSavedDisplay(std::span<const SessionChoice> chosen) {
    DisplayPlan plan;
    for (std::size_t k = 0; k < chosen.size(); ++k) {
        SavedSessionInfo info;
        std::string error;
        const std::string name = savedSessionName(chosen[k].hdr.string());
        if (!readSavedSession(chosen[k].tst, chosen[k].hdr, &info, &error)) {
            plan.problems.push_back(error + "\r\nThe session " + name + " is not displayed.");
            continue;
        }
        const std::int32_t minADC = std::min(plan.minADC, info.minADC);
        const std::int32_t maxADC = std::max(plan.maxADC, info.maxADC);
        if (!commonScaleDefined(minADC, maxADC)) {
            plan.problems.push_back("The header " + chosen[k].hdr.string() + " gives the range " +
                                    std::to_string(info.minADC) + " to " +
                                    std::to_string(info.maxADC) +
                                    ", which puts the bottom of the scale at or below 0 ADC."
                                    "\r\nThe session " +
                                    name + " is not displayed.");
            continue;
        }
        plan.minADC = minADC;
        plan.maxADC = maxADC;
        plan.longestBytes = std::max(plan.longestBytes, info.tstBytes);
        plan.sessions.push_back({k, chosen[k].tst, std::move(info)});
    }
    return plan;
}

std::string displayedComments(const DisplayPlan& plan) {
    std::string text;
    for (const DisplayPlan::Session& s : plan.sessions) {
        text += s.info.name + "  Comments ...\n" + s.info.comments + "\n";
    }
    return text;
}

} // namespace sylvane::storage
