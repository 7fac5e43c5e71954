# SPDX-FileCopyrightText: 2026 The Regwise developers
# SPDX-License-Identifier: MIT

"""Finds regwise-sim's controls by accessible name over AT-SPI, for scripts/screenshot.sh.

  screenshot-controls.py centre NAME...   one "x y" line per name: the centre of the
                                          control on the screen, in pixels
  screenshot-controls.py text NAME...     one line per name: the text of the box

Exits 1 with a message naming the control when a name matches no control on screen, or
more than one; exits 3 when the program never appears on the accessibility bus.
"""
import sys
import time

import pyatspi

from atspitree import find_application, walk

PROGRAM = "regwise-sim"
APPEAR_SECONDS = 30  # for the program to reach the bus: it starts cold on a busy machine
CONTROLS_SECONDS = 10  # then for its window's controls to be in the tree
NOT_ON_BUS = 3


def fail(message, status=1):
    print("screenshot: %s" % message, file=sys.stderr)
    sys.exit(status)


def showing_by_name(app, names):
    """The controls on screen whose accessible name is one of names, by name."""
    found = {}
    for node in walk(app):
        if node.name in names and node.getState().contains(pyatspi.STATE_SHOWING):
            found.setdefault(node.name, []).append(node)
    return found


def eventually(probe, seconds):
    """Polls probe() until it returns something true, for up to seconds; its last result."""
    deadline = time.monotonic() + seconds
    while True:
        result = probe()
        if result or time.monotonic() > deadline:
            return result
        time.sleep(0.2)


def controls(names):
    """The one showing control for each name, once the window has them all."""
    app = eventually(lambda: find_application(PROGRAM), APPEAR_SECONDS)
    if app is None:
        fail("%s did not appear on the accessibility bus in %d s" % (PROGRAM, APPEAR_SECONDS),
             NOT_ON_BUS)

    def all_found():
        found = showing_by_name(app, set(names))
        return found if all(name in found for name in names) else None

    found = eventually(all_found, CONTROLS_SECONDS) or showing_by_name(app, set(names))
    for name in names:
        if name not in found:
            fail("no control named %r is on screen" % name)
        if len(found[name]) > 1:
            fail("%d controls are named %r" % (len(found[name]), name))
    return [found[name][0] for name in names]


def centre(node):
    box = node.queryComponent().getExtents(pyatspi.DESKTOP_COORDS)
    if box.width <= 0 or box.height <= 0:
        fail("control %r has no size on screen" % node.name)
    return "%d %d" % (box.x + box.width // 2, box.y + box.height // 2)


def text(node):
    try:
        field = node.queryText()
    except NotImplementedError:
        fail("control %r holds no text" % node.name)
    return field.getText(0, -1)


def main(argv):
    what = {"centre": centre, "text": text}
    if len(argv) < 3 or argv[1] not in what:
        fail("usage: %s centre|text NAME..." % argv[0])
    for node in controls(argv[2:]):
        print(what[argv[1]](node))
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
