#!/usr/bin/env python3
"""Drives a program's window on an X display the way a person would: waits
for the window, types a key into it, clicks into it and asks it to close
through the window manager's close message. Uses only libX11 and libXtst
through ctypes.

usage: x_driver.py wait TITLE SECONDS | key TITLE KEYNAME | close TITLE
       | click TITLE X Y [BUTTON [COUNT]]   (X, Y inside the window; button 3 is the right one)
"""
import ctypes
import ctypes.util
import sys
import time

x11 = ctypes.CDLL(ctypes.util.find_library("X11") or "libX11.so.6")
xtst = ctypes.CDLL(ctypes.util.find_library("Xtst") or "libXtst.so.6")

Window = ctypes.c_ulong
Atom = ctypes.c_ulong

x11.XOpenDisplay.restype = ctypes.c_void_p
x11.XOpenDisplay.argtypes = [ctypes.c_char_p]
x11.XDefaultRootWindow.restype = Window
x11.XDefaultRootWindow.argtypes = [ctypes.c_void_p]
x11.XQueryTree.argtypes = [ctypes.c_void_p, Window, ctypes.POINTER(Window), ctypes.POINTER(Window),
                           ctypes.POINTER(ctypes.POINTER(Window)), ctypes.POINTER(ctypes.c_uint)]
x11.XFetchName.argtypes = [ctypes.c_void_p, Window, ctypes.POINTER(ctypes.c_char_p)]
x11.XFree.argtypes = [ctypes.c_void_p]
x11.XInternAtom.restype = Atom
x11.XInternAtom.argtypes = [ctypes.c_void_p, ctypes.c_char_p, ctypes.c_int]
x11.XSetInputFocus.argtypes = [ctypes.c_void_p, Window, ctypes.c_int, ctypes.c_ulong]
x11.XRaiseWindow.argtypes = [ctypes.c_void_p, Window]
x11.XStringToKeysym.restype = ctypes.c_ulong
x11.XStringToKeysym.argtypes = [ctypes.c_char_p]
x11.XKeysymToKeycode.restype = ctypes.c_ubyte
x11.XKeysymToKeycode.argtypes = [ctypes.c_void_p, ctypes.c_ulong]
x11.XFlush.argtypes = [ctypes.c_void_p]
x11.XSync.argtypes = [ctypes.c_void_p, ctypes.c_int]
x11.XSendEvent.argtypes = [ctypes.c_void_p, Window, ctypes.c_int, ctypes.c_long, ctypes.c_void_p]
x11.XGetWindowAttributes.argtypes = [ctypes.c_void_p, Window, ctypes.c_void_p]
xtst.XTestFakeKeyEvent.argtypes = [ctypes.c_void_p, ctypes.c_uint, ctypes.c_int, ctypes.c_ulong]
xtst.XTestFakeButtonEvent.argtypes = [ctypes.c_void_p, ctypes.c_uint, ctypes.c_int, ctypes.c_ulong]
xtst.XTestFakeMotionEvent.argtypes = [ctypes.c_void_p, ctypes.c_int, ctypes.c_int, ctypes.c_int, ctypes.c_ulong]
x11.XTranslateCoordinates.argtypes = [ctypes.c_void_p, Window, Window, ctypes.c_int, ctypes.c_int,
                                      ctypes.POINTER(ctypes.c_int), ctypes.POINTER(ctypes.c_int),
                                      ctypes.POINTER(Window)]


class WindowAttributes(ctypes.Structure):
    _fields_ = [("x", ctypes.c_int), ("y", ctypes.c_int), ("width", ctypes.c_int), ("height", ctypes.c_int),
                ("border_width", ctypes.c_int), ("depth", ctypes.c_int), ("visual", ctypes.c_void_p),
                ("root", Window), ("c_class", ctypes.c_int), ("bit_gravity", ctypes.c_int),
                ("win_gravity", ctypes.c_int), ("backing_store", ctypes.c_int), ("backing_planes", ctypes.c_ulong),
                ("backing_pixel", ctypes.c_ulong), ("save_under", ctypes.c_int), ("colormap", ctypes.c_ulong),
                ("map_installed", ctypes.c_int), ("map_state", ctypes.c_int), ("all_event_masks", ctypes.c_long),
                ("your_event_mask", ctypes.c_long), ("do_not_propagate_mask", ctypes.c_long),
                ("override_redirect", ctypes.c_int), ("screen", ctypes.c_void_p)]


