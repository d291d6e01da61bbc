// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <functional>
#include <string>
#include <vector>

typedef struct _XDisplay Display;

// A button event as a window received it.
struct ReceivedButton
{
    bool press = false;
    unsigned button = 0;
    int x = 0;
    int y = 0;
    int rootX = 0;
    int rootY = 0;
};

// The test's own connection to the X server under test, independent of the backend's: reads the
// pointer, shows a window that records clicks, holds keys with XTEST, grabs the server and
// notices layout changes. Xlib stays in the .cpp, away from Qt's headers.
class TestDisplay
{
public:
    TestDisplay();
    ~TestDisplay();
    TestDisplay(const TestDisplay &) = delete;
    TestDisplay &operator=(const TestDisplay &) = delete;

    bool isOpen() const { return m_display != nullptr; }

    /// The pointer in root-window coordinates.
    bool pointer(int &x, int &y);
    /// Places the pointer as a user would, without the backend.
    void warpPointer(int x, int y);

    /// Maps an undecorated window that records button events; false if it was not mapped in
    /// time.
    bool showWindow(int x, int y, int width, int height, int timeoutMs);
    void destroyWindow();
    /// The window's next button event; false if none came in time.
    bool nextButton(ReceivedButton &button, int timeoutMs);

    /// Presses or releases a key through XTEST and waits until the server has done it.
    void key(unsigned long keysym, bool press);
    /// Releases every key of keysyms that is down.
    void releaseKeys(const std::vector<unsigned long> &keysyms);

    /// Holds the pointer inside a strip of the screen, as a game or a VM viewer does: an
    /// active grab confined to a window there. False if the grab was refused.
    bool confinePointer(int x, int y, int width, int height, int timeoutMs);
    void releasePointer();

    /// While grabbed, the server answers no other client.
    void grabServer();
    void ungrabServer();

    /// Forgets layout changes seen so far, so the next wait is for a new one.
    void forgetLayoutChanges();
    /// Waits for the root window's ConfigureNotify, which RandR monitor changes send.
    bool waitForLayoutChange(int timeoutMs);

private:
    Display *m_display;
    unsigned long m_window = 0;
    unsigned long m_confinement = 0;
};

/// A connection for a backend to take over; nullptr if the server cannot be reached.
Display *openConnection(const char *name);
/// How many requests work sends on the connection.
unsigned long requestsSent(Display *display, const std::function<void()> &work);
/// Cuts a connection as a broken network would, while the server runs on.
void cutConnection(Display *display);
