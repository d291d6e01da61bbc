#!/usr/bin/python3
# SPDX-License-Identifier: GPL-3.0-or-later
"""The desktop portal's RemoteDesktop and ScreenCast, as far as the program uses
them, on a private session bus: a granted remote-desktop session is forwarded to mutter's own
RemoteDesktop and ScreenCast interfaces, one stream per monitor, so that the clicks really land.
The test steers it through org.varbelo.test.StandIn: the answer the prompt gives, the end of
every session and the log of the requests and their options."""
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
    sessions = {}
    calls = []

    def create_session(self, options, sender):
        path = handle('session', sender, options['session_handle_token'])
        self.sessions[path] = Session(bus, path)
        return self.request('CreateSession', sender, options, {'session_handle': path})

    def request(self, line, sender, options, results=None, code=0):
        self.calls.append(' '.join([line] + ['%s=%s' % (key, int(value) if isinstance(
            value, (dbus.UInt32, dbus.Boolean)) else value) for key, value in sorted(
                options.items()) if not key.endswith('handle_token')]))
        req = Request(bus, handle('request', sender, options['handle_token']))
        if results is not None:
            GLib.idle_add(lambda: req.answer(code, results) and False)
        return req

    @dbus.service.method('org.freedesktop.DBus.Properties', in_signature='ss', out_signature='v')
    def Get(self, interface, name):
        return dbus.UInt32(2)  # the RemoteDesktop version that remembers grants

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
        session.rd = mutter('RemoteDesktop', '/org/gnome/Mutter/RemoteDesktop', 'CreateSession')
        rd_id = bus.get_object('org.gnome.Mutter.RemoteDesktop', session.rd).Get(
            'org.gnome.Mutter.RemoteDesktop.Session', 'SessionId',
            dbus_interface='org.freedesktop.DBus.Properties')
        cast = mutter('ScreenCast', '/org/gnome/Mutter/ScreenCast', 'CreateSession',
                      {'remote-desktop-session-id': rd_id})
        monitors = mutter('DisplayConfig', '/org/gnome/Mutter/DisplayConfig',
                          'GetCurrentState')[1]
        session.streams = {}  # PipeWire node id -> mutter's stream
        streams = []

        def added(node, stream):
            params = stream.Get('org.gnome.Mutter.ScreenCast.Stream', 'Parameters',
                                dbus_interface='org.freedesktop.DBus.Properties')
            session.streams[int(node)] = stream.object_path
            streams.append((node, {key: dbus.Struct(params[key], signature='ii')
                                   for key in ('position', 'size')}))
            if len(streams) == len(monitors):
                results = {'devices': dbus.UInt32(2),
                           'streams': dbus.Array(sorted(streams), signature='(ua{sv})')}
                if session.persist:
                    results['restore_token'] = str(uuid.uuid4())
                    self.calls.append('granted restore_token=' + results['restore_token'])
                req.answer(0, results)

        for monitor in monitors:
            stream = bus.get_object('org.gnome.Mutter.ScreenCast', mutter(
                'ScreenCast.Session', cast, 'RecordMonitor', monitor[0][0], {}))
            stream.connect_to_signal('PipeWireStreamAdded', lambda node, s=stream: added(node, s),
                                     dbus_interface='org.gnome.Mutter.ScreenCast.Stream')
        mutter('RemoteDesktop.Session', session.rd, 'Start')
        return req

    @dbus.service.method(PORTAL + '.RemoteDesktop', in_signature='oa{sv}udd')
    def NotifyPointerMotionAbsolute(self, session, options, node, x, y):
        mutter('RemoteDesktop.Session', self.sessions[session].rd, 'NotifyPointerMotionAbsolute',
               self.sessions[session].streams[int(node)], x, y)

    @dbus.service.method(PORTAL + '.RemoteDesktop', in_signature='oa{sv}iu')
    def NotifyPointerButton(self, session, options, button, state):
        mutter('RemoteDesktop.Session', self.sessions[session].rd, 'NotifyPointerButton', button,
               bool(state))

    @dbus.service.method(TEST, in_signature='u')
    def SetAnswer(self, code):
        self.answer = code

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


dbus.mainloop.glib.DBusGMainLoop(set_as_default=True)
bus = dbus.SessionBus()
# A desktop has a mouse before any program asks for remote control, and clients bind their pointer
# when the seat first has one: a headless mutter gets one only from a remote-desktop session, and
# without it the clients miss the first press of the first session.
mouse = mutter('RemoteDesktop', '/org/gnome/Mutter/RemoteDesktop', 'CreateSession')
mutter('RemoteDesktop.Session', mouse, 'Start')
mutter('RemoteDesktop.Session', mouse, 'NotifyPointerMotionRelative', 0.0, 0.0)
portal = Portal(bus, BASE)
name = dbus.service.BusName(PORTAL + '.Desktop', bus)
print('ready', flush=True)
GLib.MainLoop().run()
