// SPDX-License-Identifier: GPL-3.0-or-later
// Painting costs of the styled controls: a large button repainted in the middle of a
// hover fade (target 0.2 ms) and the anti-aliased background of the main window's list
// panel rebuilt from scratch (target 10 ms).
#include "controls/GradientButton.h"
#include "controls/GradientPanel.h"

#include <QApplication>
#include <QPainter>

#include <benchmark/benchmark.h>

using namespace stowmere::controls;

namespace {

class HalfFadedButton : public GradientButton {
public:
    HalfFadedButton()
    {
        setHovered(true);
        useFadeInStep();
        for (int i = 0; i < 5; ++i)
            fadeInStep();
    }
};

void BM_ButtonPaintMidFade(benchmark::State& state)
{
    HalfFadedButton button;
    button.resize(126, 55);
    QFont font(QStringLiteral("Sans Serif"));
    font.setPixelSize(11);
    button.setFont(font);
    button.setCaption(QStringLiteral("Backup"));
    button.setColor(colors::White);
    button.setSpacing(10);
    button.setTextShadow(false);
    button.setGradientBorder(false);
    QImage glyph(32, 32, QImage::Format_RGB32);
    glyph.fill(QColor(255, 0, 255));
    QPainter(&glyph).fillRect(4, 4, 24, 24, QColor(20, 150, 40));
    button.setGlyph(glyph);
    if (button.hoverLevel() != 50)
        state.SkipWithError("the button is not half way through its fade");
    // The window's backing store that paintEvent copies into.
    QImage screen(126, 55, QImage::Format_ARGB32_Premultiplied);
    for (auto _ : state) {
        Image24 face = button.renderFace();
        QPainter painter(&screen);
        painter.drawImage(0, 0, face.asQImage());
        painter.end();
        benchmark::DoNotOptimize(screen.constBits());
    }
}
BENCHMARK(BM_ButtonPaintMidFade)->Unit(benchmark::kMicrosecond);

void BM_ListPanelRebuild(benchmark::State& state)
{
    GradientPanel panel;
    panel.resize(233, 545);
    panel.setCornerWidth(0);
    panel.setBorderWidth(5);
    panel.setBorderColor(colors::Silver);
    panel.setOuterColor(colors::Silver);
    panel.setColor(colors::White);
    for (auto _ : state) {
        panel.rebuildImages();
        benchmark::DoNotOptimize(panel.backgroundImage().row(0));
    }
}
BENCHMARK(BM_ListPanelRebuild)->Unit(benchmark::kMillisecond);

} // namespace

int main(int argc, char** argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
