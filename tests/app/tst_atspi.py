# SPDX-FileCopyrightText: 2026 The Regwise developers
# SPDX-License-Identifier: MIT

"""Inspects regwise-sim's accessibility tree over AT-SPI, as a screen reader would see it.

Run by tst_atspi.sh, which provides the buses, the X server and the running program.
"""
import os
import re
import sys
import time

import pyatspi

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..", "scripts"))
from atspitree import find_application, walk  # noqa: E402

REGISTERS = ["デバイザラッチ", "通信割込制御", "通信割込表示", "回線制御",
             "モデム制御", "回線ステータス", "モデムステータス"]
BOX_NAME = re.compile(r"^(%s) (INPUT|OUTPUT) (HEX|DEC|BIN)$" % "|".join(REGISTERS))
BUTTON_NAME = re.compile(r"^(%s) (INPUT|OUTPUT)$" % "|".join(REGISTERS))
TEXT_ROLES = {pyatspi.ROLE_TEXT, pyatspi.ROLE_ENTRY}

failures = []


def check(condition, message):
    if not condition:
        failures.append(message)
        print("FAIL:", message)


def eventually(probe, seconds, what):
    """Polls probe() until it returns something true; fails the check after seconds."""
    deadline = time.monotonic() + seconds
    while True:
        result = probe()
        if result:
            return result
        if time.monotonic() > deadline:
            print("FAIL: timed out waiting for", what)
            sys.exit(1)
        time.sleep(0.2)


def frame_names(app):
    pattern = re.compile(r"^(%s)\(([0-9A-F]{3})\)$" % "|".join(REGISTERS))
    found = {}
    for node in walk(app):
        match = pattern.match(node.name or "")
        if match:
            found[match.group(1)] = match.group(2)
    return found if len(found) == 7 else None


def ports_are(app, base):
    found = frame_names(app)
    expected = {name: "%X" % (base + i) for i, name in enumerate(REGISTERS)}
    return found == expected


def main():
    app = eventually(lambda: find_application("regwise-sim"), 30,
                     "regwise-sim on the AT-SPI bus")
    eventually(lambda: frame_names(app), 30, "the window's register frames")
    nodes = list(walk(app))

    boxes = [n for n in nodes if n.getRole() in TEXT_ROLES]
    names = [n.name for n in boxes]
    check(len(boxes) == 42, "42 text boxes, found %d" % len(boxes))
    check(len(set(names)) == 42, "42 distinct box names, found %d" % len(set(names)))
    for name in names:
        check(BOX_NAME.match(name or ""), "box name %r follows the pattern" % name)
    for node in boxes:
        check(node.description, "box %r has a description" % node.name)
    check("回線制御 INPUT HEX" in names, "a box is named 回線制御 INPUT HEX")
    check("回線制御 OUTPUT DEC" in names, "a box is named 回線制御 OUTPUT DEC")

    buttons = [n for n in nodes if n.getRole() == pyatspi.ROLE_PUSH_BUTTON]
    button_names = {n.name for n in buttons}
    check(len(buttons) == 16, "16 buttons, found %d" % len(buttons))
    check(len(button_names) == 16, "16 distinct button names: %r" % sorted(button_names))
    check(all(n.name for n in buttons), "every button has a name")
    check({"Ｉ／Ｏ制御開始", "Ｉ／Ｏ制御終了"} <= button_names, "session buttons named")
    check(len([n for n in button_names if BUTTON_NAME.match(n)]) == 14,
          "the 14 row buttons are named by register and side")

    options = {n.name: n for n in nodes if n.getRole() == pyatspi.ROLE_RADIO_BUTTON}
    check(set(options) == {"0x3F8", "0x2F8", "0x3E8", "0x2E8"},
          "base options named by caption: %r" % sorted(options))
    checks = [n.name for n in nodes if n.getRole() == pyatspi.ROLE_CHECK_BOX]
    check(checks == ["OUT時に確認する"], "check box named by caption: %r" % checks)

    check(ports_are(app, 0x3F8), "frames name the ports of 0x3F8: %r" % frame_names(app))

    # Choosing another base through the accessibility interface renames the frames. This
    # sets only the base; no port is touched.
    if "0x2E8" in options:
        action = options["0x2E8"].queryAction()
        names_of_actions = [action.getName(i) for i in range(action.nActions)]
        index = next((i for i, n in enumerate(names_of_actions)
                      if n.lower() in ("toggle", "press", "click")), 0)
        action.doAction(index)
        eventually(lambda: ports_are(app, 0x2E8), 10, "frames to name the ports of 0x2E8")

    if failures:
        print("%d check(s) failed" % len(failures))
        return 1
    print("PASS: the accessibility tree names every control")
    return 0


if __name__ == "__main__":
    sys.exit(main())
