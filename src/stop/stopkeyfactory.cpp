// SPDX-License-Identifier: GPL-3.0-or-later
// The one place that knows whether a run needs a way of hearing Esc from anywhere, and which of
// them, in what order, it tries.
#include "stopkey.h"

#ifdef Q_OS_LINUX
#    include "swaystopkey.h"
#endif
#ifdef VARBELO_HAVE_KGLOBALACCEL
#    include "kglobalaccelstopkey.h"
#endif
#ifdef VARBELO_HAVE_DBUS
#    include "portalstopkey.h"
#endif

#include <cstdio>

#include <QtGlobal>

#ifdef Q_OS_LINUX
namespace {

void sayTaken(const char *way)
{
    std::fprintf(stderr, "varbelo: Esc during a run through %s\n", way);
}

// Where a run needs Esc from elsewhere and nothing can lend it: every run says so.
class UnheardStopKey : public StopKey
{
public:
    void bind() override
    {
        emit unavailable(QStringLiteral("nothing on this desktop tells it of Esc over other "
                                        "windows"));
    }
    void release() override { }
};

} // namespace
#endif

std::unique_ptr<StopKey> createStopKey(bool pollSeesEverywhere)
{
#ifndef Q_OS_LINUX
    // Windows answers the poll for every window.
    Q_UNUSED(pollSeesEverywhere);
    return nullptr;
#else
    // On X11 the poll reads Esc over every window. Under Wayland it does not: the compositor
    // keeps keys from XWayland's windows too, where the window runs there.
    if (pollSeesEverywhere && qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY"))
        return nullptr;
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
    return std::make_unique<UnheardStopKey>();
#endif
#endif
}
