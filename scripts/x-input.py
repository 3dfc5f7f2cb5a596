#!/usr/bin/env python3
"""Input for screenshots on an X screen (Xvfb) through the XTEST extension; standard library only.

  x-input.py find TITLE          prints "X Y" of the top-left of the first window whose name
                                 holds TITLE (exit status 1 when there is none)
  x-input.py click BUTTON X Y    presses and releases mouse button 1..3 at screen point X, Y
  x-input.py key KEYSYM          presses and releases a key by its X name (Escape, Return, ...)
"""
import ctypes
import ctypes.util
import sys
import time

x11 = ctypes.CDLL(ctypes.util.find_library("X11") or "libX11.so.6")
xtst = ctypes.CDLL(ctypes.util.find_library("Xtst") or "libXtst.so.6")
x11.XOpenDisplay.restype = ctypes.c_void_p
x11.XOpenDisplay.argtypes = [ctypes.c_char_p]
x11.XDefaultRootWindow.restype = ctypes.c_ulong
x11.XDefaultRootWindow.argtypes = [ctypes.c_void_p]
x11.XQueryTree.argtypes = [ctypes.c_void_p, ctypes.c_ulong, ctypes.POINTER(ctypes.c_ulong),
                           ctypes.POINTER(ctypes.c_ulong),
                           ctypes.POINTER(ctypes.POINTER(ctypes.c_ulong)),
                           ctypes.POINTER(ctypes.c_uint)]
x11.XFetchName.argtypes = [ctypes.c_void_p, ctypes.c_ulong, ctypes.POINTER(ctypes.c_char_p)]
x11.XTranslateCoordinates.argtypes = [ctypes.c_void_p, ctypes.c_ulong, ctypes.c_ulong,
                                      ctypes.c_int, ctypes.c_int, ctypes.POINTER(ctypes.c_int),
                                      ctypes.POINTER(ctypes.c_int),
                                      ctypes.POINTER(ctypes.c_ulong)]
x11.XFree.argtypes = [ctypes.c_void_p]
x11.XFlush.argtypes = [ctypes.c_void_p]
x11.XCloseDisplay.argtypes = [ctypes.c_void_p]
x11.XStringToKeysym.restype = ctypes.c_ulong
x11.XStringToKeysym.argtypes = [ctypes.c_char_p]
x11.XKeysymToKeycode.restype = ctypes.c_ubyte
x11.XKeysymToKeycode.argtypes = [ctypes.c_void_p, ctypes.c_ulong]
xtst.XTestFakeMotionEvent.argtypes = [ctypes.c_void_p, ctypes.c_int, ctypes.c_int, ctypes.c_int,
                                      ctypes.c_ulong]
xtst.XTestFakeButtonEvent.argtypes = [ctypes.c_void_p, ctypes.c_uint, ctypes.c_int,
                                      ctypes.c_ulong]
xtst.XTestFakeKeyEvent.argtypes = [ctypes.c_void_p, ctypes.c_uint, ctypes.c_int, ctypes.c_ulong]


def find(display, window, title):
    name = ctypes.c_char_p()
    if x11.XFetchName(display, window, ctypes.byref(name)) and name.value is not None:
        found = title in name.value.decode("latin-1")
        x11.XFree(name)
        if found:
            return window
    root, parent = ctypes.c_ulong(), ctypes.c_ulong()
    children, count = ctypes.POINTER(ctypes.c_ulong)(), ctypes.c_uint()
    if not x11.XQueryTree(display, window, ctypes.byref(root), ctypes.byref(parent),
                          ctypes.byref(children), ctypes.byref(count)):
        return None
    try:
        for i in range(count.value):
            hit = find(display, children[i], title)
            if hit:
                return hit
    finally:
        if children:
            x11.XFree(children)
    return None


def main(args):
    display = x11.XOpenDisplay(None)
    if not display:
        print("x-input: cannot open the display", file=sys.stderr)
        return 2
    try:
        root = x11.XDefaultRootWindow(display)
        if args[:1] == ["find"] and len(args) == 2:
            window = find(display, root, args[1])
            if not window:
                return 1
            x, y, child = ctypes.c_int(), ctypes.c_int(), ctypes.c_ulong()
            x11.XTranslateCoordinates(display, window, root, 0, 0, ctypes.byref(x),
                                      ctypes.byref(y), ctypes.byref(child))
            print(x.value, y.value)
        elif args[:1] == ["click"] and len(args) == 4:
            button, x, y = int(args[1]), int(args[2]), int(args[3])
            xtst.XTestFakeMotionEvent(display, -1, x, y, 0)
            x11.XFlush(display)
            time.sleep(0.2)
            xtst.XTestFakeButtonEvent(display, button, 1, 0)
            x11.XFlush(display)
            time.sleep(0.1)
            xtst.XTestFakeButtonEvent(display, button, 0, 0)
        elif args[:1] == ["key"] and len(args) == 2:
            code = x11.XKeysymToKeycode(display, x11.XStringToKeysym(args[1].encode()))
            xtst.XTestFakeKeyEvent(display, code, 1, 0)
            x11.XFlush(display)
            time.sleep(0.05)
            xtst.XTestFakeKeyEvent(display, code, 0, 0)
        else:
            print(__doc__.strip(), file=sys.stderr)
            return 2
        x11.XFlush(display)
        return 0
    finally:
        x11.XCloseDisplay(display)


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
