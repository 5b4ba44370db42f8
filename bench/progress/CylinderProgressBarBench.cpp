// SPDX-License-Identifier: GPL-3.0-or-later
// Cost of repainting the progress window's 246 x 41 cylinder bar at a new position:
// the position update plus composing the whole control in its off-screen image.

#include "progress/CylinderProgressBar.h"
#include "progress/ProgressWindow.h"

#include <QApplication>

#include <benchmark/benchmark.h>

using namespace stowmere::progress;

namespace {

void repaintAtNewPosition(benchmark::State& state, ProEffect effect)
{
    ProgressWindow frm;
    CylinderProgressBar& bar = *frm.progressBar();
    if (effect != ProEffect::Custom)
        bar.setProEffect(effect);
    bar.setMax(1000);
    int position = 0;
    for (auto _ : state) {
        position = position >= 1000 ? 1 : position + 1;
        bar.setPosition(position);
        const QImage& image = bar.renderOffscreen();
        benchmark::DoNotOptimize(image.constBits());
    }
}

void BM_WindowBarRepaint(benchmark::State& state)
{
    repaintAtNewPosition(state, ProEffect::Custom);
}
void BM_InvertTextBarRepaint(benchmark::State& state)
{
    repaintAtNewPosition(state, ProEffect::StdBlue);
}
void BM_ShadowTextBarRepaint(benchmark::State& state)
{
    repaintAtNewPosition(state, ProEffect::MetalGold);
}

} // namespace

BENCHMARK(BM_WindowBarRepaint)->Unit(benchmark::kMicrosecond)->Repetitions(9)->ReportAggregatesOnly(true);
BENCHMARK(BM_InvertTextBarRepaint)->Unit(benchmark::kMicrosecond)->Repetitions(9)->ReportAggregatesOnly(true);
BENCHMARK(BM_ShadowTextBarRepaint)->Unit(benchmark::kMicrosecond)->Repetitions(9)->ReportAggregatesOnly(true);

int main(int argc, char** argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv))
        return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
