#!/usr/bin/python3
# SPDX-License-Identifier: GPL-3.0-or-later
"""The desktop portal's RemoteDesktop and ScreenCast, as far as the program uses
them, on a private session bus: a granted remote-desktop session is forwarded to mutter's own
RemoteDesktop and ScreenCast interfaces, one stream per monitor, so that the clicks really land.
It takes an app id through the host registry, as xdg-desktop-portal 1.19.3 and later do, and
notes whether it came before the caller's first portal call. It says and does what
xdg-desktop-portal-gnome 43 does (src/gnomescreencast.c, remotedesktop.c):
each stream's position and size are mutter's Parameters of it, the streams are listed last
recorded first, and input goes on to mutter unchanged, without waiting for its answer.
The test steers it through org.varbelo.test.StandIn: the answer the prompt gives, whether the
streams tell their positions, whether it refuses moves, the end of every session and the log of the requests and their options; and it lends the test the desktop's
own mouse and keyboard (org.varbelo.test.Hand). Usage: standin_portal.py [--hand-only] [SCALE]:
with SCALE, the monitors are first laid side by side in the order of their connectors, the last
one at that scale; with --hand-only, the hand alone, beside the desktop's real portal.
"""
import sys
import uuid

import dbus
import dbus.mainloop.glib
import dbus.service
from gi.repository import GLib

PORTAL = 'org.freedesktop.portal'
BASE = '/org/freedesktop/portal/desktop'
TEST = 'org.varbelo.test.StandIn'


def mutter(interface, path, method, *args):
    """Calls METHOD of org.gnome.Mutter.INTERFACE (or of INTERFACE's object at PATH)."""
    name = 'org.gnome.Mutter.' + interface.split('.')[0]
    return getattr(bus.get_object(name, path), method)(
        *args, dbus_interface='org.gnome.Mutter.' + interface)


def parameters(stream):
    return stream.Get('org.gnome.Mutter.ScreenCast.Stream', 'Parameters',
                      dbus_interface='org.freedesktop.DBus.Properties')


def display_state():
    """mutter's serial, monitors, logical monitors and whether the layout is logical."""
    serial, monitors, logical_monitors, properties = mutter(
        'DisplayConfig', '/org/gnome/Mutter/DisplayConfig', 'GetCurrentState')
    return serial, monitors, logical_monitors, properties.get('layout-mode') == 1


def lay_out(scale):
    serial, monitors, _, logical = display_state()
    config, x = [], 0
    for i, monitor in enumerate(sorted(monitors, key=lambda m: m[0][0])):
        mode = next(mode for mode in monitor[1] if mode[6].get('is-current'))
        at = scale if i == len(monitors) - 1 else 1.0
        config.append((x, 0, at, 0, i == 0, [(monitor[0][0], mode[0], {})]))
        x += round(mode[1] / at) if logical else mode[1]
    mutter('DisplayConfig', '/org/gnome/Mutter/DisplayConfig', 'ApplyMonitorsConfig', serial, 1,
           dbus.Array(config, signature='(iiduba(ssa{sv}))'), dbus.Dictionary({}, signature='sv'))


def remote_session():
    """A remote-desktop session of mutter's and the screen-cast session tied to it."""
    rd = mutter('RemoteDesktop', '/org/gnome/Mutter/RemoteDesktop', 'CreateSession')
    rd_id = bus.get_object('org.gnome.Mutter.RemoteDesktop', rd).Get(
        'org.gnome.Mutter.RemoteDesktop.Session', 'SessionId',
        dbus_interface='org.freedesktop.DBus.Properties')
    return rd, mutter('ScreenCast', '/org/gnome/Mutter/ScreenCast', 'CreateSession',
                      {'remote-desktop-session-id': rd_id})


