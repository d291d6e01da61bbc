// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "stopkey.h"

#include <QString>

// A stop key that a test presses, grants or refuses; it counts the window's binds and releases.
// Unless told to wait, it grants Esc at once, as a compositor's own bindings do.
class FakeStopKey : public StopKey
{
public:
    void bind() override
    {
        ++binds;
        if (!waits)
            grant();
    }
    void release() override { ++releases; }

    void press() { emit pressed(); }
    void grant(const QString &otherKey = {}) { emit bound(otherKey); }
    void refuse(const QString &why) { emit unavailable(why); }

    bool waits = false;
    int binds = 0;
    int releases = 0;
};
