// SPDX-License-Identifier: GPL-3.0-or-later
// Counts the requests that X clients send over a while, through the server's RECORD extension:
// the benchmark's measure of what an idle program asks of the X server.
// Usage: xrequests SECONDS
// Prints "ready" once recording, then "requests TOTAL" and "client 0xBASE COUNT" per client
// (BASE: the client's resource-id base; a window's id shows which client made it).
#include <X11/Xlib.h>
#include <X11/extensions/record.h>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <poll.h>

namespace {

struct Tally
{
    bool counting = true;
    long total = 0;
    std::map<XID, long> perClient;
};

void intercept(XPointer closure, XRecordInterceptData *data)
{
    auto *tally = reinterpret_cast<Tally *>(closure);
    if (tally->counting && data->category == XRecordFromClient) {
        ++tally->total;
        ++tally->perClient[data->id_base];
    }
    XRecordFreeData(data);
}

} // namespace

int main(int argc, char **argv)
{
    if (argc != 2 || std::atof(argv[1]) <= 0) {
        std::fprintf(stderr, "usage: %s SECONDS\n", argv[0]);
        return 2;
    }
    // RECORD wants two connections: one to set up the context, one that the records arrive on.
    Display *control = XOpenDisplay(nullptr);
    Display *records = XOpenDisplay(nullptr);
    if (!control || !records) {
        std::fprintf(stderr, "xrequests: cannot open the display\n");
        return 1;
    }
    int major = 0, minor = 0;
    if (!XRecordQueryVersion(control, &major, &minor)) {
        std::fprintf(stderr, "xrequests: the X server lacks the RECORD extension\n");
        return 1;
    }
    XRecordRange *range = XRecordAllocRange();
    // Every request: the core ones, and each extension's with all of its minor codes (asked for
    // as core ones, the server's RECORD fails on an extension request).
    range->core_requests.first = 1;
    range->core_requests.last = 127;
    range->ext_requests.ext_major.first = 128;
    range->ext_requests.ext_major.last = 255;
    range->ext_requests.ext_minor.first = 0;
    range->ext_requests.ext_minor.last = 65535;
    XRecordClientSpec clients = XRecordAllClients;
    const XRecordContext context = XRecordCreateContext(control, 0, &clients, 1, &range, 1);
    XSync(control, False);
    Tally tally;
    if (!XRecordEnableContextAsync(records, context, intercept,
                                   reinterpret_cast<XPointer>(&tally))) {
        std::fprintf(stderr, "xrequests: cannot start recording\n");
        return 1;
    }
    std::printf("ready\n");
    std::fflush(stdout);

    const auto end = std::chrono::steady_clock::now()
            + std::chrono::milliseconds(long(std::atof(argv[1]) * 1000));
    while (std::chrono::steady_clock::now() < end) {
        pollfd fd {ConnectionNumber(records), POLLIN, 0};
        poll(&fd, 1, 100);
        XRecordProcessReplies(records);
    }
    tally.counting = false;
    XRecordDisableContext(control, context);
    XRecordFreeContext(control, context);
    XSync(control, False);
    std::printf("requests %ld\n", tally.total);
    for (const auto &[base, count] : tally.perClient)
        std::printf("client 0x%lx %ld\n", base, count);
    XFree(range);
    XCloseDisplay(records);
    XCloseDisplay(control);
    return 0;
}
