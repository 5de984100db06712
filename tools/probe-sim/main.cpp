// probe-sim: a skin-resistance probe on a pseudo-terminal, for trying and testing the program
// without hardware. It links the pseudo-terminal as <folder>/ports/com<N>, where the program
// looks for COM port N, and writes the probe's 9-byte frames while a program has the port open.

#include "platform/version.h"
#include "probe_signal.h"

#include <cerrno>
#include <charconv>
#include <cmath>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <optional>
#include <sstream>
#include <string>
#include <string_view>
#include <vector>

#include <fcntl.h>
#include <poll.h>
#include <termios.h>
#include <time.h>
#include <unistd.h>

namespace fs = std::filesystem;
using namespace sylvane::probesim;

namespace {

// Follows "Usage: <name> [options]"; also the manual page (help2man).
constexpr const char* usageText = R"(
Simulates the skin-resistance probe on a pseudo-terminal. The pseudo-terminal
is linked as <folder>/ports/com<N>, which the program opens as COM port N;
"COM<N> -> <device>" is printed once the link exists. Frames are written only
while a program has the port open, and each opening starts afresh: the signal
from its beginning, a frames file from its first line, --count and
--silent-after from zero. SIGINT or SIGTERM ends the simulator and removes the
link.

Frame (9 bytes): AA AA 01, frame number (mod 256), ADC low, ADC high, status,
00 00.

The signal is a probe just placed on the skin: the reading rises to a resting
level (ADC 1800 to 2300) and steadies within about 2 s, then repeats its value
for many frames at a time while it drifts slowly in whole counts; from 10 s on
a skin response comes about every 25 s (the value rises over 1 to 3 s and
recovers slowly). The program's reference reading latches within about 8 s at
the default rate.

Options:
  --folder DIR        program folder that gets ports/com<N> (default: the
                      folder of the simulator)
  --port N            COM port number, 1 to 255 (default 2)
  --rate HZ           frames a second, up to 53 (the line's limit at 4800 baud;
                      default 2)
  --seed N            seed of the signal and of stray bytes (default 1); same
                      seed, same bytes
  --adc N             send this ADC value (0 to 65535) in every frame, no
                      signal, no noise
  --noise COUNTS      noise of the signal, its standard deviation in ADC
                      counts, 0 to 500 (default 0.15: a probe at rest repeats
                      its value, and the reference latches within about 8 s at
                      2 frames a second; 2 or more makes equal neighbours rare
                      and the latch slow)
  --status HEX        status byte (default 04: readings valid)
  --probe-error       set status bit 0 (probe error)
  --battery-low       set status bit 1 (battery needs replacing)
  --invalid           clear status bit 2 (readings not valid)
  --stray P           with probability P (0 to 1), put 1 to 4 stray bytes
                      (never AA) before a frame
  --frames FILE       send the lines of FILE instead of generated frames, one
                      line per frame time, then stay open and silent. A line
                      holds hex bytes separated by blanks or commas
                      ("AA AA 01 03 D2 04 04 00 07"), any number of them; "#"
                      starts a comment. The signal and status options do not
                      apply.
  --count N           send N frames (or N lines of the frames file), then stay
                      silent
  --silent-after S    stop sending S seconds after the port is opened; the port
                      stays open
  --vanish-after S    S seconds after a program first opens the port, close the
                      pseudo-terminal and remove the link, as an unplugged
                      adapter, and end
  --reappear-after S  with --vanish-after: instead of ending, come back S
                      seconds after vanishing on a new pseudo-terminal under
                      the same link, as the adapter plugged in again, and go on
                      as before (it vanishes only once)
  -h, --help          show this text and exit
  --version           show the version and exit

Exit status: 0 when ended by SIGINT or SIGTERM or by --vanish-after; 1 when
the pseudo-terminal or its link cannot be made; 2 for a bad command line or a
frames file that cannot be read.
)";

