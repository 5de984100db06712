#pragma once
// The main window. It holds the program's state under the names the rest of the program uses
// and wires the window's events (menu commands, label clicks, the serial receive event and the
// timer tick) to the rules in the core library. Its handlers live beside their subsystem:
//   app/          composition, start-up and shut-down
//   acquisition/  receive path, session control, timer supervision
//   display/      picture graph, bar graph and lamps, layout engine, Display toggles
//   storage/      saving and displaying sessions
//   dialogs/      the commands that open the dialogs
// State and controls are public so that the dialogs and the tests can reach them, as they reach
// the controls of any window.

#include "acquisition/session_clock.h"
#include "storage/working_files.h"

#include <QMainWindow>
#include <QPlainTextEdit>
#include <QString>

#include <array>
#include <cstdint>
#include <functional>
#include <memory>

class QAction;
class QFrame;
class QMenu;
class QTimer;

namespace sylvane::platform {
class Label;
class PictureBox;
} // namespace sylvane::platform

namespace sylvane::acquisition {
class SerialLink;
}

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

// Program-wide variables shared by the window and its dialogs.
struct Module1 {
    QString appPath;
    std::int32_t minADC = 0;
    std::int32_t maxADC = 0;
    std::int32_t lastMsgBoxResult = 0;
    std::int16_t displayFileCount = 0;
    std::array<QString, 6> displayTstFiles;
    std::array<QString, 6> displayHdrFiles;
    QString displayTstPath;
    QString displayHdrPath;
    std::uint32_t traceColor = 0;
    bool displayMode = false;
};

class frmSylvane : public QMainWindow {
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

    QString programFolder() const { return m_programFolder; }
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
    // Runs the close request (settings written); the program ends after it.
    void Form_QueryUnload();
    void Form_Unload();
    void mnuExit_Click();

    // ---- acquisition (acquisition/receive_path.cpp, session_control.cpp, timer_supervision.cpp)
    void OnComm();
    void ReadFrame();
    void ShowReadings();
    void mnuStart_Click();
    void mnuStop_Click();
    void mnuRestart_Click();
    void Timer1_Timer();
    void StepColorLevel();
    // Sets delayTicks and lets window events run until the timer has counted it down to 0.
    void WaitDelayTicks(std::int32_t ticks);
    // The device went away during a session: ends it through Stop with a message.
    void onDeviceLost(const QString& reason);

    // The reading filter, the first stage of GraphAndRecord: gate, window check, seeding, slew
    // limit, five-reading mean into smoothedADC, session extremes. False when the reading is
    // rejected (nothing may be drawn or recorded for it).
    bool FilterReading();
    // Records smoothedADC as record recordNumber of the working files, then advances
    // recordNumber and stepCount. A write the disk refuses ends the session with a message.
    void RecordReading();

    // ---- displays (display/*.cpp) ----
    void GraphAndRecord();
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

    // ---- saved sessions (storage/save_session.cpp, storage/display_sessions.cpp) ----
    void mnuSaveFile_Click();
    void mnuDisplayOld_Click();
    // Draws the sessions chosen in the file manager (module1.display*), entering display mode
    // if need be; the part of mnuDisplayOld_Click after the dialog.
    void ShowSavedSessions();
    void pixXYgraf_Click();
    void restoreSavedPanels();
    void ResumeNormalDisplay();

    // ---- dialogs (dialogs/dialog_commands.cpp) ----
    void mnuSetComPort_Click();
    void mnuSetSense_Click();
    void mnuAboutHelp_Click();
    void LblParams_Click(int index);
    // How the port dialog tries a port; empty means the real serial ports (tests stub it).
    std::function<int(int port)> portProber;

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
    QAction* mnuPixGraf = nullptr;
    QAction* mnuBarGrf = nullptr;
    QAction* mnuSmlGraf = nullptr;
    QAction* mnuInternStatus = nullptr;
    QAction* mnuComments = nullptr;
    QAction* mnuTimnStuf = nullptr;
    QAction* mnuSetComPort = nullptr;
    QAction* mnuAboutHelp = nullptr;

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

    QTimer* Timer1 = nullptr;
    acquisition::SerialLink* MSComm1 = nullptr;

    // ---- program-wide variables ----
    Module1 module1;

    // ---- serial link and frame decoder ----
    std::int32_t rawADC = 0;
    std::int32_t probeStatus = 0;
    bool frameReady = false;
    bool awaitingStartValue = false;
    std::int32_t stableCandidate = 0;
    std::int32_t stableCount = 0;
    std::int32_t silenceTicks = 0;

    // ---- reading filter ----
    std::array<std::int32_t, 6> adcWindow{};
    std::int32_t smoothedADC = 0;

    // ---- readouts, timer and session clock ----
    float targetColorLevel = 0;
    float sessionStartTime = 0;
    float colorLevel = 0;
    std::int32_t delayTicks = 0;

    // ---- picture graph ----
    std::int32_t graphBaseADC = 0;
    std::int32_t graphSensitivity = 0;
    float graphYScale = 0;
    float graphBottomOhms = 0;
    std::int32_t recordNumber = 0;
    std::int32_t readingsPerStep = 0;
    bool graphRedrawNeeded = false;
    float stepSum = 0;
    std::int32_t stepCount = 0;
    // Something was left undrawn while the picture was too small: redraw once it is big enough.
    bool graphDrawSkipped = false;

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

    // The working session files (tempdata.tst, .txt, .hdr), open while a session runs.
    storage::WorkingFiles workingFiles;

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    void composeMenus();
    void composePanels();
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
    // Start could not open the port or the working files: back to the stopped state, then say so.
    void showStoppedControls();
    void abandonStart(const QString& prompt, const QString& title);
    bool m_sessionEnding = false;
    bool m_arrangingPanels = false;
    acquisition::MidnightCount m_midnights;

    QString m_programFolder;
    std::function<double()> m_clock;
    bool m_exitRequested = false;
    bool m_queryUnloadDone = false;
    // The settings file was there but could not be read: the close leaves it alone.
    bool m_settingsUnreadable = false;
};

} // namespace sylvane::app
