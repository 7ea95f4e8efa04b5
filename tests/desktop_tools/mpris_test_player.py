#!/usr/bin/python3
"""mpris_test_player.py NAME STATUS TITLE ARTIST ALBUM

A media player that the real playerctl can see and control. It plays nothing;
each transport call appends its name to the album, so that a reader of the
metadata sees which calls really reached a player.
"""
import sys

import dbus
import dbus.service
from dbus.mainloop.glib import DBusGMainLoop
from gi.repository import GLib

PLAYER = "org.mpris.MediaPlayer2.Player"


class Player(dbus.service.Object):
    def __init__(self, name, status, title, artist, album):
        super().__init__(dbus.SessionBus(), "/org/mpris/MediaPlayer2")
        self.status, self.title, self.artist, self.album = (
            status, title, artist, album)
        # Taken once the object serves; a name already taken ends the player.
        self.name = dbus.service.BusName(
            "org.mpris.MediaPlayer2." + name, self.connection,
            do_not_queue=True)

    @dbus.service.method(PLAYER)
    def PlayPause(self):
        self.album += " PlayPause"
        self.status = "Paused" if self.status == "Playing" else "Playing"

    @dbus.service.method(PLAYER)
    def Next(self):
        self.album += " Next"

    @dbus.service.method(PLAYER)
    def Previous(self):
        self.album += " Previous"

    # Every playerctl run asks anew, so a change needs no signal.
    @dbus.service.method(dbus.PROPERTIES_IFACE, "s", "a{sv}")
    def GetAll(self, interface):
        if interface != PLAYER:
            return {}
        metadata = dbus.Dictionary({
            "xesam:title": self.title,
            "xesam:artist": dbus.Array([self.artist], "s"),
            "xesam:album": self.album}, "sv")
        return {"PlaybackStatus": self.status, "Metadata": metadata,
                "CanGoNext": True, "CanGoPrevious": True, "CanPlay": True}


DBusGMainLoop(set_as_default=True)
player = Player(*sys.argv[1:])
GLib.MainLoop().run()
