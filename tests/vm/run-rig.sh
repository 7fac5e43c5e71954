#!/usr/bin/env bash
# SPDX-FileCopyrightText: 2026 The Regwise developers
# SPDX-License-Identifier: MIT

# The QEMU rig: proves the real-port command line, library and helper against four emulated
# 16550s inside a throwaway guest. Nothing here touches this machine's own ports.
#
#   run-rig.sh BUILD_DIR WORK_DIR [test|bench]
#
# BUILD_DIR is a built tree; the rig installs it (cmake --install) into a staging folder and
# gives the guest exactly the installed layout: regwise-io in /usr/bin, its library and the
# helper in /usr/lib/regwise. WORK_DIR caches the kernel and keeps the logs and transcripts.
#
# "test" boots twice. The first boot runs regwise-io on each of the rig's register scripts
# and on the examples, as root, then the driver's checks of the session, the helper's
# privileges and each way its start can fail; the second boots under kernel lockdown. On the
# host, regwise-io-sim runs the same scripts in instant timing, and compare-transcripts.py
# holds the two transcripts against each other, allowing only QEMU's own differences.
# "bench" boots once and prints the cost of one InpB through the helper against the
# simulated library.
#
# Exit status: 0 passed, 1 failed, 77 skipped (QEMU, busybox or the kernel package could not
# be had, as on a machine without network or package registry; the reason is printed).
set -euo pipefail

here=$(dirname "$(realpath "$0")")
source_dir=$(realpath "$here/../..")
build=$(realpath "$1")
work=$(mkdir -p "$2" && realpath "$2")
mode=${3:-test}
say() { echo "rig: $*"; }
skip() {
  echo "rig: SKIPPED: $*"
  exit 77
}

# The scripts, in the order the guest runs them: the reset values before anything is
# written, then the registers, then the examples.
scripts=("$here/scripts/reset.reg" "$here/scripts/registers.reg"
         "$source_dir/examples/bringup-9600-8n1.txt" "$source_dir/examples/nullmodem-text-9600.txt")