struct Options {
    fs::path folder;
    int port = 2;
    StreamOptions stream;
    bool signalOptionGiven = false;
    std::optional<fs::path> framesFile;
    std::optional<long long> count;
    std::optional<double> silentAfter;
    std::optional<double> vanishAfter;
    std::optional<double> reappearAfter;
};

[[noreturn]] void usageError(const std::string& message) {
    std::cerr << "probe-sim: " << message << "\n(probe-sim --help lists the options)\n";
    std::exit(2);
}

long long wholeArg(std::string_view name, std::string_view text, long long lo, long long hi,
                   int base = 10) {
    long long value = 0;
    const auto res = std::from_chars(text.data(), text.data() + text.size(), value, base);
    if (text.empty() || res.ec != std::errc() || res.ptr != text.data() + text.size() ||
        value < lo || value > hi)
        usageError(std::string(name) + " needs a whole number from " + std::to_string(lo) + " to " +
                   std::to_string(hi) + ", not \"" + std::string(text) + "\"");
    return value;
}

double numberArg(std::string_view name, std::string_view text, double lo, double hi) {
    const std::string s(text);
    char* end = nullptr;
    errno = 0;
    const double value = std::strtod(s.c_str(), &end);
    if (s.empty() || end != s.c_str() + s.size() || errno != 0 || !std::isfinite(value) ||
        value < lo || value > hi) {
        std::ostringstream msg;
        msg << name << " needs a number from " << lo << " to " << hi << ", not \"" << s << "\"";
        usageError(msg.str());
    }
    return value;
}

fs::path executableFolder() {
    std::error_code ec;
    const fs::path exe = fs::read_symlink("/proc/self/exe", ec);
    return ec ? fs::current_path() : exe.parent_path();
}

Options parseOptions(int argc, char** argv) {
    Options o;
    o.folder = executableFolder();
    int status = statusValid;
    bool probeError = false, batteryLow = false, invalid = false, noiseGiven = false;
    // Installed, it is sylvane-probe-sim; in the build folder, probe-sim.
    std::string name = argc > 0 ? fs::path(argv[0]).filename().string() : "";
    if (name.empty()) name = "probe-sim";
    for (int i = 1; i < argc; ++i) {
        const std::string_view arg = argv[i];
        auto value = [&]() -> std::string_view {
            if (i + 1 >= argc) usageError(std::string(arg) + " needs a value");
            return argv[++i];
        };
        if (arg == "-h" || arg == "--help") {
            std::cout << "Usage: " << name << " [options]\n" << usageText;
            std::exit(0);
        } else if (arg == "--version") {
            std::cout << name << " (" << sylvane::platform::kAppTitle << ") "
                      << sylvane::platform::kVersionText << "\n";
            std::exit(0);
        } else if (arg == "--folder") {
            o.folder = std::string(value());
        } else if (arg == "--port") {
            o.port = static_cast<int>(wholeArg(arg, value(), 1, 255));
        } else if (arg == "--rate") {
            o.stream.frameRate = numberArg(arg, value(), 0.01, maxFrameRate);
        } else if (arg == "--seed") {
            o.stream.seed = static_cast<std::uint32_t>(wholeArg(arg, value(), 0, 4294967295LL));
            o.signalOptionGiven = true;
        } else if (arg == "--adc") {
            o.stream.fixedAdc = static_cast<int>(wholeArg(arg, value(), 0, 65535));
            o.signalOptionGiven = true;
        } else if (arg == "--noise") {
            o.stream.noise = numberArg(arg, value(), 0.0, 500.0);
            o.signalOptionGiven = noiseGiven = true;
        } else if (arg == "--status") {
            std::string_view hex = value();
            if (hex.starts_with("0x") || hex.starts_with("0X")) hex.remove_prefix(2);
            status = static_cast<int>(wholeArg(arg, hex, 0, 255, 16));
            o.signalOptionGiven = true;
        } else if (arg == "--probe-error") {
            probeError = o.signalOptionGiven = true;
        } else if (arg == "--battery-low") {
            batteryLow = o.signalOptionGiven = true;
        } else if (arg == "--invalid") {
            invalid = o.signalOptionGiven = true;
        } else if (arg == "--stray") {
            o.stream.strayProbability = numberArg(arg, value(), 0.0, 1.0);
            o.signalOptionGiven = true;
        } else if (arg == "--frames") {
            o.framesFile = std::string(value());
        } else if (arg == "--count") {
            o.count = wholeArg(arg, value(), 0, 1LL << 40);
        } else if (arg == "--silent-after") {
            o.silentAfter = numberArg(arg, value(), 0.0, 1e7);
        } else if (arg == "--vanish-after") {
            o.vanishAfter = numberArg(arg, value(), 0.0, 1e7);
        } else if (arg == "--reappear-after") {
            o.reappearAfter = numberArg(arg, value(), 0.0, 1e7);
        } else {
            usageError("unknown option \"" + std::string(arg) + "\"");
        }
    }
    if (probeError) status |= statusProbeError;
    if (batteryLow) status |= statusBatteryLow;
    if (invalid) status &= ~statusValid;
    o.stream.status = static_cast<std::uint8_t>(status);
    if (o.framesFile && o.signalOptionGiven)
        usageError("--frames sends the file as it is: --seed, --adc, --noise, --status, "
                   "--probe-error, --battery-low, --invalid and --stray do not go with it");
    if (o.reappearAfter && !o.vanishAfter)
        usageError("--reappear-after needs --vanish-after: only a vanished port can come back");
    if (o.stream.fixedAdc && noiseGiven)
        usageError("--adc sends its value without noise: --noise does not go with it");
    return o;
}

