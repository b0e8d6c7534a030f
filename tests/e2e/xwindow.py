#!/usr/bin/python3
"""Small X11 helper for the end-to-end scripts: list top-level windows by
title, and ask a window to close the way a window manager's close button does
(WM_DELETE_WINDOW), since Xvfb runs without a window manager."""
import sys
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


def main():
    d = display.Display()
    command, title = sys.argv[1], sys.argv[2]
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
        import time
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
