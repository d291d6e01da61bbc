// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "stopkey.h"

#include <QString>

// A stop key that a test presses or refuses; it counts the window's binds and releases.
class FakeStopKey : public StopKey
{
public:
    void bind() override { ++binds; }
    void release() override { ++releases; }

    void press() { emit pressed(); }
    void refuse(const QString &why) { emit unavailable(why); }

    int binds = 0;
    int releases = 0;
};
