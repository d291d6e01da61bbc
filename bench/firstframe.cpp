// SPDX-License-Identifier: GPL-3.0-or-later
// Start-up time of the program as a user sees it: from exec to the first frame of its window on
// the screen. Usage: firstframe STARTS TITLE PROGRAM [ARGS...]
//
// How "first painted frame" is told from outside: Qt creates its windows without a background,
// so until the program draws, the screen under its client area shows whatever was there. A
// first, unmeasured start learns the colours of a few points of the finished window (the face of
// the Execute button, the window background, the inside of an empty coordinate box, the scroll
// bar's groove) once they have stopped changing. In each measured start the window is found as
// soon as it is created (SubstructureNotify on the root, then its WM_NAME), and from then on the
// points are read every half millisecond with XGetImage on the window itself; the first moment
// all of them show their finished colours is the first painted frame. Qt draws a window from its
// backing store in one go, so that is the whole first frame, not a part of one. The reading
// costs a round trip per point, well under the half millisecond it is repeated at.
//
// Prints one line per measured start: "start N MS VMHWM_KB" (VmHWM read right after the frame),
// and "warning ..." lines for anything that makes a figure doubtful. Each start is ended with
// SIGTERM (the program closes its window) and waited for, window gone, before the next.
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <array>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <fcntl.h>
#include <fstream>
#include <poll.h>
#include <set>
#include <signal.h>
#include <string>
#include <sys/wait.h>
#include <unistd.h>
#include <utility>
#include <vector>

namespace {

volatile sig_atomic_t child = 0;

void onSignal(int)
{
    if (child > 0)
        kill(child, SIGKILL);
    _exit(1);
}

// Windows that are not yet viewable or already gone answer XGetImage and property requests with
// errors; those are expected here and mean "not yet" or "no longer".
int ignoreErrors(Display *, XErrorEvent *)
{
    return 0;
}

double nowMs()
{
    timespec ts {};
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return double(ts.tv_sec) * 1e3 + double(ts.tv_nsec) / 1e6;
}

// Client-area points at 96 dpi (442 x 386), scaled to the window's actual size.
struct Point
{
    int x, y;
};
constexpr std::array<Point, 4> Points96 {{
        {340, 372}, // Execute button face, clear of its caption
        {380, 200}, // window background between the loop box and the status line
        {100, 120}, // inside the empty Y box of row 6
        {280, 250}, // scroll bar groove below the thumb
}};
constexpr int Width96 = 442, Height96 = 386;

long vmHwmKb(pid_t pid)
{
    std::ifstream status("/proc/" + std::to_string(pid) + "/status");
    std::string line;
    while (std::getline(status, line))
        if (line.rfind("VmHWM:", 0) == 0)
            return std::atol(line.c_str() + 6);
    return -1;
}

class Probe
{
public:
    Probe(Display *display, std::string title)
        : m_title(std::move(title)), m_display(display), m_root(DefaultRootWindow(display))
    {
    }

    // Starts the program and waits for its window: the pid, or -1 with a message.
    pid_t start(char **argv, double &startedAt)
    {
        m_window = None;
        m_candidates.clear();
        m_destroyed = false;
        XSync(m_display, False);
        drain();
        startedAt = nowMs();
        const pid_t pid = fork();
        if (pid == 0) {
            execvp(argv[0], argv);
            std::fprintf(stderr, "firstframe: cannot run %s: %s\n", argv[0], std::strerror(errno));
            _exit(127);
        }
        child = pid;
        return pid;
    }

    // Handles what the server sent, then waits up to timeoutMs for more.
    void pump(double timeoutMs)
    {
        drain();
        pollfd fd {ConnectionNumber(m_display), POLLIN, 0};
        timespec ts {0, long(timeoutMs * 1e6)};
        ppoll(&fd, 1, &ts, nullptr);
        drain();
    }

    Window window() const { return m_window; }
    bool destroyed() const { return m_destroyed; }

    // The points' colours, or false while the window cannot be read.
    bool sample(std::vector<unsigned long> &pixels)
    {
        XWindowAttributes attributes;
        if (!m_size.width) {
            if (!XGetWindowAttributes(m_display, m_window, &attributes))
                return false;
            m_size = {attributes.width, attributes.height};
        }
        pixels.clear();
        for (const Point &p : Points96) {
            const int x = p.x * m_size.width / Width96, y = p.y * m_size.height / Height96;
            XImage *image = XGetImage(m_display, m_window, x, y, 1, 1, AllPlanes, ZPixmap);
            if (!image)
                return false;
            pixels.push_back(XGetPixel(image, 0, 0));
            XDestroyImage(image);
        }
        return true;
    }

private:
    struct Size
    {
        int width = 0, height = 0;
    };

    void drain()
    {
        while (XPending(m_display) > 0) {
            XEvent e;
            XNextEvent(m_display, &e);
            if (e.type == CreateNotify && e.xcreatewindow.parent == m_root && m_window == None) {
                // Its name, map and end are what matter; selected before anything else can
                // happen to it that would go unseen.
                XSelectInput(m_display, e.xcreatewindow.window,
                             StructureNotifyMask | PropertyChangeMask);
                m_candidates.insert(e.xcreatewindow.window);
                check(e.xcreatewindow.window);
            } else if ((e.type == PropertyNotify || e.type == MapNotify) && m_window == None
                       && m_candidates.count(e.xany.window)) {
                check(e.xany.window);
            } else if (e.type == DestroyNotify && e.xdestroywindow.window == m_window
                       && m_window != None) {
                m_destroyed = true;
            }
        }
    }