IS_VIEWABLE = 2


class ClientMessage(ctypes.Structure):
    _fields_ = [("type", ctypes.c_int), ("serial", ctypes.c_ulong), ("send_event", ctypes.c_int),
                ("display", ctypes.c_void_p), ("window", Window), ("message_type", Atom),
                ("format", ctypes.c_int), ("data", ctypes.c_long * 5)]


class Event(ctypes.Union):
    _fields_ = [("client", ClientMessage), ("pad", ctypes.c_long * 24)]


def windows(display, parent):
    root, up = Window(), Window()
    children = ctypes.POINTER(Window)()
    count = ctypes.c_uint()
    if not x11.XQueryTree(display, parent, ctypes.byref(root), ctypes.byref(up), ctypes.byref(children),
                          ctypes.byref(count)):
        return
    found = [children[i] for i in range(count.value)]
    if children:
        x11.XFree(children)
    for w in found:
        yield w
        yield from windows(display, w)


def find(display, title):
    """The first window on screen with that title."""
    for w in windows(display, x11.XDefaultRootWindow(display)):
        name = ctypes.c_char_p()
        if x11.XFetchName(display, w, ctypes.byref(name)) and name.value is not None:
            match = name.value.decode("utf-8", "replace") == title
            x11.XFree(name)
            attributes = WindowAttributes()
            if match and x11.XGetWindowAttributes(display, w, ctypes.byref(attributes)) and \
                    attributes.map_state == IS_VIEWABLE:
                return w
    return None


def main():
    display = x11.XOpenDisplay(None)
    if not display:
        sys.exit("x_driver: no X display")
    verb, title = sys.argv[1], sys.argv[2]
    if verb == "wait":
        deadline = time.time() + float(sys.argv[3])
        while time.time() < deadline:
            if find(display, title):
                return
            time.sleep(0.1)
        sys.exit("x_driver: no window titled %r" % title)
    window = find(display, title)
    if window is None:
        sys.exit("x_driver: no window titled %r" % title)
    if verb == "key":
        x11.XRaiseWindow(display, window)
        x11.XSetInputFocus(display, window, 1, 0)  # RevertToPointerRoot, CurrentTime
        x11.XSync(display, 0)
        time.sleep(0.3)
        code = x11.XKeysymToKeycode(display, x11.XStringToKeysym(sys.argv[3].encode()))
        xtst.XTestFakeKeyEvent(display, code, 1, 0)
        xtst.XTestFakeKeyEvent(display, code, 0, 0)
        x11.XFlush(display)
    elif verb == "click":
        x, y = int(sys.argv[3]), int(sys.argv[4])
        button = int(sys.argv[5]) if len(sys.argv) > 5 else 1
        count = int(sys.argv[6]) if len(sys.argv) > 6 else 1
        root_x, root_y, child = ctypes.c_int(), ctypes.c_int(), Window()
        x11.XTranslateCoordinates(display, window, x11.XDefaultRootWindow(display), x, y, ctypes.byref(root_x),
                                  ctypes.byref(root_y), ctypes.byref(child))
        xtst.XTestFakeMotionEvent(display, -1, root_x.value, root_y.value, 0)
        x11.XSync(display, 0)
        time.sleep(0.1)
        for _ in range(count):
            xtst.XTestFakeButtonEvent(display, button, 1, 0)
            xtst.XTestFakeButtonEvent(display, button, 0, 0)
            x11.XSync(display, 0)
            time.sleep(0.05)
        x11.XFlush(display)
    elif verb == "close":
        event = Event()
        event.client.type = 33  # ClientMessage
        event.client.window = window
        event.client.message_type = x11.XInternAtom(display, b"WM_PROTOCOLS", 0)
        event.client.format = 32
        event.client.data[0] = x11.XInternAtom(display, b"WM_DELETE_WINDOW", 0)
        x11.XSendEvent(display, window, 0, 0, ctypes.byref(event))
        x11.XFlush(display)
    else:
        sys.exit("x_driver: unknown verb %r" % verb)


if __name__ == "__main__":
    main()
