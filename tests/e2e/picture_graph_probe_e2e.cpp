// The picture graph of a live session through the whole program: the probe simulator on a
// pseudo-terminal, the serial link, the receive path, the filter and the graph.
//
// A screenshot of a live session on a virtual display:
//   xvfb-run -a -s "-screen 0 1280x1024x24" env QT_QPA_PLATFORM=xcb
//       SYLVANE_SCREENSHOT=/tmp/live-graph.png build/tests/picture_graph_probe_e2e
// (one command line)
// (the window alone goes to that file, the whole virtual screen to live-graph-screen.png).

#include "app/frm_sylvane.h"
#include "platform/label.h"
#include "platform/picture_box.h"
#include "tests/support/gtest_qt_main.h"
#include "tests/support/probe_sim_process.h"
#include "tests/support/test_support.h"

#include <QAction>
#include <QEvent>
#include <QFile>
#include <QGuiApplication>
#include <QPixmap>
#include <QScreen>

#include <memory>

using sylvane::app::frmSylvane;
using sylvane::testing::MessageRecorder;
using sylvane::testing::ProbeSimProcess;
using sylvane::testing::ProgramFolder;
using sylvane::testing::waitUntil;

namespace {

const QRgb kWhite = qRgb(255, 255, 255);
const QRgb kMagenta = qRgb(255, 0, 255);
const QRgb kBlack = qRgb(0, 0, 0);

QString frameLine(int number, int adc) {
    return QStringLiteral("AA AA 01 %1 %2 %3 04 00 00\n")
        .arg(number & 0xFF, 2, 16, QLatin1Char('0'))
        .arg(adc & 0xFF, 2, 16, QLatin1Char('0'))
        .arg((adc >> 8) & 0xFF, 2, 16, QLatin1Char('0'));
}

// A steady 2048 (469.8 kOhm) long enough for the filter to fill and the reference to latch,
// then a fall of 4 counts a frame to 1800 (599.3 kOhm), held for a while: off the 25 % scale
// (587.2 kOhm at the bottom) but inside the 31 % one (615.4 kOhm).
QString driftingFrames() {
    QString text;
    int number = 0;
    for (int i = 0; i < 40; ++i) text += frameLine(number++, 2048);
    for (int adc = 2044; adc >= 1800; adc -= 4) text += frameLine(number++, adc);
    for (int i = 0; i < 10; ++i) text += frameLine(number++, 1800);
    return text;
}

// Notes every showing of the range notice, with the sensitivity at that moment.
class NoticeWatch : public QObject {
public:
    NoticeWatch(const frmSylvane& w) : m_w(w) { w.lblGrafError->installEventFilter(this); }
    QStringList shown;

protected:
    bool eventFilter(QObject*, QEvent* event) override {
        if (event->type() == QEvent::Show) {
            shown << m_w.lblGrafError->caption() + "@" + m_w.LblParams[3]->caption();
        }
        return false;
    }

private:
    const frmSylvane& m_w;
};

struct LiveWindow {
    MessageRecorder messages;
    ProgramFolder folder;
    std::unique_ptr<frmSylvane> w;

    void open() {
        w = std::make_unique<frmSylvane>(frmSylvane::Options{folder.path(), {}});
        w->show();
        w->LblParams[5]->setCaption(QStringLiteral("2"));
        w->LblParams[3]->setCaption(QStringLiteral("25"));
        w->mnuStart_Click();
    }
    ~LiveWindow() {
        if (w && !w->mnuStart->isEnabled()) w->mnuStop_Click();
    }
    QRgb pixel(int x, int y) const { return w->pixXYgraf->image().pixel(x, y); }
};

} // namespace

