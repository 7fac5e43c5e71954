#!/usr/bin/env python3
# SPDX-FileCopyrightText: 2026 The Regwise developers
# SPDX-License-Identifier: MIT

"""Compares what regwise-io did on QEMU's 16550As in the rig's guest with what regwise-io-sim
did, in instant timing, on the host.

  compare-transcripts.py SCRIPT HW_TRANSCRIPT HW_STATUS SIM_TRANSCRIPT SIM_STATUS
  compare-transcripts.py --tap HW_SELFTEST_TAP SIM_SELFTEST_TAP

A script's two transcripts must agree read for read, and both runs must succeed; two
self-tests (their TAP) must give each check the same verdict. The only differences allowed
are QEMU's own, written here once:
  - reset-mcr  (a read tagged "quirk: reset-mcr"): QEMU's MCR starts at 08, the data sheet's
               at 00;
  - reset-msr  (tagged): QEMU's MSR starts at B0 (CTS, DSR, DCD on), the model's follows its
               cable and reads 00;
  - any MSR read: QEMU sets no change bit (MSR bits 0-3), notably in loopback, where the
               model sets them as the data sheet says; the line states (bits 4-7) must agree.
  - in a self-test, for the same reason, exactly the four loopback line checks fail on QEMU
    (QEMU_SELFTEST_FAILS), which expect the change bits with the line states.
A timed self-test check that the program could not time, paused on every attempt (a busy
host slows the guest), is skipped with that reason: it has no verdict, and matches either.
"""

import re
import sys

# A read, whether it met its expectation, and a WITHIN's notes (a read the program made late
# after a pause, the values it saw, its count and time), which may differ between machines.
READ = re.compile(r"^R ([0-9A-F]+) = ([0-9A-F]{2})(?: WITHIN \d+)?(  # expected .*?)?"
                  r"(  # read [0-9.]+ ms after the limit, the program paused)?"
                  r"(  # \d+ reads?, [0-9.]+ ms)?$")
SCRIPT_READ = re.compile(r"^\s*[rR]\s")


def quirk_allows(tag, port, hw, sim):
    if tag == "reset-mcr":
        return hw == 0x08 and sim == 0x00
    if tag == "reset-msr":
        return hw == 0xB0
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


QEMU_SELFTEST_FAILS = {"loop-dtr-dsr", "loop-rts-cts", "loop-out1-ri", "loop-out2-dcd"}
TAP_RESULT = re.compile(r"^(ok|not ok) \d+ - (\S+)(.*)$")
UNTIMED = "時間どおりに確かめられませんでした"


def verdicts(path):
    """Each check of a TAP file and whether it passed (skipped ones count as passed), or None
    for a check skipped because the program was paused on every attempt."""
    with open(path, encoding="utf-8") as lines:
        return {m.group(2): None if "# SKIP" in m.group(3) and UNTIMED in m.group(3)
                else m.group(1) == "ok" for m in map(TAP_RESULT.match, lines) if m}


def compare_selftests(hw_path, sim_path):
    hw, sim = verdicts(hw_path), verdicts(sim_path)
    name = hw_path.rsplit("/", 1)[-1]
    if not hw or set(hw) != set(sim):
        print(f"{name}: the checks differ: real {sorted(hw)}, simulated {sorted(sim)}")
        return 1
    untimed = {check for check in hw if hw[check] is None or sim[check] is None}
    for check in sorted(untimed):
        print(f"{name}: no verdict  {check}: the program was paused on every attempt")
    differing = {check for check in hw if check not in untimed and hw[check] != sim[check]}
    wrong = {check for check in differing if hw[check] or check not in QEMU_SELFTEST_FAILS}
    missing = QEMU_SELFTEST_FAILS - differing - untimed
    for check in sorted(differing):
        allowed = check not in wrong
        print(f"{name}: {'allowed    ' if allowed else 'UNEXPECTED '} {check}: real "
              f"{'ok' if hw[check] else 'not ok'}, simulated {'ok' if sim[check] else 'not ok'}")
    if missing:
        print(f"{name}: expected QEMU to fail {sorted(missing)}, but it did not")
    print(f"{name}: {len(hw)} checks compared, {len(differing) - len(wrong)} allowed differences"
          f"{', FAILED' if wrong or missing else ''}")
    return 1 if wrong or missing else 0


def main():
    if sys.argv[1] == "--tap":
        return compare_selftests(sys.argv[2], sys.argv[3])
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
