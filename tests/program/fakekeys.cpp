// SPDX-License-Identifier: GPL-3.0-or-later
// Types keys into the focused window of KWin through org_kde_kwin_fake_input, for driving the
// program's window where no other tool can (KWin has no virtual keyboard for ordinary clients).
// Usage: fakekeys WORD...   each WORD is digits and '-' typed as they are, or Tab, BackTab,
// Space, Escape; HoldSpace holds Space for 200 ms; @X,Y moves the pointer to global X, Y;
// Wait waits a second.
// KWin lists the interface only to a program whose desktop entry grants it, as for the program.
#include "fake-input-client-protocol.h"

#include <chrono>
#include <cstdio>
#include <cstring>
#include <thread>
#include <linux/input-event-codes.h>
#include <string>
#include <vector>
#include <wayland-client.h>

namespace {

org_kde_kwin_fake_input *g_fakeInput = nullptr;

void global(void *, wl_registry *registry, uint32_t name, const char *interface, uint32_t version)
{
    if (std::strcmp(interface, org_kde_kwin_fake_input_interface.name) == 0 && version >= 4)
        g_fakeInput = static_cast<org_kde_kwin_fake_input *>(
                wl_registry_bind(registry, name, &org_kde_kwin_fake_input_interface, 4));
}

void globalRemove(void *, wl_registry *, uint32_t) { }

std::vector<std::vector<unsigned>> chords(const std::string &word)
{
    if (word == "Tab")
        return {{KEY_TAB}};
    if (word == "BackTab")
        return {{KEY_LEFTSHIFT, KEY_TAB}};
    if (word == "Space" || word == "HoldSpace")
        return {{KEY_SPACE}};
    if (word == "Escape")
        return {{KEY_ESC}};
    static const unsigned digits[] = {KEY_0, KEY_1, KEY_2, KEY_3, KEY_4,
                                      KEY_5, KEY_6, KEY_7, KEY_8, KEY_9};
    std::vector<std::vector<unsigned>> keys;
    for (char c : word) {
        if (c >= '0' && c <= '9')
            keys.push_back({digits[c - '0']});
        else if (c == '-')
            keys.push_back({KEY_MINUS});
        else
            return {};
    }
    return keys;
}

} // namespace

int main(int argc, char **argv)
{
    wl_display *display = wl_display_connect(nullptr);
    if (!display) {
        std::fprintf(stderr, "fakekeys: cannot connect to the Wayland display\n");
        return 1;
    }
    wl_registry *registry = wl_display_get_registry(display);
    static const wl_registry_listener listener {global, globalRemove};
    wl_registry_add_listener(registry, &listener, nullptr);
    wl_display_roundtrip(display);
    if (!g_fakeInput) {
        std::fprintf(stderr, "fakekeys: KWin withholds org_kde_kwin_fake_input (version 4)\n");
        return 1;
    }
    org_kde_kwin_fake_input_authenticate(g_fakeInput, "fakekeys", "test input");
    using namespace std::chrono_literals;
    for (int i = 1; i < argc; ++i) {
        int x, y;
        if (std::sscanf(argv[i], "@%d,%d", &x, &y) == 2) {
            org_kde_kwin_fake_input_pointer_motion_absolute(g_fakeInput, wl_fixed_from_int(x),
                                                            wl_fixed_from_int(y));
            wl_display_roundtrip(display);
            std::this_thread::sleep_for(200ms); // seen by the program's poll before any key
            continue;
        }
        if (std::strcmp(argv[i], "Wait") == 0) {
            std::this_thread::sleep_for(1s);
            continue;
        }
        const bool hold = std::strcmp(argv[i], "HoldSpace") == 0;
        const auto keys = chords(argv[i]);
        if (keys.empty()) {
            std::fprintf(stderr, "fakekeys: cannot type \"%s\"\n", argv[i]);
            return 2;
        }
        for (const auto &chord : keys) {
            for (unsigned key : chord)
                org_kde_kwin_fake_input_keyboard_key(g_fakeInput, key, 1);
            if (hold) { // down across a poll of the program's
                wl_display_roundtrip(display);
                std::this_thread::sleep_for(200ms);
            }
            for (auto key = chord.rbegin(); key != chord.rend(); ++key)
                org_kde_kwin_fake_input_keyboard_key(g_fakeInput, *key, 0);
            wl_display_roundtrip(display); // each key handled before the next
        }
    }
    wl_display_disconnect(display);
    return 0;
}
