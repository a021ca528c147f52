#!/usr/bin/python3
"""Asks an X window to close, as a window manager does for the close box or Alt+F4.

    wm_close_window.py WINDOW_ID

Sends the window a WM_PROTOCOLS client message carrying WM_DELETE_WINDOW; the program decides
whether it closes. Needs python3-xlib and DISPLAY.
"""

import sys

from Xlib import X, display, protocol


def main():
    window_id = int(sys.argv[1], 0)
    dpy = display.Display()
    window = dpy.create_resource_object("window", window_id)
    protocols = dpy.intern_atom("WM_PROTOCOLS")
    delete = dpy.intern_atom("WM_DELETE_WINDOW")
    event = protocol.event.ClientMessage(
        window=window, client_type=protocols, data=(32, [delete, X.CurrentTime, 0, 0, 0]))
    window.send_event(event, event_mask=X.NoEventMask)
    dpy.sync()


if __name__ == "__main__":
    main()
