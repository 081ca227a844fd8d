"""A drag source of the suite's own: drops files on a window by the XDND
protocol (version 5), as a file manager does: enter, position, wait for the
target's status, drop, hand over text/uri-list from the XdndSelection, wait
for finished."""

import time
import urllib.parse

from Xlib import X, Xatom, display as xdisplay
from Xlib.protocol import event


class DropRefused(AssertionError):
    pass


def drop_files(display_name, target_id, root_x, root_y, paths, timeout=20):
    """Drops paths on the X window target_id, with the pointer at the given
    root coordinates. Returns when the target reports the drop finished."""
    d = xdisplay.Display(display_name)
    try:
        return _drop(d, target_id, root_x, root_y, paths, timeout)
    finally:
        d.close()


def _drop(d, target_id, root_x, root_y, paths, timeout):
    atom = d.intern_atom
    root = d.screen().root
    target = d.create_resource_object("window", target_id)
    aware = target.get_full_property(atom("XdndAware"), X.AnyPropertyType)
    if aware is None:
        raise DropRefused("window %#x does not take drops (no XdndAware)" % target_id)
    version = min(5, int(aware.value[0]))
    source = root.create_window(-10, -10, 1, 1, 0, X.CopyFromParent,
                                event_mask=X.PropertyChangeMask)
    uri_list = atom("text/uri-list")
    payload = "".join("file://" + urllib.parse.quote(p) + "\r\n" for p in paths).encode()

    # A server time to own the selection with: the stamp of a property change.
    source.change_property(atom("ZORVEX_DRAG_TIME"), Xatom.STRING, 8, b"t")
    d.flush()
    stamp = _next(d, lambda e: e.type == X.PropertyNotify, timeout, "a time stamp").time
    source.set_selection_owner(atom("XdndSelection"), stamp)

    def send(kind, data):
        message = event.ClientMessage(window=target, client_type=atom(kind),
                                      data=(32, (data + [0] * 5)[:5]))
        target.send_event(message, event_mask=0)
        d.flush()

    def is_message(e, kind):
        return e.type == X.ClientMessage and e.client_type == atom(kind)

    send("XdndEnter", [source.id, version << 24, uri_list])
    send("XdndPosition", [source.id, 0, (root_x << 16) | root_y, stamp, atom("XdndActionCopy")])
    # The target reads the data already to decide (Qt does), so the
    # selection is served while its answer is awaited.
    serve = lambda e: _answer(d, e, uri_list, payload, atom)
    status = _next(d, lambda e: is_message(e, "XdndStatus"), timeout, "XdndStatus", serve)
    if not status.data[1][1] & 1:
        send("XdndLeave", [source.id])
        raise DropRefused("the target refused the drop at %d,%d" % (root_x, root_y))
    send("XdndDrop", [source.id, 0, stamp])

    _next(d, lambda e: is_message(e, "XdndFinished"), timeout, "XdndFinished", serve)
    return True


def _answer(d, request, uri_list, payload, atom):
    requestor = request.requestor
    prop = request.property or request.target
    if request.target == uri_list:
        requestor.change_property(prop, uri_list, 8, payload)
    elif request.target == atom("TARGETS"):
        requestor.change_property(prop, Xatom.ATOM, 32, [uri_list, atom("TARGETS")])
    else:
        prop = X.NONE
    notify = event.SelectionNotify(time=request.time, requestor=requestor,
                                   selection=request.selection, target=request.target,
                                   property=prop)
    requestor.send_event(notify, event_mask=0)
    d.flush()


def _next(d, wanted, timeout, what, serve=None):
    deadline = time.monotonic() + timeout
    while time.monotonic() < deadline:
        while d.pending_events():
            e = d.next_event()
            if wanted(e):
                return e
            if serve and e.type == X.SelectionRequest:
                serve(e)
        time.sleep(0.01)
    raise DropRefused("no %s from the target within %gs" % (what, timeout))
