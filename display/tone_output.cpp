#include "display/tone_output.h"

#include "display/tone_generator.h"
#include "platform/steady_time.h"

#include <QAudioDevice>
#include <QAudioFormat>
#include <QAudioSink>
#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QIODevice>
#include <QMediaDevices>
#include <QThread>
#include <QTimer>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <mutex>
#include <optional>
#include <vector>

namespace sylvane::display {

namespace {

// The audio thread wakes this often and tops the sink's buffer up.
constexpr int kPumpMs = 25;
// The sink's buffer: short enough that a new pitch is heard soon, long enough that a busy
// machine does not let it run dry between two wake-ups.
constexpr double kBufferSeconds = 0.1;
// Without a new pitch for this long the tone fades out.
constexpr double kStaleSeconds = 1.0;
// A sink that takes nothing for this long, or a call into the sound system that has not come
// back after it, has stalled.
constexpr double kStallSeconds = 2.0;
// How long the program's end gives the audio thread to fade out and close.
constexpr int kExitGraceMs = 500;

const char* const kEpilogue = " The session goes on and is recorded as always.";

} // namespace

// What the window and the audio thread share of one output.
struct ToneChannel {
    std::atomic<bool> wanted{false};
    std::atomic<bool> released{false};
    // Each open() counts up: the audio thread tries again after a failure once it changes.
    std::atomic<std::uint64_t> opens{0};
    std::atomic<double> volume{40};
    // 0 for silence.
    std::atomic<double> hz{0};
    std::atomic<double> playedAt{0};

    std::mutex mutex;
    std::string problem;
    bool told = false;

    void fail(const std::string& why) {
        const std::lock_guard lock(mutex);
        if (!told && problem.empty()) problem = "The tone cannot be heard: " + why + kEpilogue;
    }
};

namespace {

// What the audio thread keeps of one output.
struct Voice {
    std::unique_ptr<QAudioSink> sink;
    QIODevice* io = nullptr;
    std::optional<ToneGenerator> tone;
    QAudioFormat format;
    // The open() that failed last; no new try until the next.
    std::uint64_t failedOpen = 0;
    double stalledSince = 0;
    // The tone has faded out for the output to close: it closes once the fade has been played.
    double closingSince = 0;
    std::vector<std::int16_t> mono16;
    std::vector<float> mono;
    QByteArray bytes;
};

class AudioThread final : public QThread {
public:
    std::atomic<bool> quitting{false};
    // When the current call into the sound system began; 0 between calls.
    std::atomic<double> busySince{0};

    void add(std::shared_ptr<ToneChannel> channel) {
        const std::lock_guard lock(m_mutex);
        m_channels.push_back(std::move(channel));
    }

protected:
    void run() override {
        std::map<ToneChannel*, Voice> voices;
        QTimer timer;
        timer.setTimerType(Qt::PreciseTimer);
        QObject::connect(&timer, &QTimer::timeout, [&] {
            busySince = platform::steadySeconds();
            const bool open = pump(voices);
            busySince = 0;
            if (quitting && !open) exit(0);
        });
        timer.start(kPumpMs);
        exec();
        for (auto& [channel, voice] : voices) closeNow(voice);
    }

private:
    // One round over the outputs; false when none is open any more.
    bool pump(std::map<ToneChannel*, Voice>& voices) {
        std::vector<std::shared_ptr<ToneChannel>> channels;
        {
            const std::lock_guard lock(m_mutex);
            channels = m_channels;
        }
        bool anyOpen = false;
        for (const auto& channel : channels) {
            Voice& voice = voices[channel.get()];
            const bool wanted = channel->wanted && !channel->released && !quitting;
            if (wanted && !voice.sink) {
                const std::uint64_t opens = channel->opens;
                if (voice.failedOpen != opens && !open(*channel, voice)) voice.failedOpen = opens;
            }
            if (voice.sink) {
                feed(*channel, voice, wanted);
                anyOpen = anyOpen || voice.sink != nullptr;
            }
            if (channel->released && !voice.sink) {
                voices.erase(channel.get());
                const std::lock_guard lock(m_mutex);
                std::erase(m_channels, channel);
            }
        }
        return anyOpen;
    }

    bool open(ToneChannel& channel, Voice& voice) {
        const QAudioDevice device = QMediaDevices::defaultAudioOutput();
        if (device.isNull()) {
            channel.fail("no sound output was found.");
            return false;
        }
        QAudioFormat format;
        const int preferred = device.preferredFormat().sampleRate();
        format.setSampleRate(preferred >= 8000 && preferred <= 192000 ? preferred : 48000);
        format.setChannelCount(1);
        format.setSampleFormat(QAudioFormat::Int16);
        if (!device.isFormatSupported(format)) format = device.preferredFormat();
        if (format.sampleRate() < 8000 || format.channelCount() < 1 ||
            (format.sampleFormat() != QAudioFormat::Int16 &&
             format.sampleFormat() != QAudioFormat::Float)) {
            channel.fail("the sound output \"" + device.description().toStdString() +
                         "\" offers no sample format the tone can use.");
            return false;
        }
        auto sink = std::make_unique<QAudioSink>(device, format);
        sink->setBufferSize(format.bytesForDuration(static_cast<qint64>(kBufferSeconds * 1e6)));
        QIODevice* io = sink->start();
        if (io == nullptr || sink->error() != QAudio::NoError) {
            channel.fail("the sound output \"" + device.description().toStdString() +
                         "\" could not be started.");
            return false;
        }
        voice.sink = std::move(sink);
        voice.io = io;
        voice.format = format;
        voice.tone.emplace(format.sampleRate());
        voice.stalledSince = 0;
        voice.closingSince = 0;
        return true;
    }

