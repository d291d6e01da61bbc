// SPDX-License-Identifier: GPL-3.0-or-later
#include "script.h"

#include <algorithm>

void Script::setItem(int i, const ScriptItem &item)
{
    x[i] = item.x;
    y[i] = item.y;
    down[i] = item.down;
    up[i] = item.up;
}

int Script::nextNonEmpty(int after) const
{
    // Nothing is cached between calls: an edit made during a run is seen when the search
    // reaches it. Runs of empty items are skipped a block at a time: a block with no coordinate
    // above 0 is empty throughout, and that test runs branch-free and vectorises.
    constexpr int Block = 64;
    int i = after + 1;
    while (i <= LastIndex) {
        if (i % Block == 0 && i + Block <= Size) {
            int positives = 0;
            for (int k = i; k < i + Block; ++k)
                positives |= (x[k] > 0) | (y[k] > 0);
            if (!positives) {
                i += Block;
                continue;
            }
        }
        if (x[i] > 0 || y[i] > 0)
            return i;
        ++i;
    }
    return i;
}