as_root=()
[ "$(id -u)" -eq 0 ] || as_root=(sudo)
# QEMU and a static busybox, from Debian's registry when missing.
missing=()
for p in qemu-system-x86 busybox-static; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if ((${#missing[@]})); then
  say "installing ${missing[*]}"
  "${as_root[@]}" apt-get update -qq || true
  DEBIAN_FRONTEND=noninteractive "${as_root[@]}" apt-get install -y -qq --no-install-recommends \
    "${missing[@]}" >/dev/null ||
    skip "cannot install ${missing[*]} (no network or package registry?)"
fi

# The Debian cloud kernel, unpacked from its .deb (never installed), cached in WORK_DIR.
kernel_cache=$work/kernel
mkdir -p "$kernel_cache"
package=$(apt-cache depends linux-image-cloud-amd64 2>/dev/null |
  awk '/Depends: linux-image-[0-9]/ {print $2; exit}' || true)
if [ -z "$package" ] && ! compgen -G "$kernel_cache/*/boot/vmlinuz-*" >/dev/null; then
  "${as_root[@]}" apt-get update -qq || true
  package=$(apt-cache depends linux-image-cloud-amd64 2>/dev/null |
    awk '/Depends: linux-image-[0-9]/ {print $2; exit}' || true)
fi
if [ -n "$package" ] && [ ! -d "$kernel_cache/$package/boot" ]; then
  say "fetching $package"
  if ! (cd "$kernel_cache" && rm -rf ./*.deb "$package.tmp" &&
    apt-get download -q "$package" >/dev/null 2>&1 &&
    dpkg-deb -x ./"$package"_*.deb "$package.tmp" && mv "$package.tmp" "$package" &&
    rm -f ./*.deb); then
    say "cannot fetch $package; trying a kernel fetched before"
    package=
  fi
fi
kernel=
if [ -n "$package" ]; then
  kernel=$(ls "$kernel_cache/$package"/boot/vmlinuz-* 2>/dev/null | head -1 || true)
else
  kernel=$(ls "$kernel_cache"/*/boot/vmlinuz-* 2>/dev/null | sort -V | tail -1 || true)
fi
[ -n "$kernel" ] ||
  skip "no kernel for the guest: the package linux-image-cloud-amd64 cannot be had" \
    "(no network or package registry?) and none was fetched before into $kernel_cache"
say "kernel $kernel"

# The install, as a user's would be, staged.
stage=$work/install
rm -rf "$stage"
DESTDIR=$stage cmake --install "$build" --prefix /usr >"$work/install.log"

# The initramfs: busybox, the installed command line with its library and helper, the rig's
# driver and benchmark, the scripts, and every shared library they link.
root=$work/initramfs
rm -rf "$root"
mkdir -p "$root"/{bin,proc,sys,dev,rig/scripts,rig/probe,etc,tmp,usr/bin,usr/lib/regwise}
cp /bin/busybox "$root/bin/busybox"
for applet in sh mount poweroff cat echo printf; do ln -s busybox "$root/bin/$applet"; done
cp -a "$stage/usr/bin/regwise-io" "$root/usr/bin/"
cp -a "$stage/usr/lib/regwise/." "$root/usr/lib/regwise/"
cp "$build/bin/regwise-rig-driver" "$build/bin/regwise-rig-bench" "$root/rig/"
for i in "${!scripts[@]}"; do cp "${scripts[i]}" "$root/rig/scripts/$i-$(basename "${scripts[i]}")"; done
cp "$here/scripts/probe-before.reg" "$here/scripts/probe-after.reg" "$root/rig/probe/"
cp "$here/scripts/capture-loop.reg" "$root/rig/"
for f in "$root"/usr/bin/* "$root"/usr/lib/regwise/* "$root"/rig/regwise-rig-*; do
  ldd "$f" | awk '$2 == "=>" && $3 ~ /^\// {print $3} $1 ~ /^\// {print $1}'
done | sort -u | while read -r lib; do cp -L --parents "$lib" "$root/"; done
printf 'root:x:0:0::/:/bin/sh\nnobody:x:65534:65534::/:/bin/sh\n' >"$root/etc/passwd"
printf 'root:x:0:\ndialout:x:20:\nnogroup:x:65534:\n' >"$root/etc/group"
cat >"$root/init" <<'INIT'
#!/bin/sh
export PATH=/bin:/usr/bin
mount -t proc proc /proc
mount -t sysfs sysfs /sys
mount -t securityfs securityfs /sys/kernel/security
mount -t devtmpfs devtmpfs /dev
exec </dev/null >/dev/kmsg 2>&1
mode=test
for word in $(cat /proc/cmdline); do
  case $word in regwise.mode=*) mode=${word#regwise.mode=} ;; esac
done
# record NAME COMMAND...: the command's output, errors and exit status, on the log.
record() {
  name=$1
  shift
  "$@" >/tmp/out 2>/tmp/err
  status=$?
  while IFS= read -r line; do echo "RW| T $name $line"; done </tmp/out
  while IFS= read -r line; do echo "RW| E $name $line"; done </tmp/err
  echo "RW| S $name $status"
}
case $mode in
test)
  for script in /rig/scripts/*; do
    name=${script##*/}
    record "${name#*-}" regwise-io run "$script"
  done
  # The probe leaves every register as it found it; then each base proves itself.
  record probe-before regwise-io run /rig/probe/probe-before.reg
  record identify regwise-io identify --json
  record probe-after regwise-io run /rig/probe/probe-after.reg
  for base in 3F8 2F8 3E8 2E8; do record "selftest-$base" regwise-io selftest --tap "$base"; done
  # COM2's lines in loopback over time, to a VCD the host reads back; MCR put back after.
  regwise-io write 2FC 08
  record capture regwise-io capture 2F8 --for 20 --vcd /tmp/capture.vcd --script /rig/capture-loop.reg
  record capture-vcd cat /tmp/capture.vcd
  record capture-mcr regwise-io read 2FC
  /rig/regwise-rig-driver test
  ;;
pci)
  # The UART the kernel registered with port I/O away from the COM bases: the PCI card's.
  pci=0
  for d in /sys/class/tty/ttyS*; do
    [ "$(cat "$d/type")" != 0 ] && [ "$(cat "$d/io_type")" = 0 ] || continue
    case $(cat "$d/port") in 0x0 | 0x3F8 | 0x2F8 | 0x3E8 | 0x2E8) continue ;; esac
    pci=$(cat "$d/port")
    echo "RW| P ${d##*/} $(printf %X "$pci")"
  done
  record list regwise-io list
  record list-json regwise-io list --json
  record read regwise-io read "$(printf %X $((pci + 5)))"
  record read-next regwise-io read "$(printf %X $((pci + 8)))"
  record identify-pci regwise-io identify "$(printf %X "$pci")"
  record identify-registered regwise-io identify 2F8
  record identify-console regwise-io identify 3F8
  /rig/regwise-rig-driver pci "$pci"
  ;;
