// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <array>
#include <cstdint>

// One step of a script: a screen position and whether to press and/or release the left button
// there. The flags act only when they hold exactly 1.
struct ScriptItem
{
    std::int16_t x = 0;
    std::int16_t y = 0;
    std::int16_t down = 0;
    std::int16_t up = 0;
};

// The fixed table of steps, held as four parallel columns so that the playback search reads
// only the two coordinate columns. It never grows or shrinks; every item starts zero-filled.
class Script
{
public:
    static constexpr int LastIndex = 32000;
    static constexpr int Size = LastIndex + 1;

    std::array<std::int16_t, Size> x {};
    std::array<std::int16_t, Size> y {};
    std::array<std::int16_t, Size> down {};
    std::array<std::int16_t, Size> up {};

    ScriptItem item(int i) const { return {x[i], y[i], down[i], up[i]}; }
    void setItem(int i, const ScriptItem &item);

    /// An item with both coordinates at 0 or below is shown blank and skipped by playback.
    bool isEmpty(int i) const { return x[i] < 1 && y[i] < 1; }

    /// The first non-empty index after `after`, or Size when the rest of the table is empty.
    int nextNonEmpty(int after) const;
};
