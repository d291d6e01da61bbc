// SPDX-License-Identifier: GPL-3.0-or-later
// A native Wayland window that logs the left-button presses and releases it receives, for
// judging the program's clicks on a compositor. Usage: waylandrecorder TITLE [fullscreen [last]]
// ("last": on the screen furthest right)
//
// Prints, flushed at once: "ready" once the window is on screen, then per event
//   press X Y TIME / release X Y TIME
//                                in the window's own pixels; TIME is the compositor's own time of
//                                the event (wl_pointer.button's, in ms), which does not depend on
//                                when the recorder gets to read it
//   active / inactive            it got the keyboard / another window took it
// A Wayland client never learns where its window is: the test adds the position that the
// compositor reports for the window.
#include <algorithm>
#include <cstdio>

#include <QGuiApplication>
#include <QMouseEvent>
#include <QRasterWindow>
#include <QScreen>

namespace {

class Recorder : public QRasterWindow
{
protected:
    void exposeEvent(QExposeEvent *event) override
    {
        QRasterWindow::exposeEvent(event);
        if (isExposed() && !m_ready) {
            m_ready = true;
            std::printf("ready\n");
            std::fflush(stdout);
        }
    }
    void mousePressEvent(QMouseEvent *event) override { log("press", event); }
    void mouseReleaseEvent(QMouseEvent *event) override { log("release", event); }

private:
    static void log(const char *what, QMouseEvent *event)
    {
        if (event->button() != Qt::LeftButton)
            return;
        const QPoint at = event->position().toPoint();
        std::printf("%s %d %d %llu\n", what, at.x(), at.y(),
                    static_cast<unsigned long long>(event->timestamp()));
        std::fflush(stdout);
    }
    bool m_ready = false;
};

} // namespace

int main(int argc, char **argv)
{
    qputenv("QT_QPA_PLATFORM", "wayland");
    QGuiApplication app(argc, argv);
    if (argc < 2 || argc > 4) {
        std::fprintf(stderr, "usage: %s TITLE [fullscreen [last]]\n", argv[0]);
        return 2;
    }
    Recorder window;
    QObject::connect(&window, &QWindow::activeChanged, [&window] {
        std::printf(window.isActive() ? "active\n" : "inactive\n");
        std::fflush(stdout);
    });
    window.setTitle(QString::fromLocal8Bit(argv[1]));
    window.resize(400, 300);
    // Fullscreen where the compositor tells no one where windows are: it then sits at the
    // output's origin. The output is named when the window is made: moved there once mapped,
    // it may keep the old output's size centred on the new one (mutter, when the move comes
    // while the window is still being mapped).
    if (argc == 4) {
        const QList<QScreen *> screens = QGuiApplication::screens();
        QScreen *last = *std::max_element(screens.begin(), screens.end(), [](auto *a, auto *b) {
            return a->geometry().x() < b->geometry().x();
        });
        // Qt gives a new window the screen its position lies on.
        window.setScreen(last);
        window.setPosition(last->geometry().topLeft());
    }
    if (argc >= 3)
        window.showFullScreen();
    else
        window.show();
    return QGuiApplication::exec();
}