bench)
  /rig/regwise-rig-bench && echo "RW| END pass=1 fail=0"
  ;;
*)
  /rig/regwise-rig-driver "$mode"
  ;;
esac
echo "RW| EXIT $?"
poweroff -f
INIT
chmod 755 "$root/init"
(cd "$root" && find . | busybox cpio -o -H newc 2>/dev/null | gzip -1) >"$work/initramfs.cpio.gz"
say "initramfs $(du -h "$work/initramfs.cpio.gz" | cut -f1)"

# COM1 and COM2 joined by a cable for the null-modem example: each sends to the other's UDP
# port on the loopback interface (data only; QEMU's socket has no modem lines).
udp=$((20000 + ($$ % 10000) * 2))

# boot RUN [KERNEL_ARGS [QEMU_ARGS...]]: one boot. Prints the guest's RW| lines and succeeds
# only on the driver's own clean end (QEMU exits 0 even when the guest panics). Unless the
# kernel arguments say otherwise, the kernel's serial driver registers no UART
# (8250.nr_uarts=0), so nothing but the rig touches them.
boot() {
  local run=$1 args=${2:-8250.nr_uarts=0}
  shift 2 || shift $#
  local log=$work/console-$run.log
  rm -f "$log"
  local started=$SECONDS
  timeout 600 qemu-system-x86_64 -nodefaults -display none -no-reboot -m 512M -accel tcg \
    -kernel "$kernel" -initrd "$work/initramfs.cpio.gz" \
    -append "earlycon=uart8250,io,0xe9 keep_bootcon printk.devkmsg=on panic=1 regwise.rig=1 regwise.mode=$run $args" \
    -chardev file,id=debug,path="$log" -device isa-debugcon,iobase=0xe9,chardev=debug \
    -chardev udp,id=com1,host=127.0.0.1,port=$((udp + 1)),localaddr=127.0.0.1,localport=$udp \
    -chardev udp,id=com2,host=127.0.0.1,port=$udp,localaddr=127.0.0.1,localport=$((udp + 1)) \
    -device isa-serial,iobase=0x3f8,irq=4,chardev=com1 -device isa-serial,iobase=0x2f8,irq=3,chardev=com2 \
    -device isa-serial,iobase=0x3e8,irq=4 -device isa-serial,iobase=0x2e8,irq=3 "$@" \
    >"$work/qemu-$run.out" 2>&1 || true
  say "$run boot took $((SECONDS - started)) s"
  grep -a 'RW| ' "$log" | sed 's/.*RW| //' | grep -v '^[TES] ' || true
  grep -a 'RW| E ' "$log" | sed 's/.*RW| E /stderr of /' || true
  grep -aq 'RW| END pass=[0-9]* fail=0' "$log" && grep -aq 'RW| EXIT 0' "$log"
}

# The real ports' transcripts against the simulated library's, script by script.
compare() {
  local log=$work/console-test.log status=0
  for script in "${scripts[@]}"; do
    local name
    name=$(basename "$script")
    grep -a "RW| T $name " "$log" | sed "s/.*RW| T $name //" | tr -d '\r' >"$work/hw-$name.out" ||
      true
    local hw_status
    hw_status=$(grep -a "RW| S $name " "$log" | sed "s/.*RW| S $name //" | tr -d '\r')
    local sim_status=0
    REGWISE_SIM_TIMING=instant "$build/bin/regwise-io-sim" run "$script" >"$work/sim-$name.out" ||
      sim_status=$?
    python3 "$here/compare-transcripts.py" "$script" "$work/hw-$name.out" "${hw_status:-none}" \
      "$work/sim-$name.out" "$sim_status" || status=1
  done
  return $status
}

