#!/usr/bin/env python3
"""Asks the window manager to take a window out of its maximised state, as its
title bar's restore button does: a _NET_WM_STATE message to the root window.
Usage: x11_restore.py WINDOW_ID (DISPLAY from the environment)."""
import ctypes
import ctypes.util
import sys


class ClientMessage(ctypes.Structure):
    _fields_ = [("type", ctypes.c_int), ("serial", ctypes.c_ulong), ("send_event", ctypes.c_int),
                ("display", ctypes.c_void_p), ("window", ctypes.c_ulong),
                ("message_type", ctypes.c_ulong), ("format", ctypes.c_int),
                ("data", ctypes.c_long * 5)]


class Event(ctypes.Union):
    _fields_ = [("client", ClientMessage), ("pad", ctypes.c_long * 24)]


def main():
    x11 = ctypes.CDLL(ctypes.util.find_library("X11") or "libX11.so.6")
    x11.XOpenDisplay.restype = ctypes.c_void_p
    x11.XDefaultRootWindow.restype = ctypes.c_ulong
    x11.XDefaultRootWindow.argtypes = [ctypes.c_void_p]
    x11.XInternAtom.restype = ctypes.c_ulong
    x11.XInternAtom.argtypes = [ctypes.c_void_p, ctypes.c_char_p, ctypes.c_int]
    x11.XSendEvent.argtypes = [ctypes.c_void_p, ctypes.c_ulong, ctypes.c_int, ctypes.c_long,
                               ctypes.POINTER(Event)]
    x11.XFlush.argtypes = [ctypes.c_void_p]
    display = x11.XOpenDisplay(None)
    if not display:
        sys.exit("cannot open the display")
    event = Event()
    event.client.type = 33  # ClientMessage
    event.client.window = int(sys.argv[1])
    event.client.message_type = x11.XInternAtom(display, b"_NET_WM_STATE", 0)
    event.client.format = 32
    event.client.data[0] = 0  # _NET_WM_STATE_REMOVE
    event.client.data[1] = x11.XInternAtom(display, b"_NET_WM_STATE_MAXIMIZED_VERT", 0)
    event.client.data[2] = x11.XInternAtom(display, b"_NET_WM_STATE_MAXIMIZED_HORZ", 0)
    event.client.data[3] = 1  # a normal application asks
    substructure = (1 << 19) | (1 << 20)  # SubstructureNotify | SubstructureRedirect
    x11.XSendEvent(display, x11.XDefaultRootWindow(display), 0, substructure,
                   ctypes.byref(event))
    x11.XFlush(display)


if __name__ == "__main__":
    main()