std::vector<Bytes> readFramesFile(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) usageError("cannot read the frames file " + path.string());
    std::ostringstream text;
    text << in.rdbuf();
    std::string error;
    auto lines = parseHexFrames(text.str(), &error);
    if (!lines) usageError(path.string() + ", " + error);
    return *lines;
}

volatile std::sig_atomic_t stopSignal = 0;
void onStopSignal(int signal) {
    stopSignal = signal;
}

double now() {
    timespec ts{};
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return static_cast<double>(ts.tv_sec) + static_cast<double>(ts.tv_nsec) * 1e-9;
}

// Waits for the fds or the timeout; the stop signals can only arrive while waiting here, so
// none is missed between a check of stopSignal and the wait.
int waitFor(pollfd* fds, nfds_t count, double seconds, const sigset_t& waitMask) {
    seconds = std::max(0.0, seconds);
    timespec ts{static_cast<time_t>(seconds),
                static_cast<long>((seconds - std::floor(seconds)) * 1e9)};
    return ppoll(fds, count, &ts, &waitMask);
}

// Raw mode on the slave side: no line editing, no CR/LF translation, no XON/XOFF, no signal
// characters, no echo, all eight bits. Settings of an opener that are already raw stay as they
// are (its speed and parity).
void ensureRaw(int master) {
    termios t{};
    if (tcgetattr(master, &t) != 0) return;
    const tcflag_t inputCooking =
        IGNBRK | BRKINT | PARMRK | ISTRIP | INLCR | IGNCR | ICRNL | IXON | IXOFF | IXANY;
    const tcflag_t localCooking = ECHO | ECHONL | ICANON | ISIG | IEXTEN;
    if ((t.c_iflag & inputCooking) == 0 && (t.c_lflag & localCooking) == 0 &&
        (t.c_oflag & OPOST) == 0 && (t.c_cflag & CSIZE) == CS8)
        return;
    t.c_iflag &= ~inputCooking;
    t.c_lflag &= ~localCooking;
    t.c_oflag &= ~OPOST;
    t.c_cflag = (t.c_cflag & ~CSIZE) | CS8;
    t.c_cc[VMIN] = 1;
    t.c_cc[VTIME] = 0;
    tcsetattr(master, TCSANOW, &t);
}

