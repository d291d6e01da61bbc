#pragma once

#include <QIcon>

// The window's icon: a black computer mouse seen from above, with its cable, 32 x 32 pixels.
QIcon mouseIcon();
