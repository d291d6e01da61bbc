// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

class QWidget;

// Keeps the top-level window off the taskbar. Call it whenever the window is shown: some
// window managers forget the request when a window is withdrawn.
void keepOffTaskbar(QWidget *window);
