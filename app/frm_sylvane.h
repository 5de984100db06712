#pragma once
// The main window. It keeps the controls and the handlers of the window's events (menu
// commands, label clicks, the serial receive event and the timer tick) and forwards the
// session's events to the session engine of the core library, showing what the engine decides.
// Its handlers live in app/, one file a subsystem:
//   frm_sylvane.cpp, main_window_composition.cpp, startup_shutdown.cpp   the window itself
//   window_acquisition.cpp   receive event, Start, Stop, Restart, timer tick, what a session shows
//   window_graph.cpp         the picture graph's drawing surface
//   window_layout.cpp        bar graph and lamps, panel layout, Display toggles
//   window_saved_sessions.cpp  saving and displaying sessions
//   window_dialogs.cpp       the commands that open the dialogs
//   window_markers.cpp       event markers: Session > Mark, its input box, saved markers drawn
//   window_reconnect.cpp     waiting for a lost probe port to come back
//   window_export.cpp        export as CSV and EDF+, the skin responses: count and export
//   window_osc.cpp           stimulus software over OSC, File > Preferences...
//   window_tone.cpp          the biofeedback tone: Session > Tone
// State and controls are public so that the tests can reach them, as they reach the controls of
// any window; the dialogs get the labels they work on, or the file manager's small interface.

#include "acquisition/osc_packets.h"
#include "acquisition/response_counter.h"
#include "acquisition/session_engine.h"
#include "acquisition/session_markers.h"
#include "acquisition/session_times_recorder.h"
#include "dialogs/file_manager_host.h"
#include "storage/extra_settings.h"
#include "storage/working_files.h"

#include <QDeadlineTimer>
#include <QDialog>
#include <QMainWindow>
#include <QPlainTextEdit>
#include <QPointer>
#include <QRect>
#include <QString>
#include <QTimer>

#include <array>
#include <cstdint>
#include <functional>
#include <memory>

class QAction;
class QFrame;
class QMenu;

namespace sylvane::platform {
class Label;
class PictureBox;
} // namespace sylvane::platform

namespace sylvane::acquisition {
class OscLink;
class SerialLink;
} // namespace sylvane::acquisition

namespace sylvane::app {

using platform::Label;
using platform::PictureBox;

// The session comments box: Text and Locked as the rules use them.
class CommentsBox : public QPlainTextEdit {
    Q_OBJECT
public:
    explicit CommentsBox(const QString& controlName, QWidget* parent = nullptr);
    QString Text() const { return toPlainText(); }
    void setText(const QString& text) { setPlainText(text); }
    bool Locked() const { return isReadOnly(); }
    void setLocked(bool locked) { setReadOnly(locked); }
};

// Program-wide variables shared by the window and its dialogs; those of the file manager
// (appPath, lastMsgBoxResult, display*) come from it.
struct Module1 : dialogs::FileManagerVariables {
    std::int32_t minADC = 0;
    std::int32_t maxADC = 0;
    std::uint32_t traceColor = 0;
    bool displayMode = false;
};

class frmSylvane : public QMainWindow, public dialogs::FileManagerHost {
    Q_OBJECT
public:
    struct Options {
        // Where sylvane.ini, the working files and the ports/comN links live.
        QString programFolder;
        // Seconds since midnight; tests replace it to cross midnight.
        std::function<double()> clock;
    };

    explicit frmSylvane(Options options);
    ~frmSylvane() override;

    QString programFolder() const override { return m_programFolder; }
    // True once Exit has run (start-up may end the program before the window is shown).
    bool exitRequested() const { return m_exitRequested; }

    // ---- window geometry in twips (outer size and place) and display state ----
    double Width() const;
    double Height() const;
    double Left() const;
    double Top() const;
    void setWidth(double twips);
    void setHeight(double twips);
    void setLeft(double twips);
    void setTop(double twips);
    // 0 normal, 1 minimized, 2 maximized.
    int WindowState() const;

