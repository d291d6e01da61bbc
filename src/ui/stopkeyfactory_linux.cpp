// SPDX-License-Identifier: GPL-3.0-or-later
#include "stopkey.h"

#ifdef VARBELO_HAVE_DBUS
#    include "escapeshortcut.h"
#endif

std::unique_ptr<StopKey> createStopKey()
{
#ifdef VARBELO_HAVE_DBUS
    return std::make_unique<EscapeShortcut>();
#else
    return nullptr;
#endif
}
