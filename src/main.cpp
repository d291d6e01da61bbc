// SPDX-License-Identifier: GPL-3.0-or-later
#include "autoclicker.h"
#include "clickerstyle.h"
#include "desktopinput.h"
#include "singleinstance.h"
#include "stopkey.h"

#include <QApplication>

#ifdef Q_OS_UNIX
#    include "screenscale.h"
#    include "stopsignals.h"
#endif
#ifdef Q_OS_LINUX
#    include "stopcommand.h"
#endif

#include <cstdio>
#include <cstring>

int main(int argc, char *argv[])
{
    // For a key bound in a desktop that lends none to programs. Before anything that could open
    // a window, or ask for a display or a session bus.
    if (argc == 2 && std::strcmp(argv[1], "--stop") == 0) {
#ifdef Q_OS_LINUX
        return requestStop(SingleInstance::defaultLockPath());
#else
        std::fputs("varbelo --stop is not needed here: Esc stops a run from any window\n", stderr);
        return 1;
#endif
    }
#ifdef Q_OS_LINUX
    // A Wayland launcher hands over an XDG activation token; a window on X11 can only pass on a
    // startup-notification id, which Qt sends with it and XWayland's window manager takes the
    // token as. That lets the window take the focus that the launch was for.
    if (qEnvironmentVariableIsEmpty("DESKTOP_STARTUP_ID")
        && !qEnvironmentVariableIsEmpty("XDG_ACTIVATION_TOKEN"))
        qputenv("DESKTOP_STARTUP_ID", qgetenv("XDG_ACTIVATION_TOKEN"));
    // Once the window is active Qt's accessibility bridge looks for the session bus. Where none
    // is named, libdbus would start one through dbus-launch, which leaves a daemon running and
    // files in the home and runtime directories: look only where a user's bus lives. Where none
    // runs, no screen reader can be listening either.
    if (qEnvironmentVariableIsEmpty("DBUS_SESSION_BUS_ADDRESS")
        && !qEnvironmentVariableIsEmpty("XDG_RUNTIME_DIR"))
        qputenv("DBUS_SESSION_BUS_ADDRESS", "unix:path=" + qgetenv("XDG_RUNTIME_DIR") + "/bus");
#endif

    // Before the application object: without a display Qt itself would abort with a core dump.
    std::string whyNot;
    std::unique_ptr<DesktopInput> input = createDesktopInput(whyNot);
    if (!input) {
        std::fprintf(stderr, "%s\n", whyNot.c_str());
        return 1;
    }

#ifdef Q_OS_LINUX
    const bool waylandSession = !qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY")
            || qgetenv("XDG_SESSION_TYPE") == "wayland";
    const QByteArray platform = qgetenv("QT_QPA_PLATFORM");
    if (input->seesWholeDesktop()) {
        // Pointer and keys go through X11, so under Wayland the window must live on XWayland
        // too: a native window's own pointer positions would not be in the X server's terms.
        if (platform.isEmpty() || platform.startsWith("wayland"))
            qputenv("QT_QPA_PLATFORM", "xcb");
    } else if (platform.isEmpty()) {
        // A compositor's own input: the window runs natively, so that the capture layer, a
        // native surface over each output, reads the pointer in the compositor's layout
        // coordinates, the ones the backend clicks in (XWayland's differ under scaling), and no
        // XWayland is needed. xcb stays the fallback where Qt's wayland plugin (qt6-wayland) is
        // missing.
        qputenv("QT_QPA_PLATFORM", "wayland;xcb");
    }
#endif

#ifdef Q_OS_UNIX
    // The X server's resolution; a native Wayland window gets the output's scale from Qt.
    if (!qgetenv("QT_QPA_PLATFORM").startsWith("wayland"))
        adoptServerDpi();
#endif
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("varbelo"));
    // Ties the window to the installed desktop entry (its name and icon in docks and switchers).
    QGuiApplication::setDesktopFileName(QStringLiteral("org.varbelo.Varbelo"));
    // One look on every platform, Fusion's, drawing the red of the running Execute button and a
    // set toggle pressed in, which neither Fusion nor some native styles show.
    QApplication::setStyle(new ClickerStyle);
#ifdef Q_OS_LINUX
    // The desktop portal, where the compositor has no protocol of its own: the window stays on
    // XWayland then, whose coordinates are the desktop's own at a scale of 1.
    input = completeDesktopInput(std::move(input));
    const bool throughXWayland = waylandSession && input->seesWholeDesktop();
#endif

#ifdef Q_OS_UNIX
    // Before the lock is taken: from then on varbelo --stop may signal this process, and a signal
    // it is not ready for would end it. Before the window, so that it outlives it: a signal that
    // comes while the window closes must not end the process before Esc is given back.
    StopSignals stopSignals;
#endif
    std::unique_ptr<StopKey> stopKey = createStopKey(input->seesWholeDesktop());
    AutoClicker window(std::move(input), std::make_unique<SingleInstance>(), std::move(stopKey));
#ifdef Q_OS_UNIX
    QObject::connect(&stopSignals, &StopSignals::quitRequested, &window, &QWidget::close);
    QObject::connect(&stopSignals, &StopSignals::stopRequested, &window,
                     &AutoClicker::stopRun);
#endif
    if (!window.Form_Load())
        return 0;
#ifdef Q_OS_LINUX
    // Wayland keeps its own programs' input apart from X11 clients: say so before anyone wonders.
    if (throughXWayland)
        std::fputs("Varbelo runs through XWayland: its clicks reach only programs that run under "
                   "XWayland too.\n",
                   stderr);
#endif
    window.show();
    return QApplication::exec();
}