# What a command recorded in a boot's log printed (out), said (err) and ended with (status).
out_of() { grep -a "RW| T $2 " "$1" | sed "s/.*RW| T $2 //" | tr -d '\r' || true; }
err_of() { grep -a "RW| E $2 " "$1" | sed "s/.*RW| E $2 //" | tr -d '\r' || true; }
status_of() { grep -a "RW| S $2 " "$1" | sed "s/.*RW| S $2 //" | tr -d '\r' || true; }

checks_failed=0
expect() { # WHAT COMMAND...: says whether the command succeeded, and remembers a failure
  local what=$1
  shift
  if "$@"; then say "ok: $what"; else say "FAILED: $what"; checks_failed=1; fi
}

# The probe in the test boot: identify finds four 16550As and leaves every register as the
# script before it set them; the self-test on each base agrees with the simulated 16550A (in
# instant timing, as QEMU's is) apart from QEMU's own differences (compare-transcripts.py).
check_probe() {
  local log=$work/console-test.log base
  expect "identify --json finds a 16550A at each COM base" python3 -c '
import json, sys
found = {p["port"]: p["type"] for p in json.loads(sys.argv[1])}
sys.exit(0 if found == dict.fromkeys(["3F8", "2F8", "3E8", "2E8"], "16550A") else 1)' \
    "$(out_of "$log" identify)"
  # QEMU completes every transfer at once: no clock to time, said so instead of a number; its
  # FIFO counted as 16 characters before the overrun.
  expect "identify says QEMU's UARTs cannot be timed and counts their 16-byte FIFOs" python3 -c '
import json, sys
ports = json.loads(sys.argv[1])
good = [p for p in ports if p["clock_hz"] is None and p["clock_nominal_hz"] is None
        and p["clock_note"] and p["fifo_measured"] == 16 and p["fifo_size"] == 16]
sys.exit(0 if len(ports) == 4 and len(good) == 4 else 1)' "$(out_of "$log" identify)"
  expect "the registers read back after identify as they were set before it" \
    test "$(status_of "$log" probe-before)$(status_of "$log" probe-after)" = 00
  for base in 3F8 2F8 3E8 2E8; do
    out_of "$log" "selftest-$base" >"$work/hw-selftest-$base.tap"
    REGWISE_SIM_TIMING=instant "$build/bin/regwise-io-sim" selftest --tap "$base" \
      >"$work/sim-selftest-$base.tap" || true
    expect "selftest $base on QEMU against the simulated 16550A" python3 \
      "$here/compare-transcripts.py" --tap "$work/hw-selftest-$base.tap" \
      "$work/sim-selftest-$base.tap"
  done
}

# The capture in the test boot: it ends with 0 and puts MCR back, its list shows the loopback's
# edges, and its VCD, copied out through the log, is read by sigrok-cli with the same
# transitions and converted by GTKWave's vcd2fst without a word (readers skipped, and said
# so, where they are not installed).
check_capture() {
  local log=$work/console-test.log
  out_of "$log" capture-vcd >"$work/hw-capture.vcd"
  expect "capture 2F8 with its script exits 0" test "$(status_of "$log" capture)" = 0
  expect "capture put COM2's MCR back (08)" test "$(out_of "$log" capture-mcr)" = "R 2FC = 08"
  expect "capture saw CTS and DSR rise and fall in loopback" python3 -c '
import sys
lines = [l.split() for l in sys.argv[1].splitlines() if l and not l.startswith(("#", "0.000 "))]
changes = [l[1:3] for l in lines if l[1] in ("CTS", "DSR")]
sys.exit(0 if changes[-4:] == [["CTS", "1"], ["DSR", "1"], ["CTS", "0"], ["DSR", "0"]] else 1)' \
    "$(out_of "$log" capture)"
  if command -v sigrok-cli >/dev/null && command -v vcd2fst >/dev/null; then
    expect "sigrok-cli reads the guest's VCD with the same transitions" python3 -c '
import re, subprocess, sys
def changes(text):
    names = dict(re.findall(r"\$var\s+wire\s+1\s+(\S+)\s+(\S+)", text))
    body = text.split("$enddefinitions", 1)[1]
    out, time = [], None
    for word in body.split():
        if word.startswith("#"):
            time = int(word[1:])
        elif time and word[0] in "01" and word[1:] in names:
            out.append((time, names[word[1:]], word[0]))
    return sorted(out)
ours = open(sys.argv[1]).read()
theirs = subprocess.run(["sigrok-cli", "-I", "vcd", "-i", sys.argv[1], "-O", "vcd"],
                        capture_output=True, text=True, check=True).stdout
a, b = changes(ours), changes(theirs)
sys.exit(0 if a and a == b else 1)' "$work/hw-capture.vcd"
    expect "vcd2fst converts the guest's VCD without a word" \
      test -z "$(vcd2fst "$work/hw-capture.vcd" "$work/hw-capture.fst" 2>&1)" -a -s "$work/hw-capture.fst"
  else
    say "skipped: sigrok-cli or vcd2fst is not installed (scripts/setup.sh installs them)"
  fi
}