    void feed(ToneChannel& channel, Voice& voice, bool wanted) {
        const double now = platform::steadySeconds();
        ToneGenerator& tone = *voice.tone;
        tone.setVolume(channel.volume);
        const double hz = channel.hz;
        if (wanted && hz > 0 && now - channel.playedAt <= kStaleSeconds) {
            tone.play(hz);
            voice.closingSince = 0;
        } else {
            tone.silence();
        }
        if (!wanted && !tone.sounding()) {
            // Closed once the fade has had the time to leave the buffer.
            if (voice.closingSince == 0) voice.closingSince = now;
            if (now - voice.closingSince > 2 * kBufferSeconds) {
                closeNow(voice);
                return;
            }
        }

        const QAudio::Error error = voice.sink->error();
        if (error == QAudio::OpenError || error == QAudio::IOError || error == QAudio::FatalError) {
            channel.fail("the sound output stopped (" + errorText(error) + ").");
            closeNow(voice);
            voice.failedOpen = channel.opens;
            return;
        }
        const int frameBytes = voice.format.bytesPerFrame();
        const qint64 frames = voice.sink->bytesFree() / std::max(frameBytes, 1);
        if (frames <= 0) {
            if (voice.stalledSince == 0) voice.stalledSince = now;
            if (now - voice.stalledSince > kStallSeconds) {
                channel.fail("the sound output takes no sound (it has stalled).");
                closeNow(voice);
                voice.failedOpen = channel.opens;
            }
            return;
        }
        voice.stalledSince = 0;
        write(voice, static_cast<std::size_t>(frames));
    }

    static void write(Voice& voice, std::size_t frames) {
        const int channels = voice.format.channelCount();
        const bool asFloat = voice.format.sampleFormat() == QAudioFormat::Float;
        voice.bytes.resize(static_cast<qsizetype>(frames) * voice.format.bytesPerFrame());
        if (asFloat) {
            voice.mono.resize(frames);
            voice.tone->render(voice.mono);
            auto* out = reinterpret_cast<float*>(voice.bytes.data());
            for (std::size_t i = 0; i < frames; ++i)
                for (int c = 0; c < channels; ++c) *out++ = voice.mono[i];
        } else {
            voice.mono16.resize(frames);
            voice.tone->render(voice.mono16);
            auto* out = reinterpret_cast<std::int16_t*>(voice.bytes.data());
            for (std::size_t i = 0; i < frames; ++i)
                for (int c = 0; c < channels; ++c) *out++ = voice.mono16[i];
        }
        voice.io->write(voice.bytes);
    }

    static void closeNow(Voice& voice) {
        if (voice.sink) voice.sink->stop();
        voice.sink.reset();
        voice.io = nullptr;
        voice.tone.reset();
        voice.closingSince = 0;
    }

    static std::string errorText(QAudio::Error error) {
        switch (error) {
        case QAudio::OpenError:
            return "it could not be opened";
        case QAudio::IOError:
            return "it could not be written to";
        case QAudio::FatalError:
            return "the sound system is gone";
        default:
            return "an error";
        }
    }

    std::mutex m_mutex;
    std::vector<std::shared_ptr<ToneChannel>> m_channels;
};

// Created by the first output opened, on the window's thread; ended as the application ends.
AudioThread* g_audio = nullptr;
// Still stuck in the sound system at the end: kept, since deleting a running thread ends the
// program, and the program leaves without the sound library's clean-up.
std::atomic<bool> g_abandoned{false};

bool audioStuck() {
    const double since = g_audio ? g_audio->busySince.load() : 0.0;
    return since != 0 && platform::steadySeconds() - since > kStallSeconds;
}

void endAudioThread() {
    if (g_audio == nullptr) return;
    g_audio->quitting = true;
    if (!audioStuck() && g_audio->wait(QDeadlineTimer(kExitGraceMs))) {
        delete g_audio;
        g_audio = nullptr;
        return;
    }
    g_abandoned = true;
}

AudioThread& audioThread() {
    if (g_audio == nullptr) {
        g_audio = new AudioThread;
        g_audio->setObjectName(QStringLiteral("audio"));
        g_audio->start();
        qAddPostRoutine(endAudioThread);
    }
    return *g_audio;
}

} // namespace

ToneOutput::ToneOutput() : m_channel(std::make_shared<ToneChannel>()) {}

ToneOutput::~ToneOutput() {
    m_channel->wanted = false;
    m_channel->released = true;
}

void ToneOutput::open(double volume) {
    m_channel->volume = volume;
    if (m_channel->wanted) return;
    m_channel->hz = 0;
    ++m_channel->opens;
    m_channel->wanted = true;
    if (!m_registered) {
        audioThread().add(m_channel);
        m_registered = true;
    }
}

void ToneOutput::play(double hz) {
    m_channel->playedAt = platform::steadySeconds();
    m_channel->hz = hz;
}

void ToneOutput::silence() {
    m_channel->hz = 0;
}

void ToneOutput::close() {
    m_channel->hz = 0;
    m_channel->wanted = false;
}

bool ToneOutput::isOpen() const {
    return m_channel->wanted;
}

std::string ToneOutput::takeProblem() {
    if (m_registered && m_channel->wanted && audioStuck())
        m_channel->fail("the sound system does not answer.");
    const std::lock_guard lock(m_channel->mutex);
    if (m_channel->told || m_channel->problem.empty()) return {};
    m_channel->told = true;
    return m_channel->problem;
}

void leaveIfAudioStuck(int status) {
    if (!g_abandoned) return;
    std::fflush(nullptr);
    std::_Exit(status);
}

} // namespace sylvane::display
