// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QIcon>
#include <QImage>

// The program's icon: a black computer mouse seen from above, with its cable, drawn on a grid of
// 32 x 32 and scaled to the size asked for.
QImage mouseIconImage(int size);

/// The window's icon, the 32 x 32 drawing.
QIcon mouseIcon();