# What the PCI boot must show: the kernel's PCI UART listed and reachable, read and
# identified through the installed command line, the port after its window refused, and
# identify's warning before a port the kernel registered and its refusal of the console.
check_pci() {
  local log=$work/console-pci.log
  local tty base
  read -r tty base < <(grep -a 'RW| P ' "$log" | sed 's/.*RW| P //' | tr -d '\r' | head -n 1) || true
  [ -n "${base:-}" ] || { say "FAILED: the kernel registered no PCI UART"; checks_failed=1; return; }
  say "the kernel registered the PCI UART as $tty at $base"
  expect "list names $tty at $base as reachable" \
    grep -q "^$tty: ポート $base、.*regwise-io で使えます" <<<"$(out_of "$log" list)"
  expect "list --json is JSON with $tty reachable at $base" python3 -c '
import json, sys
ports = {p["tty"]: p for p in json.loads(sys.argv[1])}
p = ports[sys.argv[2]]
sys.exit(0 if p["port"] == sys.argv[3] and p["reachable"] else 1)' "$(out_of "$log" list-json)" \
    "$tty" "$base"
  local lsr next
  lsr=$(printf %X $((0x$base + 5)))
  next=$(printf %X $((0x$base + 8)))
  expect "read $lsr through the helper" grep -q "^R $lsr = [0-9A-F][0-9A-F]\$" \
    <<<"$(out_of "$log" read)"
  expect "read $lsr exits 0" test "$(status_of "$log" read)" = 0
  expect "read $next, outside the window, is refused (status 2)" \
    test "$(status_of "$log" read-next)" = 2
  expect "identify $base finds the PCI card's 16550A" \
    grep -q "^$base: 16550A" <<<"$(out_of "$log" identify-pci)"
  expect "identify 2F8 warns first that the kernel registered it as ttyS1" \
    grep -q "警告: ポート0x2F8の UART はカーネルが「ttyS1」として登録しています" \
    <<<"$(err_of "$log" identify-registered)"
  expect "identify 2F8 then probes it" grep -q "^2F8: 16550A" \
    <<<"$(out_of "$log" identify-registered)"
  expect "identify 3F8, the kernel's console, is refused (status 2)" \
    test "$(status_of "$log" identify-console)" = 2
  expect "identify 3F8 says it is the console" \
    grep -q "カーネルのコンソール「ttyS0」のため、触れませんでした" \
    <<<"$(err_of "$log" identify-console)"
}

status=0
case $mode in
test)
  boot test || { say "FAILED: guest tests (see $work/console-test.log)"; status=1; }
  say "regwise-io on QEMU's UARTs against regwise-io-sim (instant timing):"
  compare || status=1
  check_probe
  check_capture
  boot lockdown "8250.nr_uarts=0 lockdown=integrity" || { say "FAILED: lockdown boot"; status=1; }
  # A PCI serial card beside the four ISA UARTs, all registered by the kernel's driver.
  boot pci "8250.nr_uarts=5 console=ttyS0" -device pci-serial || { say "FAILED: PCI boot"; status=1; }
  check_pci
  [ "$checks_failed" -eq 0 ] || status=1
  ;;
bench)
  boot bench || status=1
  ;;
*)
  echo "unknown mode $mode" >&2
  exit 2
  ;;
esac
[ $status -eq 0 ] && say "PASSED" || say "FAILED"
exit $status
