// SPDX-License-Identifier: GPL-3.0-or-later
// Reads arbitrary text as the loop box and the coordinate boxes do, and checks that every
// outcome is a defined one.
#include "numbertext.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>

#include <QList>
#include <QString>

namespace {

void require(bool ok, const char *what)
{
    if (!ok) {
        std::fprintf(stderr, "fuzz_numbertext: %s\n", what);
        std::abort();
    }
}

// A pasted megabyte must read at once: the reader makes one pass over the text. Instrumented
// code runs at no fixed speed, so compare 1 MiB with 64 KiB: linear reading costs 16 times as
// much, quadratic reading 256 times. (The plain build's figure is in the benchmarks.)
double fastestRead(const QString &text)
{
    double best = 1e9;
    for (int i = 0; i < 5; ++i) {
        const auto start = std::chrono::steady_clock::now();
        const double value = NumberText::read(text);
        const auto ms =
                std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start)
                        .count();
        require(!std::isnan(value), "read gave NaN");
        best = std::min(best, ms);
    }
    return best;
}

void requireLinearTime()
{
    const auto texts = [](qsizetype n) {
        return QList<QString> {
                QString(n, u'9'),
                QString(n, u' ') + u'7',
                u"0."_qs + QString(n, u'0') + u'1',
                u"&H"_qs + QString(n, u'F'),
                QString(n, u'1') + u"e-99999999999999"_qs,
        };
    };
    const QList<QString> large = texts(1 << 20);
    const QList<QString> small = texts(1 << 16);
    for (qsizetype i = 0; i < large.size(); ++i) {
        const double msLarge = fastestRead(large[i]);
        const double msSmall = fastestRead(small[i]);
        std::fprintf(stderr, "fuzz_numbertext: 1 MiB in %.2f ms, 64 KiB in %.3f ms\n", msLarge,
                     msSmall);
        require(msLarge < 64 * std::max(msSmall, 0.01), "reading does not grow linearly");
    }
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int *, char ***)
{
    requireLinearTime();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    const QString text = QString::fromUtf8(reinterpret_cast<const char *>(data), qsizetype(size));

    // The loop count: a number or +/-infinity, never NaN, so the end-of-pass test is defined.
    const double loops = NumberText::read(text);
    require(!std::isnan(loops), "read gave NaN");

    // A coordinate: the rounded value, clamped into the 16-bit range.
    const int stored = NumberText::readInt16(text);
    require(stored >= -32768 && stored <= 32767, "stored coordinate out of range");
    if (std::isfinite(loops) && std::fabs(loops) <= 32767)
        require(stored == std::rint(loops), "stored coordinate is not the rounded value");
    else
        require(stored == (loops > 0 ? 32767 : -32768), "out-of-range value not clamped");

    // What a box shows of a stored value reads back as that value.
    require(NumberText::readInt16(NumberText::decimal(stored)) == stored,
            "decimal form does not read back");
    // A coordinate box holds six characters: its text reads like any other.
    require(!std::isnan(NumberText::read(text.left(6))), "box text gave NaN");
    return 0;
}
