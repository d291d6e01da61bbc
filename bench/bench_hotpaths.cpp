// SPDX-License-Identifier: GPL-3.0-or-later
// The costs a user feels: one playback tick, reading a number, refreshing the grid.
#include "autoclicker.h"
#include "fakedesktopinput.h"
#include "numbertext.h"
#include "playback.h"
#include "singleinstance.h"

#include <benchmark/benchmark.h>

#include <QApplication>
#include <QLineEdit>
#include <QScrollBar>
#include <QTemporaryDir>

namespace {

std::unique_ptr<AutoClicker> makeWindow(const QTemporaryDir &dir)
{
    auto window = std::make_unique<AutoClicker>(
            std::make_unique<FakeDesktopInput>(),
            std::make_unique<SingleInstance>(dir.filePath(QStringLiteral("bench.lock"))));
    window->Form_Load();
    return window;
}

// The search alone over a table whose every item is empty: the worst case of a tick.
void searchAllEmpty(benchmark::State &state)
{
    const auto script = std::make_unique<Script>();
    for (auto _ : state)
        benchmark::DoNotOptimize(script->nextNonEmpty(-1));
}
BENCHMARK(searchAllEmpty);

// A whole playback tick when every item is empty: the search, the end of the pass, the loop
// count read from its box.
void tickAllEmpty(benchmark::State &state)
{
    QTemporaryDir dir;
    const auto window = makeWindow(dir);
    window->LoopX->setText(QStringLiteral("1e999")); // the run never ends
    window->Execute_Click();
    for (auto _ : state)
        window->playback().Clicker_Timer();
}
BENCHMARK(tickAllEmpty);

void readNumber(benchmark::State &state, const QString &text)
{
    for (auto _ : state)
        benchmark::DoNotOptimize(NumberText::read(text));
    state.SetBytesProcessed(state.iterations() * text.size() * qsizetype(sizeof(QChar)));
}
BENCHMARK_CAPTURE(readNumber, short, QStringLiteral("1920"));
BENCHMARK_CAPTURE(readNumber, fraction_exponent, QStringLiteral(" 2.5e1 "));
BENCHMARK_CAPTURE(readNumber, digits_1MiB, QString(1 << 20, u'9'));
BENCHMARK_CAPTURE(readNumber, blanks_1MiB, QString(1 << 20, u' ') + u'7');

// Two views of different content, so that every refresh changes every row.
void refresh(benchmark::State &state, bool paint)
{
    QTemporaryDir dir;
    const auto window = makeWindow(dir);
    for (int i = 0; i < 40; ++i)
        window->script.setItem(i,
                               {std::int16_t(100 + i), std::int16_t(200 + i), std::int16_t(i % 2),
                                std::int16_t((i / 2) % 2)});
    window->show();
    QApplication::processEvents();
    int view = 0;
    for (auto _ : state) {
        view = 20 - view;
        window->VSc->setValue(view);
        if (paint)
            window->repaint();
    }
}
BENCHMARK_CAPTURE(refresh, setters, false)->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(refresh, with_painting, true)->Unit(benchmark::kMicrosecond);

} // namespace

int main(int argc, char **argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