    // ---- start-up and shut-down (app/startup_shutdown.cpp) ----
    void Form_Load();
    // The rest of the load, which the window's first paint does not wait for: the last
    // session's working files cleared or recovered (a message when one is kept), and
    // sylvane-extra.ini read. Runs once, just after the first paint, or first thing in any
    // command that reads or moves the working files, whichever comes first.
    void completeLoad();
    // Runs the close request (settings written); the program ends after it.
    void Form_QueryUnload();
    void Form_Unload();
    void mnuExit_Click();

    // ---- acquisition (app/window_acquisition.cpp) ----
    void OnComm();
    void mnuStart_Click();
    void mnuStop_Click();
    void mnuRestart_Click();
    void Timer1_Timer();
    // Sets delayTicks and lets window events run until the timer has counted it down to 0.
    void WaitDelayTicks(std::int32_t ticks);
    // The device went away during a session: ends it through Stop with a message.
    void onDeviceLost(const QString& reason);

    // ---- markers and reconnect (app/window_markers.cpp, app/window_reconnect.cpp) ----
    // Session > Mark (the M key, a Ctrl+click on the graph): opens the small marker box for a
    // marker at the current reading; acquisition goes on while it is open. OK or Enter adds the
    // marker with the text typed, Cancel or Escape drops it; Stop adds it as it stands.
    void mnuMark_Click();
    // The open marker box ("frmMarker"), if any.
    QDialog* markerBox() const { return m_markerBox; }
    // Draws the markers of a saved session beside its .Hdr in its trace's colour.
    void DrawSavedMarkers(const QString& hdrPath, std::int64_t records, std::uint32_t color);
    // A session whose probe port was lost waits this long (sylvane-extra.ini) for it to come
    // back before it ends; while it waits, this is true.
    bool waitingForProbe() const { return m_probeWait.isActive(); }

    // ---- the biofeedback tone (app/window_tone.cpp) ----
    // Session > Tone: the tone on or off, remembered in sylvane-extra.ini.
    void mnuTone_Click();

    // ---- displays (app/window_graph.cpp, app/window_layout.cpp) ----
    // The picture graph as the saved-session display draws on it (the live graph is the
    // engine's): a resistance at step x in a colour, on the scale of graphBottomOhms and
    // graphYScale; the dotted grid, white while saved sessions are on show.
    std::int32_t PlotGraphPoint(std::int32_t x, float ohms, std::uint32_t color);
    void DrawGraphGrid();
    void DisplayInit();
    void DisplayUpdate();
    void ArrangePanels();
    void ChoosePanelFont();
    void mnuPixGraf_Click();
    void mnuBarGrf_Click();
    void mnuSmlGraf_Click();
    void mnuInternStatus_Click();
    void mnuComments_Click();
    void mnuTimnStuf_Click();

    // ---- saved sessions (app/window_saved_sessions.cpp) ----
    void mnuSaveFile_Click();
    void mnuDisplayOld_Click();
    // Draws the sessions chosen in the file manager (module1.display*), entering display mode
    // if need be; the part of mnuDisplayOld_Click after the dialog.
    void ShowSavedSessions();
    void pixXYgraf_Click();
    void restoreSavedPanels();
    void ResumeNormalDisplay();
    // What the file manager asks of the window.
    dialogs::FileManagerVariables& fileManagerVariables() override { return module1; }
    QString sessionComments() const override;
    void setSessionComments(const QString& text) override;
    const storage::SessionHeader* unwrittenHeader() const override;

    // ---- dialogs (app/window_dialogs.cpp) ----
    void mnuSetComPort_Click();
    void mnuSetSense_Click();
    void mnuAboutHelp_Click();
    void LblParams_Click(int index);
    // How the port dialog tries a port; empty means the real serial ports (tests stub it).
    std::function<int(int port)> portProber;

    // ---- export and skin responses (app/window_export.cpp) ----
    void mnuExportCsv_Click();
    void mnuExportEdf_Click();
    void mnuExportResponses_Click();
    // Asks where to export (caption, suggested path, filter); "" when cancelled. Empty means
    // the standard file dialog (tests answer instead).
    std::function<QString(const QString&, const QString&, const QString&)> exportFileChooser;

