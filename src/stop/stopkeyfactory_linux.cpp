// SPDX-License-Identifier: GPL-3.0-or-later
// The one place that knows the ways of hearing Esc from anywhere on Linux, and their order.
#include "stopkey.h"
#include "swaystopkey.h"

#ifdef VARBELO_HAVE_KGLOBALACCEL
#    include "kglobalaccelstopkey.h"
#endif
#ifdef VARBELO_HAVE_DBUS
#    include "portalstopkey.h"
#endif

#include <cstdio>

#include <QtGlobal>

namespace {

void sayTaken(const char *way)
{
    std::fprintf(stderr, "varbelo: Esc during a run through %s\n", way);
}

} // namespace

std::unique_ptr<StopKey> createStopKey()
{
    // The compositor's own bindings first: they need neither a session bus nor a user's consent.
    if (const QByteArray socket = qgetenv("SWAYSOCK"); !socket.isEmpty()) {
        auto sway = std::make_unique<SwayStopKey>(socket);
        if (sway->isConnected()) {
            sayTaken("sway's IPC");
            return sway;
        }
        std::fprintf(stderr, "varbelo: not hearing Esc through sway's IPC: %s does not answer\n",
                     socket.constData());
    }
#ifdef VARBELO_HAVE_KGLOBALACCEL
    if (KGlobalAccelStopKey::isAvailable()) {
        sayTaken("KDE's global shortcuts");
        return std::make_unique<KGlobalAccelStopKey>();
    }
#endif
#ifdef VARBELO_HAVE_DBUS
    sayTaken("the GlobalShortcuts portal");
    return std::make_unique<PortalStopKey>();
#else
    std::fputs("varbelo: nothing hears Esc over other windows during a run: built without D-Bus\n",
               stderr);
    return nullptr;
#endif
}
