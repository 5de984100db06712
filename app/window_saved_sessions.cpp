// Saved sessions. File > Save session keeps the last recorded session under a name of the
// user's choice. File > Display saved session draws up to six saved sessions together on the
// picture graph in their colours, on one resistance scale and one time axis, with their comments
// listed. While they are on show the window is in display mode: enlarged, only the graph and the
// comments shown, the Session, Display and Serial Port menus hidden, and Save session reads
// "Resume normal display".

#include "app/frm_sylvane.h"
#include "dialogs/frm_file_manager.h"
#include "display/graph_math.h"
#include "display/trace_replay.h"
#include "platform/label.h"
#include "platform/message_box.h"
#include "platform/picture_box.h"
#include "platform/twips.h"
#include "storage/reading_times.h"
#include "storage/saved_sessions.h"
#include "storage/session_export.h"

#include <QAction>
#include <QDir>
#include <QFileInfo>
#include <QMenu>
#include <QPushButton>

#include <vector>

namespace sylvane::app {

namespace {

const QString kDisplayAnother = QStringLiteral("Display another session");
const QString kResumeNormal = QStringLiteral("Resume normal display");

void showProblem(frmSylvane& w, const std::string& problem) {
    w.module1.lastMsgBoxResult = platform::MsgBox(QString::fromStdString(problem),
                                                  platform::vbOKOnly | platform::vbExclamation,
                                                  QString::fromLatin1(dialogs::kAccessErrorTitle));
}

} // namespace

QString frmSylvane::sessionComments() const {
    return TxtSeshnComnts->Text();
}

void frmSylvane::setSessionComments(const QString& text) {
    TxtSeshnComnts->setText(text);
}

const storage::SessionHeader* frmSylvane::unwrittenHeader() const {
    const auto& header = workingFiles.unwrittenHeader();
    return header ? &*header : nullptr;
}

void frmSylvane::mnuSaveFile_Click() {
    completeLoad();
    if (mnuSaveFile->text() == QStringLiteral("Resume normal display")) {
        ResumeNormalDisplay();
        return;
    }
    const QFileInfo readings(
        QDir(programFolder()).filePath(QString::fromLatin1(storage::kWorkingTst)));
    if (!readings.isFile() || readings.size() == 0) {
        platform::MsgBox(QStringLiteral("There is no session data to save!"));
        return;
    }
    dialogs::frmFileManager dialog(*this, this);
    dialog.cmdFileOption->setText(QStringLiteral("Save"));
    dialog.setCaption(QStringLiteral("Save session file"));
    dialog.setWidth(4185);
    dialog.cmdAdd2List->setVisible(false);
    dialog.exec();
}

void frmSylvane::mnuDisplayOld_Click() {
    completeLoad();
    {
        dialogs::frmFileManager dialog(*this, this);
        dialog.cmdFileOption->setText(QStringLiteral("Display"));
        dialog.setCaption(QStringLiteral("Display saved session file"));
        dialog.setWidth(6735);
        dialog.cmdAdd2List->setVisible(true);
        dialog.exec();
    }
    if (module1.displayFileCount < 1) {
        if (module1.displayMode) ResumeNormalDisplay();
        return;
    }
    ShowSavedSessions();
}

void frmSylvane::ShowSavedSessions() {
    // Every chosen session is read before anything changes, so a choice of which nothing can be
    // drawn leaves the window as it was.
    std::vector<storage::SessionChoice> chosen;
    const int count = std::min<int>(module1.displayFileCount, 6);
    for (int k = 0; k < count; ++k) {
        chosen.push_back({module1.displayTstFiles[static_cast<std::size_t>(k)].toStdString(),
                          module1.displayHdrFiles[static_cast<std::size_t>(k)].toStdString()});
    }
    const storage::DisplayPlan plan = storage::planSavedDisplay(chosen);
    for (const std::string& problem : plan.problems) showProblem(*this, problem);
    if (plan.sessions.empty()) return;

    if (mnuDisplayOld->text() != kDisplayAnother) {
        mnuDisplayOld->setText(kDisplayAnother);
        mnuSaveFile->setText(kResumeNormal);
        TxtSeshnComnts->setLocked(true);
        savedComments = TxtSeshnComnts->Text();
        savedFormSizeSet = WindowState() == 0;
        if (savedFormSizeSet) {
            savedFormHeight = static_cast<float>(Height());
            savedFormWidth = static_cast<float>(Width());
            setWidth(platform::screenWidthTwips() * 0.9);
            setHeight(platform::screenHeightTwips() * 0.9);
        }
        // Record each panel's state, then show only the graph and the comments.
        const struct {
            QAction* item;
            std::size_t slot;
            bool wanted;
            void (frmSylvane::*toggle)();
        } panels[] = {
            {mnuBarGrf, 3, false, &frmSylvane::mnuBarGrf_Click},
            {mnuPixGraf, 2, true, &frmSylvane::mnuPixGraf_Click},
            {mnuSmlGraf, 1, false, &frmSylvane::mnuSmlGraf_Click},
            {mnuInternStatus, 0, false, &frmSylvane::mnuInternStatus_Click},
            {mnuComments, 4, true, &frmSylvane::mnuComments_Click},
            {mnuTimnStuf, 5, false, &frmSylvane::mnuTimnStuf_Click},
        };
        for (const auto& p : panels) {
            savedPanelState[p.slot] = p.item->isChecked();
            if (p.item->isChecked() != p.wanted) (this->*p.toggle)();
        }
        mnuSession->menuAction()->setVisible(false);
        mnuDisplay->menuAction()->setVisible(false);
        mnuSerlPort->menuAction()->setVisible(false);
        module1.displayMode = true;
        // Two ticks let the panels settle on the new window size before drawing.
        WaitDelayTicks(2);
        QFont commentsFont = TxtSeshnComnts->font();
        commentsFont.setPointSizeF(8);
        TxtSeshnComnts->setFont(commentsFont);
    }

    module1.minADC = plan.minADC;
    module1.maxADC = plan.maxADC;
    pixXYgraf->Cls();
    DrawGraphGrid();
    TxtSeshnComnts->setText(QString::fromStdString(storage::displayedComments(plan)));

    const float width = pixXYgraf->ScaleWidth();
    const float height = pixXYgraf->ScaleHeight();
    const storage::CommonScale scale =
        storage::commonScale(plan.minADC, plan.maxADC, plan.longestBytes, width, height);
    // The display draws with the graph's own scale variables; a later live session recomputes
    // them.
    acquisition::SessionState& graph = engine.state();
    graph.graphBottomOhms = scale.bottomOhms;
    graph.graphYScale = scale.yScale;
    graph.readingsPerStep = scale.readingsPerStep;
    const std::int32_t readingsPerStep = scale.readingsPerStep;
    const auto texts =
        display::axisLabelTexts(scale.bottomOhms, scale.topOhms, width, readingsPerStep, false);
    for (std::size_t i = 0; i < texts.size(); ++i) {
        lbl4Graf[i]->setCaption(QString::fromStdString(texts[i]));
    }

    for (const storage::DisplayPlan::Session& session : plan.sessions) {
        module1.traceColor = storage::kTraceColors[session.position];
        graph.stepSum = 0;
        bool first = true;
        // Where the session's own times show a gap (the probe was away), the trace starts a new
        // piece, as the live graph does.
        std::vector<std::int32_t> pieces;
        const auto records = static_cast<std::size_t>(session.info.tstBytes / 4);
        for (const std::int64_t r : storage::recordsAfterGaps(storage::readTimesFile(
                 storage::ExportSource::saved(session.tst, chosen[session.position].hdr).tms,
                 records)))
            pieces.push_back(acquisition::stepOfRecord(r, readingsPerStep));
        const display::ReplayResult replay = display::replayTrace(
            session.tst, display::kAllRecords, readingsPerStep,
            [this, &graph, &first, &pieces, width, height](std::int32_t step, float ohms) {
                // A trace whose first step had no valid reading still starts on its own
                // first point, not with a line from the end of the previous trace.
                const bool newPiece =
                    (first && step != 1) || std::ranges::binary_search(pieces, step);
                if (newPiece && !display::pictureTooSmall(width, height)) {
                    pixXYgraf->PSet(static_cast<float>(display::wrapX(step, width)),
                                    static_cast<float>(display::plotY(ohms, graph.graphBottomOhms,
                                                                      graph.graphYScale, height)),
                                    module1.traceColor);
                }
                first = false;
                PlotGraphPoint(step, ohms, module1.traceColor);
            });
        if (!replay.readOk) {
            showProblem(*this, "The readings could not all be read: " + session.tst.string() +
                                   "\r\nThe trace of " + session.info.name + " may be incomplete.");
        }
        DrawSavedMarkers(QString::fromStdString(chosen[session.position].hdr.string()),
                         session.info.tstBytes / 4, module1.traceColor);
    }
}

void frmSylvane::pixXYgraf_Click() {
    if (mnuDisplayOld->text() == kDisplayAnother) mnuDisplayOld_Click();
}

// Shows again the panels that were on show before the saved-session display, which showed only
// the graph and the comments. savedPanelState: 0 InternStatus, 1 SmlGraf, 2 PixGraf, 3 BarGrf,
// 4 Comments, 5 TimnStuf.
void frmSylvane::restoreSavedPanels() {
    if (savedPanelState[3]) mnuBarGrf_Click();
    if (!savedPanelState[2]) mnuPixGraf_Click();
    if (savedPanelState[1]) mnuSmlGraf_Click();
    if (savedPanelState[0]) mnuInternStatus_Click();
    if (savedPanelState[5]) mnuTimnStuf_Click();
    if (!savedPanelState[4]) mnuComments_Click();
}

void frmSylvane::ResumeNormalDisplay() {
    pixXYgraf->Cls();
    mnuDisplayOld->setText(QStringLiteral("Display saved session"));
    mnuSaveFile->setText(QStringLiteral("Save session"));
    if (savedFormSizeSet && WindowState() == 0) {
        setHeight(savedFormHeight);
        setWidth(savedFormWidth);
    }
    mnuSession->menuAction()->setVisible(true);
    mnuDisplay->menuAction()->setVisible(true);
    mnuSerlPort->menuAction()->setVisible(true);
    restoreSavedPanels();
    module1.displayMode = false;
    TxtSeshnComnts->setText(savedComments);
    TxtSeshnComnts->setLocked(false);
    for (Label* label : lbl4Graf) label->setCaption(QString());
}

} // namespace sylvane::app