    // ---- stimulus software and preferences (app/window_osc.cpp) ----
    // File > Preferences...: the settings of sylvane-extra.ini.
    void mnuPreferences_Click();
    // What the OSC link has done: markers taken and refused, packets sent and dropped.
    QString oscStatus() const;

    // ---- controls ----
    QMenu* mnuFile = nullptr;
    QMenu* mnuSession = nullptr;
    QMenu* mnuDisplay = nullptr;
    QMenu* mnuSerlPort = nullptr;
    QMenu* mnuHelp = nullptr;
    QAction* mnuSaveFile = nullptr;
    QAction* mnuDisplayOld = nullptr;
    QAction* mnuSep1 = nullptr;
    QAction* mnuExit = nullptr;
    QAction* mnuRestart = nullptr;
    QAction* mnuStart = nullptr;
    QAction* mnuStop = nullptr;
    QAction* mnuSep2 = nullptr;
    QAction* mnuSetSense = nullptr;
    QAction* mnuMark = nullptr;
    QAction* mnuTone = nullptr;
    QAction* mnuPixGraf = nullptr;
    QAction* mnuBarGrf = nullptr;
    QAction* mnuSmlGraf = nullptr;
    QAction* mnuInternStatus = nullptr;
    QAction* mnuComments = nullptr;
    QAction* mnuTimnStuf = nullptr;
    QAction* mnuSetComPort = nullptr;
    QAction* mnuAboutHelp = nullptr;
    QAction* mnuSep3 = nullptr;
    QAction* mnuExportCsv = nullptr;
    QAction* mnuExportEdf = nullptr;
    QAction* mnuExportResponses = nullptr;
    QAction* mnuPreferences = nullptr;

    QFrame* frmPixGraf = nullptr;
    QFrame* frameLEDdisp = nullptr;
    QFrame* frameBarGraf = nullptr;
    QFrame* frameSesshnStuff = nullptr;
    QFrame* fraSeshnComnts = nullptr;
    QFrame* FrameParams = nullptr;

    PictureBox* pixXYgraf = nullptr;
    Label* lblGrafError = nullptr;
    std::array<Label*, 10> lbl4Graf{};
    std::array<Label*, 8> lblLED{};
    std::array<Label*, 32> lblBarGraf{};
    std::array<Label*, 10> LblShnStf{};
    Label* lblSysADCstart = nullptr;
    CommentsBox* TxtSeshnComnts = nullptr;
    std::array<Label*, 7> LblParams{};
    // The skin-response count in frameSesshnStuff: 0 heading, 1 value.
    std::array<Label*, 2> lblResponses{};

    QTimer* Timer1 = nullptr;
    acquisition::SerialLink* MSComm1 = nullptr;
    // Markers from stimulus software, and the session's packets to a listener (OSC over UDP).
    acquisition::OscLink* oscLink = nullptr;

    // ---- program-wide variables ----
    Module1 module1;

    // ---- timer countdown of the dialogs and the saved-session display ----
    std::int32_t delayTicks = 0;

    // ---- layout and settings ----
    bool layoutPending = false;
    std::uint8_t layoutReason = 0;
    std::int32_t panelUnits = 0;
    std::int32_t formWidthSet = 0;
    std::int32_t formHeightSet = 0;
    std::int32_t formLeftSet = 0;
    std::int32_t formTopSet = 0;
    QString iniPort;
    QString iniSensitivity;
    QString iniPixGrafVisible;
    QString iniColorGrafVisible;
    QString iniBarGrafVisible;
    QString iniInternStatusVisible;
    QString iniCommentsVisible;
    QString iniTimeVisible;
    QFont panelFont;

