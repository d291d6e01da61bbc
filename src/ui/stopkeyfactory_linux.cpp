// SPDX-License-Identifier: GPL-3.0-or-later
#include "stopkey.h"

#ifdef VARBELO_HAVE_DBUS
#    include "escapeshortcut.h"
#endif
#ifdef VARBELO_HAVE_KGLOBALACCEL
#    include "kglobalaccelstopkey.h"
#endif

std::unique_ptr<StopKey> createStopKey()
{
#ifdef VARBELO_HAVE_KGLOBALACCEL
    // KDE's own service where it runs: Plasma 5's portal binds no shortcuts.
    if (KGlobalAccelStopKey::isAvailable())
        return std::make_unique<KGlobalAccelStopKey>();
#endif
#ifdef VARBELO_HAVE_DBUS
    return std::make_unique<EscapeShortcut>();
#else
    return nullptr;
#endif
}