class Mouse:
    """The desktop's own mouse and keyboard: a remote-desktop session of mutter's with a stream
    per monitor for its absolute moves, which mutter reads as the monitor's position plus the
    stream position divided by the monitor's scale in the logical layout, by 1 in the physical
    one (meta-screen-cast-monitor-stream.c)."""

    def __init__(self):
        self.rd, cast = remote_session()
        _, monitors, logical_monitors, logical = display_state()
        scales = {(m[0], m[1]): m[2] if logical else 1.0 for m in logical_monitors}
        self.streams = []  # (x, y, width, height, scale, stream)
        for monitor in monitors:
            path = mutter('ScreenCast.Session', cast, 'RecordMonitor', monitor[0][0], {})
            params = parameters(bus.get_object('org.gnome.Mutter.ScreenCast', path))
            (x, y), size = params['position'], params['size']
            self.streams.append((x, y, *size, scales[(x, y)], path))
        # One proxy: each new one asks mutter to describe its object first.
        self.session = bus.get_object('org.gnome.Mutter.RemoteDesktop', self.rd)
        self.call('Start')

    def call(self, method, *args):
        getattr(self.session, method)(*args,
                                      dbus_interface='org.gnome.Mutter.RemoteDesktop.Session')

    def point(self, x, y):
        for left, top, width, height, scale, path in self.streams:
            if left <= x < left + width and top <= y < top + height:
                self.call('NotifyPointerMotionAbsolute', path, (x - left) * scale,
                          (y - top) * scale)


def handle(kind, sender, token):
    return '%s/%s/%s/%s' % (BASE, kind, sender[1:].replace('.', '_'), token)


class Request(dbus.service.Object):
    @dbus.service.signal(PORTAL + '.Request', signature='ua{sv}')
    def Response(self, code, results):
        pass

    def answer(self, code, results):
        self.Response(dbus.UInt32(code), results)
        self.remove_from_connection()


class Session(dbus.service.Object):
    rd = None  # mutter's remote desktop session, once started
    persist = False
    open = True

    def forward(self, method, *args):
        """Passes input on as GNOME's portal does: to mutter's session, not waiting for it."""
        getattr(self.proxy, method)(*args, dbus_interface='org.gnome.Mutter.RemoteDesktop.Session',
                                    reply_handler=lambda: None, error_handler=lambda _: None)

    def stop(self):
        self.open = False
        if self.rd:
            mutter('RemoteDesktop.Session', self.rd, 'Stop')  # its virtual pointer lets go
            self.rd = None
        self.remove_from_connection()

    @dbus.service.method(PORTAL + '.Session')
    def Close(self):
        Portal.calls.append('Close')
        self.stop()

    @dbus.service.signal(PORTAL + '.Session', signature='a{sv}')
    def Closed(self, details):
        pass


