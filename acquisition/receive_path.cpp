// The receive path: one receive event of the serial control, its frame, the reference latch, the
// readouts, and the filter and record stages that GraphAndRecord runs.

#include "acquisition/frame_decoder.h"
#include "acquisition/reading_filter.h"
#include "acquisition/readouts.h"
#include "acquisition/serial_link.h"
#include "app/frm_sylvane.h"
#include "platform/label.h"
#include "platform/message_box.h"
#include "platform/number_rules.h"

#include <QAction>

namespace sylvane::app {

namespace acq = acquisition;

void frmSylvane::OnComm() {
    if (MSComm1->commEvent() != acq::SerialLink::comEvReceive) return;
    ReadFrame();
    silenceTicks = 0;
    // The latch looks at the latest frame's values even when this event held no frame.
    if (const auto reference = acq::latchReference(awaitingStartValue, stableCandidate, stableCount,
                                                   rawADC, probeStatus)) {
        lblSysADCstart->setCaption(QString::fromStdString(platform::standardText(*reference)));
    }
    if (frameReady) {
        frameReady = false;
        ShowReadings();
        GraphAndRecord();
    }
}

void frmSylvane::ReadFrame() {
    const QByteArray input = MSComm1->Input();
    const auto frame = acq::findFrame({reinterpret_cast<const std::uint8_t*>(input.constData()),
                                       static_cast<std::size_t>(input.size())});
    if (!frame) return;
    frameReady = true;
    rawADC = frame->adc;
    probeStatus = frame->status;
}

void frmSylvane::ShowReadings() {
    acq::ReadoutInputs in;
    in.smoothedADC = smoothedADC;
    in.rawADC = rawADC;
    in.probeStatus = probeStatus;
    in.reference = platform::numericValue(lblSysADCstart->caption().toStdString());
    in.graphSensitivity = graphSensitivity;
    in.sessionRunning = sessionRunning();
    const acq::Readouts out = acq::computeReadouts(in);

    if (out.resistance) LblShnStf[3]->setCaption(QString::fromStdString(*out.resistance));
    if (out.conductance) LblShnStf[5]->setCaption(QString::fromStdString(*out.conductance));
    if (out.adc) LblShnStf[7]->setCaption(QString::fromStdString(*out.adc));
    if (out.probe) {
        LblShnStf[7]->setBackColor(out.probe->backColor);
        LblShnStf[7]->setToolTipText(QString::fromStdString(out.probe->toolTip));
    }
    if (out.battery) {
        LblShnStf[9]->setBackColor(out.battery->backColor);
        LblShnStf[9]->setToolTipText(QString::fromStdString(out.battery->toolTip));
    }
    if (out.change) LblShnStf[1]->setCaption(QString::fromStdString(*out.change));
    if (out.targetColorLevel) targetColorLevel = *out.targetColorLevel;
}

bool frmSylvane::FilterReading() {
    return acq::filterReading({adcWindow, smoothedADC, module1.minADC, module1.maxADC}, rawADC,
                              probeStatus);
}

void frmSylvane::RecordReading() {
    // Readings that arrive after the session has ended (the port delivered them before it was
    // closed) have no files to go to.
    if (!workingFiles.isOpen()) return;
    std::string error;
    if (!workingFiles.record(recordNumber, smoothedADC, &error)) {
        // Nothing more can be recorded: stop the readings before telling the user.
        MSComm1->close();
        endSessionWithMessage(QStringLiteral("The reading could not be recorded:\r\n") +
                                  QString::fromStdString(error) +
                                  QStringLiteral("\r\nSession Stopped !!"),
                              platform::vbExclamation, QStringLiteral("Recording error"), false);
        return;
    }
    recordNumber += 1;
    stepCount += 1;
}

} // namespace sylvane::app
