// One reading through the real window's GraphAndRecord: the filter, the live step on the
// picture box, the range check and the flushed recording into the working files, with the
// redraws that the width overflow brings (one every picture width of readings).

#include "app/frm_sylvane.h"
#include "platform/label.h"
#include "platform/picture_box.h"

#include <benchmark/benchmark.h>

#include <QApplication>
#include <QTemporaryDir>

namespace {

QApplication& application() {
    static int argc = 1;
    static char name[] = "sylvane_bench";
    static char* argv[] = {name, nullptr};
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    static QApplication app(argc, argv);
    return app;
}

void BM_GraphAndRecordPerReading(benchmark::State& state) {
    application();
    QTemporaryDir folder;
    sylvane::app::frmSylvane w({folder.path(), {}});
    w.pixXYgraf->resize(489, 268);
    w.LblParams[3]->setCaption(QStringLiteral("25"));
    w.engine.setReferenceCaption("2048");
    w.engine.state().recordNumber = 1;
    w.engine.state().readingsPerStep = 1;
    if (!w.workingFiles.open(folder.path().toStdString())) {
        state.SkipWithError("working files could not be opened");
        return;
    }
    std::int32_t i = 0;
    for (auto _ : state) {
        const std::int32_t adc = 2000 + (i++ * 37) % 97;
        w.engine.state().probeStatus = 4;
        w.engine.state().adcWindow.fill(adc);
        w.engine.state().rawADC = adc;
        w.engine.state().smoothedADC = adc;
        w.engine.GraphAndRecord();
    }
    w.workingFiles.close();
    state.counters["records"] = static_cast<double>(w.engine.state().recordNumber - 1);
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_GraphAndRecordPerReading)->Unit(benchmark::kMicrosecond);

} // namespace
