# SPDX-FileCopyrightText: 2026 The Regwise developers
# SPDX-License-Identifier: MIT

"""Walking a program's accessibility tree over AT-SPI, shared by scripts/screenshot.sh's
helper and the AT-SPI test."""
import pyatspi


def walk(node, depth=0):
    """node and everything below it, depth first; the tree is cut at 20 levels."""
    if node is None or depth > 20:
        return
    yield node
    for i in range(node.childCount):
        try:
            child = node.getChildAtIndex(i)
        except Exception:  # a child that went away while we looked
            continue
        yield from walk(child, depth + 1)


def find_application(name):
    """The running application of that name on the accessibility bus, or None."""
    desktop = pyatspi.Registry.getDesktop(0)
    for i in range(desktop.childCount):
        app = desktop.getChildAtIndex(i)
        if app is not None and app.name == name:
            return app
    return None
