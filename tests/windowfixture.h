// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "autoclicker.h"
#include "fakedesktopinput.h"
#include "fakestopkey.h"
#include "pacedtimer.h"
#include "playback.h"
#include "singleinstance.h"

#include <memory>

#include <QTemporaryDir>
#include <QTimer>

// A main window on the fake desktop, started up as the program starts it, with its lock in a
// directory of its own so that tests never meet a real running copy.
struct WindowFixture
{
    explicit WindowFixture(bool seesWholeDesktop = true)
    {
        auto input = std::make_unique<FakeDesktopInput>(seesWholeDesktop);
        desktop = input.get();
        auto key = std::make_unique<FakeStopKey>();
        stopKey = key.get();
        window = std::make_unique<AutoClicker>(
                std::move(input), std::make_unique<SingleInstance>(lockPath()), std::move(key));
        // The tests drive the poll themselves.
        window->Hotkey_XY->stop();
        window->Form_Load();
    }

    Playback &run() { return window->playback(); }
    QString lockPath() const { return lockDir.filePath(QStringLiteral("varbelo.lock")); }

    // Ticks the playback timer n times, as the timer would: only while it is enabled.
    int tick(int n = 1)
    {
        int ticked = 0;
        for (; ticked < n && run().Clicker->isActive(); ++ticked)
            run().Clicker_Timer();
        return ticked;
    }

    // Ticks until the run stops by itself, at most `limit` ticks; returns the ticks taken.
    int tickUntilStopped(int limit)
    {
        int ticks = 0;
        while (run().Clicker->isActive() && ticks < limit) {
            run().Clicker_Timer();
            ++ticks;
        }
        return ticks;
    }

    void setItem(int i, int x, int y, int down = 0, int up = 0)
    {
        window->script.setItem(
                i, {std::int16_t(x), std::int16_t(y), std::int16_t(down), std::int16_t(up)});
    }

    QTemporaryDir lockDir;
    FakeDesktopInput *desktop = nullptr;
    FakeStopKey *stopKey = nullptr;
    std::unique_ptr<AutoClicker> window;
};
