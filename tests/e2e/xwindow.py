#!/usr/bin/python3
"""Small X11 helper for the end-to-end scripts: list top-level windows by
title, ask a window to close the way a window manager's close button does
(WM_DELETE_WINDOW), since Xvfb runs without a window manager, and time how
long a click takes to colour a pixel."""
import sys
import time
from Xlib import X, Xatom, display, protocol


def window_name(d, w):
    prop = w.get_full_property(d.intern_atom("_NET_WM_NAME"), X.AnyPropertyType)
    if prop is not None and prop.value:
        value = prop.value
        return value.decode("utf-8", "replace") if isinstance(value, bytes) else str(value)
    prop = w.get_full_property(Xatom.WM_NAME, X.AnyPropertyType)
    if prop is None:
        return None
    value = prop.value
    return value.decode("utf-8", "replace") if isinstance(value, bytes) else str(value)


def windows(d, title):
    found = []
    stack = [d.screen().root]
    while stack:
        w = stack.pop()
        try:
            name = window_name(d, w)
            attrs = w.get_attributes()
            geom = w.get_geometry()
        except Exception:
            continue
        if name == title and attrs.map_state == X.IsViewable:
            found.append((w, geom))
        try:
            stack.extend(w.query_tree().children)
        except Exception:
            pass
    return found


def time_to_colour(d, click_x, click_y, pixel_x, pixel_y, timeout):
    """Clicks at the root position and returns the milliseconds until the
    pixel turns to a saturated colour (a thumbnail, not the grey of an empty
    page), or None when it already was one or after timeout seconds. Reading
    one pixel costs well under a millisecond, so the figure is as exact as
    the app's painting."""
    from Xlib.ext import xtest
    root = d.screen().root

    def coloured():
        data = root.get_image(pixel_x, pixel_y, 1, 1, X.ZPixmap, 0xffffffff).data
        blue, green, red = data[0], data[1], data[2]
        return max(red, green, blue) - min(red, green, blue) >= 60

    if coloured():
        return None
    xtest.fake_input(d, X.MotionNotify, x=click_x, y=click_y)
    d.sync()
    time.sleep(0.1)
    xtest.fake_input(d, X.ButtonPress, 1)
    xtest.fake_input(d, X.ButtonRelease, 1)
    d.sync()
    started = time.monotonic()
    while time.monotonic() - started < timeout:
        if coloured():
            return int((time.monotonic() - started) * 1000)
        time.sleep(0.005)
    return None


def main():
    d = display.Display()
    command, title = sys.argv[1], sys.argv[2]
    if command == "time-to-colour":
        numbers = [int(a) for a in sys.argv[2:6]]
        elapsed = time_to_colour(d, *numbers, float(sys.argv[6]))
        if elapsed is None:
            return 1
        print(elapsed)
        return 0
    found = windows(d, title) if command != "hold" else []
    if command == "hold":
        # A window manager would have made these atoms; the framework only
        # looks them up, so they must exist before the app starts. Staying
        # connected keeps Xvfb from resetting and dropping them.
        for name in ("WM_PROTOCOLS", "WM_DELETE_WINDOW", "WM_TAKE_FOCUS", "_NET_WM_PING",
                     "_NET_WM_NAME", "_NET_WM_STATE", "_NET_ACTIVE_WINDOW", "WM_STATE"):
            d.intern_atom(name)
        d.flush()
        print("ready", flush=True)
        time.sleep(float(title))
        return 0
    if command == "list":
        for w, g in found:
            print(f"{w.id:#x} {g.width}x{g.height}")
    elif command == "close":
        wm_protocols = d.intern_atom("WM_PROTOCOLS")
        wm_delete = d.intern_atom("WM_DELETE_WINDOW")
        for w, _ in found:
            event = protocol.event.ClientMessage(window=w, client_type=wm_protocols,
                                                 data=(32, [wm_delete, X.CurrentTime, 0, 0, 0]))
            w.send_event(event)
        d.flush()
        print(len(found))
    return 0


if __name__ == "__main__":
    sys.exit(main())