// A pty master reports a hang-up while no slave fd is open.
bool slaveOpen(int master) {
    pollfd p{master, POLLIN, 0};
    if (poll(&p, 1, 0) < 0) return false;
    return (p.revents & POLLHUP) == 0;
}

class PortLink {
public:
    PortLink(fs::path link, std::string device) : m_link(std::move(link)), m_device(device) {}
    // Removes the link if it is still ours (a newer simulator may have taken the name).
    void remove() const {
        std::error_code ec;
        if (fs::is_symlink(m_link, ec) && fs::read_symlink(m_link, ec) == m_device)
            fs::remove(m_link, ec);
    }
    const fs::path& path() const { return m_link; }

private:
    fs::path m_link;
    fs::path m_device;
};

int fail(const std::string& message) {
    std::cerr << "probe-sim: " << message << "\n";
    return 1;
}

// Opens a pseudo-terminal and links it as linkPath; "" or what went wrong.
std::string openLinkedPty(int port, const fs::path& linkPath, int* masterOut,
                          std::string* deviceOut) {
    const int master = posix_openpt(O_RDWR | O_NOCTTY);
    if (master < 0 || grantpt(master) != 0 || unlockpt(master) != 0)
        return std::string("cannot open a pseudo-terminal: ") + std::strerror(errno);
    const char* slaveName = ptsname(master);
    if (!slaveName) return "cannot name the pseudo-terminal";
    const std::string device = slaveName;
    fcntl(master, F_SETFL, fcntl(master, F_GETFL) | O_NONBLOCK);
    ensureRaw(master);
    // Until a slave has been opened once, the master shows no hang-up; open and close it so
    // that "no program has the port" can be told from the master from now on.
    if (const int slave = open(device.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK); slave >= 0)
        close(slave);

    const fs::path ports = linkPath.parent_path();
    std::error_code ec;
    fs::create_directories(ports, ec);
    if (ec) return "cannot create " + ports.string() + ": " + ec.message();
    if (fs::exists(fs::symlink_status(linkPath)) && !fs::is_symlink(fs::symlink_status(linkPath)))
        return linkPath.string() + " exists and is not a link; not replacing it";
    // Replace any old link in one step, so the name never points to nothing meanwhile.
    const fs::path tempLink =
        ports / (".com" + std::to_string(port) + "." + std::to_string(getpid()));
    fs::remove(tempLink, ec);
    fs::create_symlink(device, tempLink, ec);
    if (!ec) fs::rename(tempLink, linkPath, ec);
    if (ec) {
        fs::remove(tempLink, ec);
        return "cannot link " + linkPath.string() + " to " + device + ": " + ec.message();
    }
    *masterOut = master;
    *deviceOut = device;
    return {};
}

} // namespace

