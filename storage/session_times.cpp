#include "storage/session_times.h"

#include "platform/free_format.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <ctime>
#include <fstream>
#include <system_error>

namespace sylvane::storage {

namespace fs = std::filesystem;
using namespace std::chrono;

namespace {

// Milliseconds of a local clock reading counted as if it were UTC, and back.
std::int64_t localMilliseconds(const LocalTime& t) {
    const sys_days day = year_month_day{year{t.year}, month{static_cast<unsigned>(t.month)},
                                        std::chrono::day{static_cast<unsigned>(t.day)}};
    return day.time_since_epoch().count() * 86400000LL +
           ((t.hour * 60LL + t.minute) * 60 + t.second) * 1000 + t.millisecond;
}

LocalTime fromLocalMilliseconds(std::int64_t ms, int offset) {
    const auto days = static_cast<int>(std::floor(static_cast<double>(ms) / 86400000.0));
    std::int64_t rest = ms - days * 86400000LL;
    const year_month_day ymd{sys_days{std::chrono::days{days}}};
    LocalTime t;
    t.year = static_cast<int>(ymd.year());
    t.month = static_cast<int>(static_cast<unsigned>(ymd.month()));
    t.day = static_cast<int>(static_cast<unsigned>(ymd.day()));
    t.hour = static_cast<int>(rest / 3600000);
    rest %= 3600000;
    t.minute = static_cast<int>(rest / 60000);
    rest %= 60000;
    t.second = static_cast<int>(rest / 1000);
    t.millisecond = static_cast<int>(rest % 1000);
    t.utcOffsetMinutes = offset;
    return t;
}

bool number(std::string_view text, auto* out) {
    const auto r = std::from_chars(text.data(), text.data() + text.size(), *out);
    return r.ec == std::errc() && r.ptr == text.data() + text.size();
}

std::optional<LocalTime> parseIso(std::string_view s) {
    // yyyy-mm-ddThh:mm:ss.mmm+hh:mm
    if (s.size() != 29 || s[4] != '-' || s[7] != '-' || s[10] != 'T' || s[13] != ':' ||
        s[16] != ':' || s[19] != '.' || (s[23] != '+' && s[23] != '-') || s[26] != ':')
        return std::nullopt;
    LocalTime t;
    int oh = 0, om = 0;
    if (!number(s.substr(0, 4), &t.year) || !number(s.substr(5, 2), &t.month) ||
        !number(s.substr(8, 2), &t.day) || !number(s.substr(11, 2), &t.hour) ||
        !number(s.substr(14, 2), &t.minute) || !number(s.substr(17, 2), &t.second) ||
        !number(s.substr(20, 3), &t.millisecond) || !number(s.substr(24, 2), &oh) ||
        !number(s.substr(27, 2), &om))
        return std::nullopt;
    if (!year_month_day{year{t.year}, month{static_cast<unsigned>(t.month)},
                        day{static_cast<unsigned>(t.day)}}
             .ok() ||
        t.hour > 23 || t.minute > 59 || t.second > 60 || oh > 23 || om > 59)
        return std::nullopt;
    t.utcOffsetMinutes = (s[23] == '-' ? -1 : 1) * (oh * 60 + om);
    return t;
}

std::vector<std::string_view> fields(std::string_view line) {
    std::vector<std::string_view> out;
    while (true) {
        const auto comma = line.find(',');
        out.push_back(line.substr(0, comma));
        if (comma == std::string_view::npos) return out;
        line.remove_prefix(comma + 1);
    }
}

} // namespace

std::int64_t LocalTime::utcMilliseconds() const {
    return localMilliseconds(*this) - utcOffsetMinutes * 60000LL;
}

LocalTime LocalTime::plus(double seconds) const {
    // Within a few centuries either way, whatever damaged file the seconds came from.
    seconds = std::isfinite(seconds) ? std::clamp(seconds, -1e10, 1e10) : 0.0;
    return fromLocalMilliseconds(localMilliseconds(*this) + std::llround(seconds * 1000.0),
                                 utcOffsetMinutes);
}

std::string LocalTime::iso() const {
    char text[40];
    const int offset = std::abs(utcOffsetMinutes);
    std::snprintf(text, sizeof text, "%04d-%02d-%02dT%02d:%02d:%02d.%03d%c%02d:%02d", year, month,
                  day, hour, minute, second, millisecond, utcOffsetMinutes < 0 ? '-' : '+',
                  offset / 60, offset % 60);
    return text;
}

LocalTime localTimeOf(system_clock::time_point moment) {
    const auto ms = duration_cast<milliseconds>(moment.time_since_epoch()).count();
    const auto seconds = static_cast<std::time_t>(std::floor(static_cast<double>(ms) / 1000.0));
    std::tm local{};
    localtime_r(&seconds, &local);
    LocalTime t;
    t.year = local.tm_year + 1900;
    t.month = local.tm_mon + 1;
    t.day = local.tm_mday;
    t.hour = local.tm_hour;
    t.minute = local.tm_min;
    t.second = local.tm_sec;
    t.millisecond = static_cast<int>(ms - static_cast<std::int64_t>(seconds) * 1000);
    t.utcOffsetMinutes = static_cast<int>(local.tm_gmtoff / 60);
    return t;
}

std::string startLine(const LocalTime& start) {
    return "start," + start.iso() + "\r\n";
}

std::string savedLine(const LocalTime& when) {
    return "saved," + when.iso() + "\r\n";
}

std::string readingsLine(std::int64_t readings, double firstSeconds, double lastSeconds) {
    // to_chars: "." whatever the locale.
    char text[96];
    char* p = std::to_chars(text, text + sizeof text, readings).ptr;
    for (double seconds : {firstSeconds, lastSeconds}) {
        seconds = std::isfinite(seconds) ? std::clamp(seconds, -1e9, 1e9) : 0.0;
        *p++ = ',';
        p = std::to_chars(p, text + sizeof text - 2, seconds, std::chars_format::fixed, 3).ptr;
    }
    return "readings," + std::string(text, p) + "\r\n";
}

SessionTimes readSessionTimes(std::string_view bytes) {
    SessionTimes times;
    platform::forEachLine(bytes, [&](std::string_view line, int lineNumber, bool whole) {
        if (line.empty() && whole) return;
        const auto f = fields(line);
        bool ok = false;
        if (whole && f.size() == 2 && (f[0] == "start" || f[0] == "saved")) {
            if (const auto when = parseIso(f[1])) {
                (f[0] == "start" ? times.start : times.saved) = when;
                ok = true;
            }
        } else if (whole && f.size() == 4 && f[0] == "readings") {
            std::int64_t readings = 0;
            double first = 0, last = 0;
            ok = number(f[1], &readings) && number(f[2], &first) && number(f[3], &last) &&
                 readings >= 0 && std::isfinite(first) && std::isfinite(last) && first >= 0 &&
                 last >= first;
            if (ok) {
                times.readings = readings;
                times.firstSeconds = first;
                times.lastSeconds = last;
            }
        }
        if (!ok) times.badLines.push_back(lineNumber);
    });
    return times;
}

bool replaceFile(const fs::path& path, std::string_view bytes, std::string* error,
                 std::string_view what) {
    const std::string named = "Could not write " +
                              (what.empty() ? std::string() : std::string(what) + " ") +
                              path.string();
    fs::path fresh = path;
    fresh += ".new";
    {
        std::ofstream out(fresh, std::ios::binary | std::ios::trunc);
        out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
        out.flush();
        if (!out) {
            std::error_code ignored;
            fs::remove(fresh, ignored);
            if (error) *error = named;
            return false;
        }
    }
    std::error_code ec;
    fs::rename(fresh, path, ec);
    if (ec) {
        std::error_code ignored;
        fs::remove(fresh, ignored);
        if (error) *error = named + ": " + ec.message();
        return false;
    }
    return true;
}

} // namespace sylvane::storage