class Portal(dbus.service.Object):
    answer = 0
    positions = True  # whether the streams say where they lie (the portal may leave it out)
    refuse_moves = False  # every move, as if beyond the streams
    sessions = {}
    calls = []
    callers = set()  # who made a portal call: the host registry wants the app id before that

    def create_session(self, options, sender):
        path = handle('session', sender, options['session_handle_token'])
        self.sessions[path] = Session(bus, path)
        return self.request('CreateSession', sender, options, {'session_handle': path})

    def request(self, line, sender, options, results=None, code=0):
        self.callers.add(sender)
        self.calls.append(' '.join([line] + ['%s=%s' % (key, int(value) if isinstance(
            value, (dbus.UInt32, dbus.Boolean)) else value) for key, value in sorted(
                options.items()) if not key.endswith('handle_token')]))
        req = Request(bus, handle('request', sender, options['handle_token']))
        if results is not None:
            GLib.idle_add(lambda: req.answer(code, results) and False)
        return req

    @dbus.service.method('org.freedesktop.DBus.Properties', in_signature='ss', out_signature='v',
                         sender_keyword='sender')
    def Get(self, interface, name, sender):
        self.callers.add(sender)
        return dbus.UInt32(2)  # the RemoteDesktop version that remembers grants

    @dbus.service.method('org.freedesktop.host.portal.Registry', in_signature='sa{sv}',
                         sender_keyword='sender')
    def Register(self, app_id, options, sender):
        self.calls.append('Register %s first=%d' % (app_id, sender not in self.callers))
        self.callers.add(sender)

    @dbus.service.method(PORTAL + '.RemoteDesktop', in_signature='a{sv}', out_signature='o',
                         sender_keyword='sender')
    def CreateSession(self, options, sender):
        return self.create_session(options, sender)

    @dbus.service.method(PORTAL + '.RemoteDesktop', in_signature='oa{sv}', out_signature='o',
                         sender_keyword='sender')
    def SelectDevices(self, session, options, sender):
        self.sessions[session].persist = options.get('persist_mode') == 2
        return self.request('SelectDevices', sender, options, {})

    @dbus.service.method(PORTAL + '.ScreenCast', in_signature='oa{sv}', out_signature='o',
                         sender_keyword='sender')
    def SelectSources(self, session, options, sender):
        return self.request('SelectSources', sender, options, {})

    @dbus.service.method(PORTAL + '.RemoteDesktop', in_signature='osa{sv}', out_signature='o',
                         sender_keyword='sender')
    def Start(self, session_path, parent, options, sender):
        if self.answer:
            return self.request('Start', sender, options, {}, self.answer)
        req = self.request('Start', sender, options)
        session = self.sessions[session_path]
        session.rd, cast = remote_session()
        monitors = mutter('DisplayConfig', '/org/gnome/Mutter/DisplayConfig',
                          'GetCurrentState')[1]
        session.streams = {}  # PipeWire node id -> mutter's stream
        streams = []

        def added(index, node, stream):
            params = parameters(stream)
            session.streams[int(node)] = stream.object_path
            streams.append((index, (node, {
                'id': str(index), 'source_type': dbus.UInt32(1),
                **{key: dbus.Struct(params[key], signature='ii') for key in (
                    ('position', 'size') if self.positions else ('size',))}
            })))
            if len(streams) == len(monitors):
                results = {'devices': dbus.UInt32(2), 'streams': dbus.Array(
                    [stream for _, stream in sorted(streams, reverse=True)], signature='(ua{sv})')}
                if session.persist:
                    results['restore_token'] = str(uuid.uuid4())
                    self.calls.append('granted restore_token=' + results['restore_token'])
                req.answer(0, results)

        for index, monitor in enumerate(monitors):
            stream = bus.get_object('org.gnome.Mutter.ScreenCast', mutter(
                'ScreenCast.Session', cast, 'RecordMonitor', monitor[0][0], {}))
            stream.connect_to_signal(
                'PipeWireStreamAdded', lambda node, i=index, s=stream: added(i, node, s),
                dbus_interface='org.gnome.Mutter.ScreenCast.Stream')
        session.proxy = bus.get_object('org.gnome.Mutter.RemoteDesktop', session.rd)
        mutter('RemoteDesktop.Session', session.rd, 'Start')
        return req

    @dbus.service.method(PORTAL + '.RemoteDesktop', in_signature='oa{sv}udd')
    def NotifyPointerMotionAbsolute(self, session, options, node, x, y):
        # xdg-desktop-portal refuses a position beyond every stream's size (remote-desktop.c,
        # check_position), though mutter wants a scaled monitor's pixels there.
        sizes = [parameters(bus.get_object('org.gnome.Mutter.ScreenCast', path))['size']
                 for path in self.sessions[session].streams.values()]
        if self.refuse_moves or not any(x < w and y < h for w, h in sizes):
            raise dbus.exceptions.DBusException('Invalid position',
                                                name='org.freedesktop.DBus.Error.Failed')
        self.sessions[session].forward('NotifyPointerMotionAbsolute',
                                       self.sessions[session].streams[int(node)], x, y)

    @dbus.service.method(PORTAL + '.RemoteDesktop', in_signature='oa{sv}dd')
    def NotifyPointerMotion(self, session, options, dx, dy):
        self.sessions[session].forward('NotifyPointerMotionRelative', dx, dy)

    @dbus.service.method(PORTAL + '.RemoteDesktop', in_signature='oa{sv}iu')
    def NotifyPointerButton(self, session, options, button, state):
        self.sessions[session].forward('NotifyPointerButton', button, bool(state))

    @dbus.service.method(TEST, in_signature='u')
    def SetAnswer(self, code):
        self.answer = code

    @dbus.service.method(TEST, in_signature='b')
    def SetPositions(self, given):
        self.positions = given

    @dbus.service.method(TEST, in_signature='b')
    def RefuseMoves(self, refuse):
        self.refuse_moves = refuse

    @dbus.service.method(TEST)
    def CloseSessions(self):
        for session in self.sessions.values():
            if session.rd:
                session.Closed({})
                session.stop()
        self.sessions.clear()

    @dbus.service.method(TEST, out_signature='as')
    def Calls(self):
        return self.calls


