#pragma once
// The biofeedback tone on the system's default sound output (Qt Multimedia's QAudioSink). Every
// call into the sound system runs on the program's one audio thread: the window only hands over a
// pitch, the volume and whether the output is wanted, through atomics, and never waits on the
// audio side. A missing or silent sound device, a sound server that goes away, a sink that
// stalls or a call into the sound system that does not come back is told once through
// takeProblem(), and the session goes on exactly as without the tone.

#include <memory>
#include <string>

namespace sylvane::display {

struct ToneChannel;

class ToneOutput {
public:
    ToneOutput();
    // Fades the tone out and lets the output go, without waiting for the audio thread.
    ~ToneOutput();
    ToneOutput(const ToneOutput&) = delete;
    ToneOutput& operator=(const ToneOutput&) = delete;

    // The output wanted at this volume (0..100), silent until play(). After a failure each open
    // tries the sound system again.
    void open(double volume);
    // The pitch to glide to. Without a new pitch for more than a second the tone fades out, so
    // that a receive path that has gone quiet is never left sounding.
    void play(double hz);
    // Fades out; the output stays open.
    void silence();
    // Fades out and closes the output.
    void close();
    bool isOpen() const;

    // Why the tone cannot be heard, once for this output: "" when all is well or it was said.
    std::string takeProblem();

private:
    std::shared_ptr<ToneChannel> m_channel;
    bool m_registered = false;
};

// Ends the program at once with this status when the audio thread was still stuck in the sound
// system as the program closed; returns otherwise. Called after the window and the application
// are gone: the sound library's own clean-up would wait for the stuck thread for ever.
void leaveIfAudioStuck(int status);

} // namespace sylvane::display