int main(int argc, char** argv) {
    const Options options = parseOptions(argc, argv);
    std::vector<Bytes> script;
    if (options.framesFile) script = readFramesFile(*options.framesFile);

    const std::string com = "COM" + std::to_string(options.port);
    const fs::path linkPath = options.folder / "ports" / ("com" + std::to_string(options.port));
    int master = -1;
    std::string device;
    if (const std::string error = openLinkedPty(options.port, linkPath, &master, &device);
        !error.empty())
        return fail(error);
    PortLink link(linkPath, device);

    struct sigaction sa {};
    sa.sa_handler = onStopSignal;
    sigemptyset(&sa.sa_mask);
    sigaction(SIGINT, &sa, nullptr);
    sigaction(SIGTERM, &sa, nullptr);
    sigaction(SIGHUP, &sa, nullptr);
    std::signal(SIGPIPE, SIG_IGN);
    sigset_t stopSignals, waitMask;
    sigemptyset(&stopSignals);
    sigaddset(&stopSignals, SIGINT);
    sigaddset(&stopSignals, SIGTERM);
    sigaddset(&stopSignals, SIGHUP);
    sigprocmask(SIG_BLOCK, &stopSignals, &waitMask);
    sigdelset(&waitMask, SIGINT);
    sigdelset(&waitMask, SIGTERM);
    sigdelset(&waitMask, SIGHUP);

    std::cout << com << " -> " << device << std::endl;

    constexpr double pollInterval = 0.02;
    // Time for a program that has just opened the port to discard what the device held.
    constexpr double settleTime = 0.05;
    const double period = 1.0 / options.stream.frameRate;

    enum class State { Waiting, Settling, Sending, Silent } state = State::Waiting;
    double openedAt = 0, nextDue = 0;
    std::optional<double> firstOpenedAt;
    bool vanished = false;
    std::optional<FrameStream> stream;
    std::size_t scriptLine = 0;
    long long sent = 0;
    Bytes pending;

    while (!stopSignal) {
        const double t = now();
        if (options.vanishAfter && !vanished && firstOpenedAt &&
            t >= *firstOpenedAt + *options.vanishAfter) {
            close(master);
            link.remove();
            std::cerr << "probe-sim: " << com << " vanished\n";
            if (!options.reappearAfter) return 0;
            vanished = true;
            const double back = now() + *options.reappearAfter;
            while (!stopSignal && now() < back) waitFor(nullptr, 0, back - now(), waitMask);
            if (stopSignal) return 0;
            if (const std::string error = openLinkedPty(options.port, linkPath, &master, &device);
                !error.empty())
                return fail(error);
            link = PortLink(linkPath, device);
            std::cout << com << " -> " << device << std::endl;
            std::cerr << "probe-sim: " << com << " reappeared\n";
            state = State::Waiting;
            pending.clear();
            continue;
        }

        if (!slaveOpen(master)) {
            if (state != State::Waiting) std::cerr << "probe-sim: " << com << " closed\n";
            state = State::Waiting;
            pending.clear();
            waitFor(nullptr, 0, pollInterval, waitMask);
            continue;
        }
        if (state == State::Waiting) {
            state = State::Settling;
            openedAt = t;
            if (!firstOpenedAt) firstOpenedAt = t;
        }
        if (state == State::Settling && t >= openedAt + settleTime) {
            ensureRaw(master);
            state = State::Sending;
            stream.emplace(options.stream);
            scriptLine = 0;
            sent = 0;
            nextDue = t;
            std::cerr << "probe-sim: " << com << " opened, sending\n";
        }

        if (state == State::Sending && pending.empty() && t >= nextDue) {
            const bool countDone = options.count && sent >= *options.count;
            const bool scriptDone = options.framesFile && scriptLine >= script.size();
            const bool timeDone = options.silentAfter && t >= openedAt + *options.silentAfter;
            if (countDone || scriptDone || timeDone) {
                state = State::Silent;
                std::cerr << "probe-sim: " << com << " silent after " << sent << " frames\n";
            } else {
                pending = options.framesFile ? script[scriptLine++] : stream->next();
                ++sent;
                // After a stall (a suspended process) go on from now rather than catch up.
                nextDue = (t - nextDue > 1.0) ? t + period : nextDue + period;
            }
        }

        if (!pending.empty()) {
            const ssize_t n = write(master, pending.data(), pending.size());
            if (n > 0) {
                pending.erase(pending.begin(), pending.begin() + n);
            } else if (n < 0 && errno != EAGAIN && errno != EINTR) {
                pending.clear(); // the port was closed under us; seen as a hang-up next round
            }
        }

        // Whatever the program writes to the probe is read and dropped.
        char sink[256];
        while (read(master, sink, sizeof sink) > 0) {
        }

        pollfd p{master, static_cast<short>(POLLIN | (pending.empty() ? 0 : POLLOUT)), 0};
        double wait = pollInterval;
        if (state == State::Settling) wait = std::min(wait, openedAt + settleTime - t);
        if (state == State::Sending && pending.empty()) wait = std::min(wait, nextDue - t);
        waitFor(&p, 1, wait, waitMask);
    }

    close(master);
    link.remove();
    return 0;
}
