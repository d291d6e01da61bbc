#!/usr/bin/python3
# SPDX-License-Identifier: GPL-3.0-or-later
"""The desktop portal's RemoteDesktop and ScreenCast, as far as the program uses them, on a
private session bus: a granted session is forwarded to mutter's own RemoteDesktop and ScreenCast
interfaces, one stream per monitor, so that the clicks really land. The test steers it through
org.varbelo.test.StandIn: the answer the prompt gives, and the end of every session."""
import uuid

import dbus
import dbus.mainloop.glib
import dbus.service
from gi.repository import GLib

PORTAL = 'org.freedesktop.portal'
MUTTER = 'org.gnome.Mutter'
BASE = '/org/freedesktop/portal/desktop'


class Request(dbus.service.Object):
    @dbus.service.signal(PORTAL + '.Request', signature='ua{sv}')
    def Response(self, code, results):
        pass

    def answer(self, code, results):
        self.Response(dbus.UInt32(code), results)
        self.remove_from_connection()


class Session(dbus.service.Object):
    def __init__(self, bus, path):
        super().__init__(bus, path)
        self.path = path
        self.rd = None  # mutter's remote desktop session, once started
        self.streams = {}  # PipeWire node id -> mutter stream path
        self.options = {}

    def stop(self):
        if self.rd:
            self.rd.Stop(dbus_interface=MUTTER + '.RemoteDesktop.Session')  # mutter lets go of what its virtual pointer holds
            self.rd = None
        self.remove_from_connection()

    @dbus.service.method(PORTAL + '.Session')
    def Close(self):
        self.stop()

    @dbus.service.signal(PORTAL + '.Session', signature='a{sv}')
    def Closed(self, details):
        pass