TEST(PictureGraphWithProbe, ASignalDriftingOffScaleWidensTheGraph) {
    LiveWindow t;
    QFile frames(t.folder.file(QStringLiteral("drift.frames")));
    ASSERT_TRUE(frames.open(QIODevice::WriteOnly));
    frames.write(driftingFrames().toLatin1());
    frames.close();
    ProbeSimProcess sim(t.folder.path(), 2, {"--frames", frames.fileName(), "--rate", "53"});
    ASSERT_TRUE(sim.start()) << sim.errorString().toStdString();

    t.open();
    ASSERT_FALSE(t.w->mnuStart->isEnabled()) << t.messages.prompts().join(" | ").toStdString();
    NoticeWatch notice(*t.w);
    // 112 frames, of which the filter's first five and the reading before the latch are not
    // recorded.
    const auto settled = [&] {
        return t.w->recordNumber >= 100 && t.w->graphSensitivity == 31 &&
               !t.w->lblGrafError->isVisible();
    };
    ASSERT_TRUE(waitUntil(settled, 60000)) << "records " << t.w->recordNumber << ", sensitivity "
                                           << t.w->LblParams[3]->caption().toStdString() << "\n"
                                           << sim.log().toStdString();
    sylvane::testing::pump(300);

    EXPECT_EQ(notice.shown, QStringList{"Readjusting  graph@ 31"});
    EXPECT_EQ(t.w->LblParams[3]->caption(), " 31");
    EXPECT_EQ(t.w->lblSysADCstart->caption().trimmed(), "2048");
    EXPECT_TRUE(t.messages.messages.empty()) << t.messages.prompts().join(" | ").toStdString();

    // The session replayed at 31 %: a white trace from the middle line (the reference) down
    // toward the bottom edge, over the magenta dotted grid on black.
    const int height = static_cast<int>(t.w->pixXYgraf->ScaleHeight());
    const int middle = height - height / 2;
    int whiteNearMiddle = 0;
    for (int y = middle - 1; y <= middle + 1; ++y) whiteNearMiddle += t.pixel(20, y) == kWhite;
    EXPECT_GT(whiteNearMiddle, 0);
    const int lastX = static_cast<int>(t.w->pixXYgraf->currentX());
    const int lastY = static_cast<int>(t.w->pixXYgraf->currentY());
    EXPECT_GT(lastY, middle + height / 3);
    EXPECT_LE(lastY, height);
    EXPECT_EQ(t.pixel(lastX - 1, lastY), kWhite);
    EXPECT_EQ(t.pixel(10, 0), kMagenta);
    EXPECT_EQ(t.pixel(0, 10), kMagenta);
    EXPECT_EQ(t.pixel(5, 5), kBlack);
    EXPECT_EQ(t.pixel(lastX + 5, middle + 5), kBlack);
    EXPECT_EQ(t.w->lbl4Graf[0]->caption(), "324k");
    EXPECT_EQ(t.w->lbl4Graf[2]->caption(), "469k");
    EXPECT_EQ(t.w->lbl4Graf[4]->caption(), "615k");
}

TEST(PictureGraphWithProbe, Screenshot) {
    const QString path = qEnvironmentVariable("SYLVANE_SCREENSHOT");
    if (path.isEmpty()) GTEST_SKIP() << "set SYLVANE_SCREENSHOT to a .png file to take one";
    LiveWindow t;
    ProbeSimProcess sim(t.folder.path(), 2, {"--rate", "53", "--seed", "3"});
    ASSERT_TRUE(sim.start()) << sim.errorString().toStdString();
    t.open();
    ASSERT_TRUE(waitUntil([&] { return t.w->recordNumber > 600; }, 60000));
    sylvane::testing::pump(300);
    EXPECT_TRUE(t.w->grab().save(path));
    if (QScreen* screen = QGuiApplication::primaryScreen()) {
        QString screenPath = path;
        screenPath.replace(QStringLiteral(".png"), QStringLiteral("-screen.png"));
        screen->grabWindow(0).save(screenPath);
    }
}

SYLVANE_GTEST_QT_MAIN
