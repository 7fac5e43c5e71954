#!/usr/bin/env python3
# SPDX-FileCopyrightText: 2026 The Regwise developers
# SPDX-License-Identifier: MIT

"""Compares what regwise-io read on QEMU's 16550As in the rig's guest with what
regwise-io-sim read, in instant timing, running the same script on the host.

  compare-transcripts.py SCRIPT HW_TRANSCRIPT HW_STATUS SIM_TRANSCRIPT SIM_STATUS

The two must agree read for read, and both runs must succeed. The only differences allowed
are QEMU's own, written here once:
  - reset-mcr  (a read tagged "quirk: reset-mcr"): QEMU's MCR starts at 08, the data sheet's
               at 00;
  - reset-msr  (tagged): QEMU's MSR starts at B0 (CTS, DSR, DCD on), the model's follows its
               cable and reads 00;
  - reset-dll  (tagged): QEMU's divisor starts at 000C, the data sheet's at 0000;
  - any MSR read: QEMU sets no change bit (MSR bits 0-3), notably in loopback, where the
               model sets them as the data sheet says; the line states (bits 4-7) must agree.
"""

import re
import sys

READ = re.compile(r"^R ([0-9A-F]+) = ([0-9A-F]{2})(?: WITHIN \d+)?(  # expected .*?)?(  # \d+ reads?, [0-9.]+ ms)?$")
SCRIPT_READ = re.compile(r"^\s*[rR]\s")


def quirk_allows(tag, port, hw, sim):
    if tag == "reset-mcr":
        return hw == 0x08 and sim == 0x00
    if tag == "reset-msr":
        return hw == 0xB0
    if tag == "reset-dll":
        return hw == 0x0C and sim == 0x00
    if port % 8 == 6:  # MSR
        return hw & 0xF0 == sim & 0xF0 and hw & 0x0F == 0
    return False


def reads(path):
    result = []
    with open(path, encoding="utf-8") as lines:
        for line in lines:
            line = line.rstrip("\n")
            match = READ.match(line)
            if not match:
                if line.startswith("R "):
                    raise SystemExit(f"{path}: a read line the rig cannot parse: {line!r}")
                continue
            result.append((int(match.group(1), 16), int(match.group(2), 16), bool(match.group(3))))
    return result


def tags(path):
    """The quirk named on each read statement of the script, in order."""
    result = []
    with open(path, encoding="utf-8") as lines:
        for line in lines:
            if SCRIPT_READ.match(line):
                found = re.search(r"quirk: ([a-z-]+)", line)
                result.append(found.group(1) if found else None)
    return result


def main():
    script, hw_path, hw_status, sim_path, sim_status = sys.argv[1:6]
    name = script.rsplit("/", 1)[-1]
    hw, sim, quirks = reads(hw_path), reads(sim_path), tags(script)
    failed = False
    if hw_status != "0" or sim_status != "0":
        print(f"{name}: exit status real {hw_status}, simulated {sim_status} (both must be 0)")
        failed = True
    if len(hw) != len(sim) or len(sim) != len(quirks):
        print(f"{name}: reads differ in number: real {len(hw)}, simulated {len(sim)}, "
              f"script {len(quirks)}")
        return 1
    allowed = 0
    for index, ((port, hw_value, _), (_, sim_value, _), tag) in enumerate(zip(hw, sim, quirks)):
        if hw_value == sim_value:
            continue
        if quirk_allows(tag, port, hw_value, sim_value):
            allowed += 1
            print(f"{name}: allowed     read {index + 1}, port {port:X}: real {hw_value:02X}, "
                  f"simulated {sim_value:02X} ({tag or 'msr-deltas'})")
        else:
            failed = True
            print(f"{name}: UNEXPECTED  read {index + 1}, port {port:X}: real {hw_value:02X}, "
                  f"simulated {sim_value:02X}")
    print(f"{name}: {len(hw)} reads compared, {allowed} allowed differences"
          f"{', FAILED' if failed else ''}")
    return 1 if failed else 0


if __name__ == "__main__":
    sys.exit(main())
