// The biofeedback tone. Session > Tone (remembered in sylvane-extra.ini as Tone=1 or Tone=0) plays,
// while a session runs, a soft tone whose pitch follows the logarithm of the smoothed
// conductance: ToneBaseHz at the conductance of the session's reference reading, and
// ToneOctavesPerDoubling octaves higher for each doubling of it. It is silent until the reference
// has latched, while the probe reports an error or invalid readings, while the program waits for
// a lost probe port, and without a reading for a second; Stop, Restart and the end of a session
// fade it out. The settings are read again at each Start. The sound itself is made on the audio
// thread (display/tone_output.h): this file only hands it pitches, so nothing of the sound
// system can hold up the readings or their recording.

#include "acquisition/frame_decoder.h"
#include "app/frm_sylvane.h"
#include "display/tone_generator.h"
#include "display/tone_output.h"
#include "platform/message_box.h"
#include "platform/number_rules.h"
#include "storage/extra_settings.h"

#include <QAction>
#include <QTimer>

namespace sylvane::app {

namespace {

// Conductance in siemens of an ADC value as the readouts convert it; 0 for none.
double conductanceOf(double adc) {
    if (adc < 1 || adc > 4094) return 0;
    const double ohms = platform::resistanceOfAdc(adc);
    return ohms > 0 ? 1.0 / ohms : 0.0;
}

// A message box once the handler that has something to say has returned.
void sayLater(QObject* context, const QString& prompt, const QString& title) {
    QTimer::singleShot(0, context, [prompt, title] {
        platform::MsgBox(prompt, platform::vbOKOnly | platform::vbExclamation, title);
    });
}

} // namespace

class frmSylvane::Tone final : public acquisition::ReadingFollower {
public:
    explicit Tone(frmSylvane& w) : m_w(w) {}

    bool on = false;
    display::ToneOutput output;

    // The settings of sylvane-extra.ini and the output opened; problems with the settings are
    // said once the handler that asked has returned.
    void open() {
        const std::string text = storage::extraSettingsText(m_w.m_programFolder.toStdString());
        const storage::ToneSetting base = storage::toneBaseHzOf(text);
        const storage::ToneSetting octaves = storage::toneOctavesPerDoublingOf(text);
        const storage::ToneSetting volume = storage::toneVolumeOf(text);
        m_baseHz = base.value;
        m_octaves = octaves.value;
        output.silence();
        output.open(volume.value);
        QString problems;
        for (const auto* s : {&base, &octaves, &volume})
            if (!s->problem.empty())
                problems += (problems.isEmpty() ? QString() : QStringLiteral("\r\n")) +
                            QString::fromStdString(s->problem);
        if (!problems.isEmpty()) sayLater(&m_w, problems, QStringLiteral("Settings error"));
    }

    void sessionStarted(float) override {
        if (on) open();
    }

    void readingRecorded(std::int32_t, std::int32_t value, double) override {
        if (!on || !output.isOpen()) return;
        const std::optional<double> hz =
            probeSound() ? display::tonePitchHz(
                               conductanceOf(value),
                               conductanceOf(platform::numericValue(m_w.engine.referenceCaption())),
                               m_baseHz, m_octaves)
                         : std::nullopt;
        if (hz) {
            output.play(*hz);
        } else {
            output.silence();
        }
    }

    void sessionStopped() override { output.close(); }

    // Each tick of Timer1: the tone follows the probe's state between readings, and a problem
    // of the sound output is said once.
    void tick() {
        if (output.isOpen()) {
            if (!m_w.sessionRunning()) {
                output.close();
            } else if (!probeSound() || m_w.waitingForProbe()) {
                output.silence();
            }
        }
        const std::string problem = output.takeProblem();
        if (!problem.empty())
            sayLater(&m_w, QString::fromStdString(problem), QStringLiteral("Tone"));
    }

private:
    // A probe that reports an error or invalid readings is not to be heard.
    bool probeSound() const {
        const std::int32_t status = m_w.engine.state().probeStatus;
        return (status & acquisition::kProbeError) == 0 &&
               (status & acquisition::kReadingsValid) != 0;
    }

    frmSylvane& m_w;
    double m_baseHz = storage::kDefaultToneBaseHz;
    double m_octaves = storage::kDefaultToneOctaves;
};

void frmSylvane::ToneDeleter::operator()(Tone* tone) const {
    delete tone;
}

void frmSylvane::composeTone() {
    m_tone.reset(new Tone(*this));
    m_tone->on = storage::toneOnOf(storage::extraSettingsText(m_programFolder.toStdString()));
    mnuTone->setChecked(m_tone->on);
    connect(mnuTone, &QAction::triggered, this, [this] { mnuTone_Click(); });
    connect(Timer1, &QTimer::timeout, this, [this] { m_tone->tick(); });
    engine.addFollower(m_tone.get());
}

void frmSylvane::mnuTone_Click() {
    m_tone->on = mnuTone->isChecked();
    const std::string folder = m_programFolder.toStdString();
    std::string error;
    if (!storage::writeExtraSettingsText(
            folder,
            storage::withExtraSetting(storage::extraSettingsText(folder), storage::kToneKey,
                                      m_tone->on ? "1" : "0"),
            &error)) {
        sayLater(this,
                 QStringLiteral("Session > Tone could not be remembered:\r\n") +
                     QString::fromStdString(error),
                 QStringLiteral("Settings error"));
    }
    if (!m_tone->on) {
        m_tone->output.close();
    } else if (sessionRunning()) {
        m_tone->open();
    }
}

} // namespace sylvane::app
