// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>

/// varbelo --stop: asks the copy that holds the single-instance lock at lockPath to stop its run,
/// as Esc would. Returns the exit code: 0 once asked, without a word; 1 with the reason on
/// standard error when no copy runs. Needs no display, no session bus, no application object.
int requestStop(const QString &lockPath);
