// Drawing costs: one full paint of the main view (all panels, connected, over a
// limit) and one trace graph redraw with 450 points.
#include <benchmark/benchmark.h>

#include <QApplication>
#include <QImage>
#include <QPainter>
#include <cstdlib>
#include <memory>

#include "display/trace_graph_painter.h"
#include "display/trace_recorder.h"
#include "link/sim_driver.h"
#include "meter/prompt.h"
#include "ui/velquor_doc.h"
#include "ui/velquor_view.h"

namespace {

class SilentPrompt : public velquor::IPrompt {
public:
    void ShowMessage(const std::string&, const std::string&) override {}
    bool AskYesNo(const std::string&, const std::string&) override { return false; }
    bool SelectDevice(const std::vector<std::string>&, int&) override { return false; }
};

void BM_FullViewPaint(benchmark::State& state) {
    velquor::MeterModelConfig meter;
    meter.fixedPowerTenths = 460;  // 46.0 dBm: over the power limit, strip blinking
    meter.fixedTemperature = 60;
    meter.frameIntervalMs = 1000000;
    velquor::CSimDriver driver({velquor::CSimDriver::DefaultMeter(meter)});
    velquor::CVelquorDoc doc;
    velquor::CVelquorView view(driver, &doc);
    view.SetPrompt(std::make_unique<SilentPrompt>());
    view.SetRunSequencesInline(true);
    view.resize(760, 450);
    view.OnInitialUpdate();
    QImage target(view.size(), QImage::Format_RGB32);
    for (auto _ : state) {
        view.render(&target);
        benchmark::DoNotOptimize(target.constBits());
    }
    if (!view.Unit().m_bConnected)
        state.SkipWithError("the simulated meter did not connect");
}
BENCHMARK(BM_FullViewPaint)
    ->Unit(benchmark::kMicrosecond)
    ->Repetitions(5)
    ->ReportAggregatesOnly(true);

void BM_TraceGraphRedraw450(benchmark::State& state) {
    velquor::CTraceRecorder recorder;
    recorder.Play("1000");
    for (int i = 0; i < 600; ++i)
        recorder.Tick(10.0 + (i % 37) * 0.25);
    const velquor::TraceGraphFonts fonts = velquor::DefaultTraceGraphFonts();
    for (auto _ : state) {
        const QImage image =
            velquor::RenderTraceGraph(velquor::ComputeTraceGraphModel(recorder, fonts), fonts);
        benchmark::DoNotOptimize(image.constBits());
    }
}
BENCHMARK(BM_TraceGraphRedraw450)
    ->Unit(benchmark::kMicrosecond)
    ->Repetitions(5)
    ->ReportAggregatesOnly(true);

}  // namespace

int main(int argc, char** argv) {
    if (std::getenv("QT_QPA_PLATFORM") == nullptr)
        setenv("QT_QPA_PLATFORM", "offscreen", 1);
    QApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
