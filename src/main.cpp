// SPDX-License-Identifier: GPL-3.0-or-later
#include "autoclicker.h"
#include "desktopinput.h"

#include <QApplication>

#ifdef Q_OS_UNIX
#    include "screenscale.h"
#    include "terminationsignals.h"
#endif

#include <cstdio>

int main(int argc, char *argv[])
{
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
    const bool throughXWayland = waylandSession && input->seesWholeDesktop();
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
    // One look on every platform; it also honours the red of the running Execute button, which
    // some native styles ignore.
    QApplication::setStyle(QStringLiteral("Fusion"));

    AutoClicker window(std::move(input));
    if (!window.Form_Load())
        return 0;
#ifdef Q_OS_LINUX
    // Wayland keeps its own programs' input apart from X11 clients: say so before anyone wonders.
    if (throughXWayland)
        std::fputs("Varbelo runs through XWayland: its clicks reach only programs that run under "
                   "XWayland too.\n",
                   stderr);
#endif
#ifdef Q_OS_UNIX
    TerminationSignals termination;
    QObject::connect(&termination, &TerminationSignals::received, &window, &QWidget::close);
#endif
    window.show();
    return QApplication::exec();
}