class Portal(dbus.service.Object):
    def __init__(self, bus):
        super().__init__(bus, BASE)
        self.bus = bus
        self.sessions = {}
        self.answer = 0
        self.calls = []

    def request(self, sender, options, code=0, results=None, later=False):
        path = '%s/request/%s/%s' % (BASE, sender[1:].replace('.', '_'), options['handle_token'])
        req = Request(self.bus, path)
        if not later:
            GLib.idle_add(lambda: req.answer(code, results or {}) and False)
        return req

    def log(self, line):
        self.calls.append(line)

    @dbus.service.method('org.freedesktop.DBus.Properties', in_signature='ss',
                         out_signature='v')
    def Get(self, interface, name):
        return dbus.UInt32(2 if interface.endswith('RemoteDesktop') else 4)

    @dbus.service.method(PORTAL + '.RemoteDesktop', in_signature='a{sv}', out_signature='o',
                         sender_keyword='sender')
    def CreateSession(self, options, sender):
        path = '%s/session/%s/%s' % (BASE, sender[1:].replace('.', '_'),
                                     options['session_handle_token'])
        self.sessions[path] = Session(self.bus, path)
        return self.request(sender, options, results={'session_handle': path})

    @dbus.service.method(PORTAL + '.RemoteDesktop', in_signature='oa{sv}', out_signature='o',
                         sender_keyword='sender')
    def SelectDevices(self, session, options, sender):
        self.log('SelectDevices types=%d persist_mode=%d restore_token=%s' % (
            options.get('types', 0), options.get('persist_mode', 0),
            options.get('restore_token', '')))
        self.sessions[session].options = options
        return self.request(sender, options)

    @dbus.service.method(PORTAL + '.ScreenCast', in_signature='oa{sv}', out_signature='o',
                         sender_keyword='sender')
    def SelectSources(self, session, options, sender):
        self.log('SelectSources types=%d multiple=%d' % (options.get('types', 0),
                                                         options.get('multiple', False)))
        return self.request(sender, options)

    @dbus.service.method(PORTAL + '.RemoteDesktop', in_signature='osa{sv}', out_signature='o',
                         sender_keyword='sender')
    def Start(self, session_path, parent, options, sender):
        if self.answer:
            return self.request(sender, options, code=self.answer)
        req = self.request(sender, options, later=True)
        session = self.sessions[session_path]
        rd_path = self.bus.get_object(MUTTER + '.RemoteDesktop',
                                      '/org/gnome/Mutter/RemoteDesktop').CreateSession(
                                          dbus_interface=MUTTER + '.RemoteDesktop')
        session.rd = self.bus.get_object(MUTTER + '.RemoteDesktop', rd_path)
        rd_id = session.rd.Get(MUTTER + '.RemoteDesktop.Session', 'SessionId',
                               dbus_interface='org.freedesktop.DBus.Properties')
        cast = self.bus.get_object(MUTTER + '.ScreenCast', self.bus.get_object(
            MUTTER + '.ScreenCast', '/org/gnome/Mutter/ScreenCast').CreateSession(
                {'remote-desktop-session-id': rd_id}, dbus_interface=MUTTER + '.ScreenCast'))
        state = self.bus.get_object(MUTTER + '.DisplayConfig', '/org/gnome/Mutter/DisplayConfig')
        monitors = state.GetCurrentState(dbus_interface=MUTTER + '.DisplayConfig')[1]
        streams = []

        def added(node, stream):
            params = stream.Get(MUTTER + '.ScreenCast.Stream', 'Parameters',
                                dbus_interface='org.freedesktop.DBus.Properties')
            session.streams[int(node)] = stream.object_path
            streams.append((dbus.UInt32(node), {
                'position': dbus.Struct(params['position'], signature='ii'),
                'size': dbus.Struct(params['size'], signature='ii'),
                'source_type': dbus.UInt32(1)}))
            if len(streams) == len(monitors):
                results = {'devices': dbus.UInt32(2), 'streams': dbus.Array(
                    sorted(streams), signature='(ua{sv})')}
                if session.options.get('persist_mode') == 2:
                    results['restore_token'] = str(uuid.uuid4())
                self.log('Start granted restore_token=%s' % results.get('restore_token', ''))
                req.answer(0, results)

        for monitor in monitors:
            stream = self.bus.get_object(MUTTER + '.ScreenCast', cast.RecordMonitor(
                monitor[0][0], {}, dbus_interface=MUTTER + '.ScreenCast.Session'))
            stream.connect_to_signal('PipeWireStreamAdded',
                                     lambda node, s=stream: added(node, s),
                                     dbus_interface=MUTTER + '.ScreenCast.Stream')
        session.rd.Start(dbus_interface=MUTTER + '.RemoteDesktop.Session')
        return req

    def forward(self, session_path):
        return self.sessions[session_path].rd

    @dbus.service.method(PORTAL + '.RemoteDesktop', in_signature='oa{sv}udd')
    def NotifyPointerMotionAbsolute(self, session, options, node, x, y):
        self.forward(session).NotifyPointerMotionAbsolute(
            self.sessions[session].streams[int(node)], x, y,
            dbus_interface=MUTTER + '.RemoteDesktop.Session')

    @dbus.service.method(PORTAL + '.RemoteDesktop', in_signature='oa{sv}iu')
    def NotifyPointerButton(self, session, options, button, state):
        self.forward(session).NotifyPointerButton(button, bool(state),
                                                  dbus_interface=MUTTER + '.RemoteDesktop.Session')

    @dbus.service.method('org.varbelo.test.StandIn', in_signature='u')
    def SetAnswer(self, code):
        self.answer = code

    @dbus.service.method('org.varbelo.test.StandIn')
    def CloseSessions(self):
        for session in self.sessions.values():
            if session.rd:
                session.Closed({})
                session.stop()
        self.sessions.clear()

    @dbus.service.method('org.varbelo.test.StandIn', out_signature='as')
    def Calls(self):
        return self.calls


dbus.mainloop.glib.DBusGMainLoop(set_as_default=True)
bus = dbus.SessionBus()
portal = Portal(bus)
# A desktop has a mouse before any program asks for remote control, and clients bind their pointer
# when the seat first has one: a headless mutter gets one only from a remote-desktop session.
mouse = bus.get_object(MUTTER + '.RemoteDesktop', bus.get_object(
    MUTTER + '.RemoteDesktop', '/org/gnome/Mutter/RemoteDesktop').CreateSession(
        dbus_interface=MUTTER + '.RemoteDesktop'))
mouse.Start(dbus_interface=MUTTER + '.RemoteDesktop.Session')
mouse.NotifyPointerMotionRelative(0.0, 0.0, dbus_interface=MUTTER + '.RemoteDesktop.Session')
name = dbus.service.BusName(PORTAL + '.Desktop', bus)
print('ready', flush=True)
GLib.MainLoop().run()