    void check(Window w)
    {
        char *name = nullptr;
        if (XFetchName(m_display, w, &name) && name) {
            if (m_title == name) {
                m_window = w;
                m_size = {0, 0};
            }
            XFree(name);
        }
    }

    const std::string m_title;
    Display *m_display;
    Window m_root;
    Window m_window = None;
    std::set<Window> m_candidates;
    bool m_destroyed = false;
    Size m_size;
};

// Ends a start: SIGTERM, then SIGKILL if it lingers; waits for its window to go too, so the next
// start meets an empty screen and a free lock.
void finish(Probe &probe, pid_t pid)
{
    kill(pid, SIGTERM);
    const double deadline = nowMs() + 5000;
    int status = 0;
    while (waitpid(pid, &status, WNOHANG) == 0) {
        if (nowMs() > deadline) {
            std::printf("warning the program did not end within 5 s of SIGTERM; killed\n");
            kill(pid, SIGKILL);
            waitpid(pid, &status, 0);
            break;
        }
        probe.pump(10);
    }
    child = 0;
    const double gone = nowMs() + 2000;
    while (probe.window() != None && !probe.destroyed() && nowMs() < gone)
        probe.pump(10);
    // Let the window manager finish unmanaging it.
    const double settle = nowMs() + 150;
    while (nowMs() < settle)
        probe.pump(10);
}

} // namespace

int main(int argc, char **argv)
{
    if (argc < 4) {
        std::fprintf(stderr, "usage: %s STARTS TITLE PROGRAM [ARGS...]\n", argv[0]);
        return 2;
    }
    const int starts = std::atoi(argv[1]);
    char **programArgv = argv + 3;

    signal(SIGTERM, onSignal);
    signal(SIGINT, onSignal);
    signal(SIGHUP, onSignal);

    Display *display = XOpenDisplay(nullptr);
    if (!display) {
        std::fprintf(stderr, "firstframe: cannot open the display\n");
        return 1;
    }
    XSetErrorHandler(ignoreErrors);
    // The program must not inherit this connection.
    fcntl(ConnectionNumber(display), F_SETFD, FD_CLOEXEC);
    XSelectInput(display, DefaultRootWindow(display), SubstructureNotifyMask);

    Probe probe(display, argv[2]);
    std::vector<unsigned long> reference, pixels;

    for (int run = 0; run <= starts; ++run) {
        double startedAt = 0;
        const pid_t pid = probe.start(programArgv, startedAt);
        const double deadline = startedAt + 15000;
        int status = 0;
        bool exited = false;
        while (probe.window() == None && nowMs() < deadline) {
            probe.pump(5);
            if (waitpid(pid, &status, WNOHANG) == pid) {
                exited = true;
                break;
            }
        }
        if (exited || probe.window() == None) {
            if (!exited)
                kill(pid, SIGKILL), waitpid(pid, &status, 0);
            child = 0;
            std::fprintf(stderr, "firstframe: start %d: no window titled \"%s\" appeared (%s)\n",
                         run, argv[2],
                         exited ? ("the program ended with status "
                                   + std::to_string(WIFEXITED(status) ? WEXITSTATUS(status)
                                                                      : 128 + WTERMSIG(status)))
                                          .c_str()
                                : "waited 15 s");
            return 1;
        }

        if (run == 0) {
            // Learn the finished colours: the same reading five times in a row, 100 ms apart.
            std::vector<unsigned long> last;
            int same = 0;
            while (same < 5 && nowMs() < deadline) {
                probe.pump(100);
                if (!probe.sample(pixels)) {
                    same = 0;
                    continue;
                }
                same = pixels == last ? same + 1 : 0;
                last = pixels;
            }
            if (same < 5) {
                std::fprintf(stderr, "firstframe: the window never settled within 15 s\n");
                kill(pid, SIGKILL);
                return 1;
            }
            reference = last;
            if (std::set<unsigned long>(reference.begin(), reference.end()).size() < 2)
                std::printf("warning the reference points show a single colour; the first "
                            "frame cannot be told from an empty area\n");
        } else {
            bool matched = false;
            double frameAt = 0;
            while (nowMs() < deadline) {
                if (probe.sample(pixels)) {
                    if (pixels == reference) {
                        frameAt = nowMs();
                        matched = true;
                        break;
                    }
                }
                probe.pump(0.5);
            }
            if (!matched) {
                std::fprintf(stderr,
                             "firstframe: start %d: the window never showed the colours of "
                             "the first start within 15 s\n",
                             run);
                kill(pid, SIGKILL);
                return 1;
            }
            std::printf("start %d %.1f %ld\n", run, frameAt - startedAt, vmHwmKb(pid));
            std::fflush(stdout);
        }
        finish(probe, pid);
    }
    XCloseDisplay(display);
    return 0;
}