    // ---- saved-session display ----
    float savedFormHeight = 0;
    float savedFormWidth = 0;
    // The size above was taken on entry (the window was neither minimized nor maximized then).
    bool savedFormSizeSet = false;
    std::array<bool, 6> savedPanelState{};
    // The working session's comments, given back at Resume so that a later Save keeps them.
    QString savedComments;

private:
    class View;
    class Canvas;
    std::unique_ptr<View> m_view;
    std::unique_ptr<Canvas> m_canvas;

public:
    // The working session files (tempdata.tst, .txt, .hdr), open while a session runs.
    storage::WorkingFiles workingFiles;
    // The session: its state and the order of its events.
    acquisition::SessionEngine engine;
    // The session's event markers (tempdata.mrk).
    acquisition::SessionMarkers markers;
    // The response threshold of sylvane-extra.ini for the live count, read at start (completeLoad;
    // the exports read the file again).
    double responseThreshold = storage::kDefaultResponseThreshold;
    // Followers of the session: the skin-response count and the session's times (tempdata.tim).
    acquisition::ResponseCounter responseCounter;
    acquisition::SessionTimesRecorder sessionTimes{workingFiles};
    // Sends each recorded reading, Start and Stop through oscLink while OscSendTo is set.
    acquisition::OscReadingFollower oscReadings;

private:
    // The biofeedback tone: a follower of the session and the sound output.
    class Tone;
    struct ToneDeleter {
        void operator()(Tone* tone) const;
    };
    std::unique_ptr<Tone, ToneDeleter> m_tone;

protected:
    void closeEvent(QCloseEvent* event) override;
    void paintEvent(QPaintEvent* event) override;

private:
    void composeMenus();
    void composePanels();
    void composeExport();
    void composeOsc();
    void composeTone();
    enum class ExportKind { Csv, Edf, Responses };
    void exportSessions(ExportKind kind);
    void connectEvents();
    // Seconds since midnight as a 32-bit float.
    float clockSeconds() const;

    // ---- acquisition ----
    // A session is running exactly while Start is disabled.
    bool sessionRunning() const;
    // Ends the running session through Stop after telling the user why. Only one such ending
    // runs at a time, however many ticks and receive events come while its message is open.
    void endSessionWithMessage(const QString& prompt, int style, const QString& title,
                               bool closePortFirst);
    // The Session menu and the port label as they are while no session runs.
    void showStoppedControls();
    // Start over a session that was never saved moves it into unsaved/ first; false, with
    // *error, when it cannot (then nothing starts and nothing is lost).
    bool keepUnsavedSession(std::string* error);
    // Start could not open the port or the working files: back to the stopped state, then say so.
    void abandonStart(const QString& prompt, const QString& title);
    bool openPortForStart();
    bool m_sessionEnding = false;
    // The port was lost: ends the session through Stop with the message that says why.
    void endSessionForLostPort(const QString& reason);

    // ---- markers and reconnect ----
    bool addMarker(storage::Marker marker);
    // Stop and Restart: a marker box still open adds its marker.
    void closeMarkerBox();
    // Starts waiting for the lost port; false when the session is to end at once.
    bool waitForProbe(const QString& reason);
    void pollProbe();
    void stopWaitingForProbe();
    QPointer<QDialog> m_markerBox;
    QTimer m_probeWait;
    QDeadlineTimer m_probeDeadline;
    QString m_probeLostReason;
    QRect m_noticeGeometry;
    bool m_arrangingPanels = false;

    // ---- stimulus software (OSC) ----
    // Start: the OSC settings and the response threshold of sylvane-extra.ini as they are now;
    // what was wrong with them is told once the session runs.
    void applyExtraSettingsAtStart();
    void applyOscSettings(const std::string& fileText);
    void tellExtraSettingsProblems();
    // A marker from stimulus software: made as Session > Mark makes one, while a session runs.
    bool takeOscMarker(const std::string& text);
    QString m_extraSettingsProblems;
    bool m_oscMarkerErrorTold = false;

    QString m_programFolder;
    std::function<double()> m_clock;
    bool m_exitRequested = false;
    bool m_queryUnloadDone = false;
    // Form_Load has left completeLoad() to run.
    bool m_loadPending = false;
    // The settings file was there but could not be read: the close leaves it alone.
    bool m_settingsUnreadable = false;
};

} // namespace sylvane::app