class Hand(dbus.service.Object):
    """The desktop's own mouse and keyboard, for the test: a move to a layout position, the left
    button, a key of KEYSYMS. Lent beside the real portal too, to answer its dialogs."""

    @dbus.service.method(TEST, in_signature='ii')
    def Point(self, x, y):
        mouse.point(x, y)

    @dbus.service.method(TEST, in_signature='b')
    def Button(self, down):
        mouse.call('NotifyPointerButton', 0x110, down)

    @dbus.service.method(TEST, in_signature='sb')
    def Key(self, name, down):
        mouse.call('NotifyKeyboardKeysym', dbus.UInt32(KEYSYMS[name]), down)

    @dbus.service.method(TEST, out_signature='s')
    def Active(self):
        """The title of the application window that has the keyboard, as the accessibility bus
        tells it (the shell's own stage aside): what a user sees before typing into a dialog."""
        import gi
        gi.require_version('Atspi', '2.0')
        from gi.repository import Atspi
        desktop = Atspi.get_desktop(0)
        for app in (desktop.get_child_at_index(i) for i in range(desktop.get_child_count())):
            if app is None or app.get_name() == 'gnome-shell':
                continue
            for window in (app.get_child_at_index(i) for i in range(app.get_child_count())):
                if window and window.get_state_set().contains(Atspi.StateType.ACTIVE):
                    return window.get_name()
        return ''


KEYSYMS = {'space': 0x20, 'Tab': 0xff09, 'Escape': 0xff1b, 'Right': 0xff53,
           'Shift_L': 0xffe1, 'Alt_L': 0xffe9, 'Super_L': 0xffeb,
           **{str(d): 0x30 + d for d in range(10)}, **{c: ord(c) for c in 'aiqs'}}


dbus.mainloop.glib.DBusGMainLoop(set_as_default=True)
bus = dbus.SessionBus()
# A desktop has a mouse and a keyboard before any program asks for remote control, and clients
# bind them when the seat first has them: a headless mutter gets each only from a remote-desktop
# session's first event of its kind, and without them the clients miss the first press of the
# first session and the first key of the test.
hand_only = '--hand-only' in sys.argv
args = [arg for arg in sys.argv[1:] if arg != '--hand-only']
if args:
    lay_out(float(args[0]))
mouse = Mouse()
mouse.call('NotifyPointerMotionRelative', 0.0, 0.0)
mouse.call('NotifyKeyboardKeysym', dbus.UInt32(KEYSYMS['Shift_L']), True)
mouse.call('NotifyKeyboardKeysym', dbus.UInt32(KEYSYMS['Shift_L']), False)
hand = Hand(bus, '/org/varbelo/test/Hand')
names = [dbus.service.BusName(TEST.rsplit('.', 1)[0] + '.Hand', bus)]
if not hand_only:
    portal = Portal(bus, BASE)
    names.append(dbus.service.BusName(PORTAL + '.Desktop', bus))
print('ready', flush=True)
GLib.MainLoop().run()
