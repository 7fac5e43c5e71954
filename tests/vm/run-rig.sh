#!/usr/bin/env bash
# SPDX-FileCopyrightText: 2026 The Regwise developers
# SPDX-License-Identifier: MIT

# The QEMU rig: proves the real-port helper and library against four emulated 16550s
# inside a throwaway guest. Nothing here touches this machine's own ports.
#
#   run-rig.sh BIN_DIR WORK_DIR [COMPARE_TOOL] [test|bench]
#
# BIN_DIR holds regwise-rig-driver, regwise-portd, libregwise-portio.so and (for the
# comparison and the benchmark) libregwise-portio-sim.so. WORK_DIR caches the kernel and
# keeps the logs. "test" boots twice (the tests, then kernel lockdown) and compares the
# real-port transcript with the simulated library's; "bench" boots once and prints the
# cost of one InpB through the helper against the simulated library.
set -euo pipefail

bin=$(realpath "$1")
work=$(mkdir -p "$2" && realpath "$2")
compare=${3:-}
mode=${4:-test}
say() { echo "rig: $*"; }

as_root=()
[ "$(id -u)" -eq 0 ] || as_root=(sudo)

# QEMU and a static busybox, from Debian's registry when missing.
missing=()
for p in qemu-system-x86 busybox-static; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if ((${#missing[@]})); then
  say "installing ${missing[*]}"
  "${as_root[@]}" apt-get update -qq
  DEBIAN_FRONTEND=noninteractive "${as_root[@]}" apt-get install -y -qq --no-install-recommends \
    "${missing[@]}" >/dev/null
fi

# The Debian cloud kernel, unpacked from its .deb (never installed), cached in WORK_DIR.
kernel_cache=$work/kernel
mkdir -p "$kernel_cache"
package=$(apt-cache depends linux-image-cloud-amd64 2>/dev/null |
  awk '/Depends: linux-image-[0-9]/ {print $2; exit}' || true)
if [ -z "$package" ] && ! compgen -G "$kernel_cache/*/boot/vmlinuz-*" >/dev/null; then
  "${as_root[@]}" apt-get update -qq
  package=$(apt-cache depends linux-image-cloud-amd64 | awk '/Depends: linux-image-[0-9]/ {print $2; exit}')
fi
if [ -n "$package" ] && [ ! -d "$kernel_cache/$package/boot" ]; then
  say "fetching $package"
  (cd "$kernel_cache" && rm -f ./*.deb && apt-get download -q "$package" >/dev/null 2>&1 &&
    dpkg-deb -x ./"$package"_*.deb "$package.tmp" && mv "$package.tmp" "$package" && rm -f ./*.deb)
fi
if [ -n "$package" ]; then
  kernel=$(ls "$kernel_cache/$package"/boot/vmlinuz-* | head -1)
else
  kernel=$(ls "$kernel_cache"/*/boot/vmlinuz-* | sort -V | tail -1)
fi
say "kernel $kernel"

# The initramfs: busybox, the driver, the helper, the libraries and what they link.
root=$work/initramfs
rm -rf "$root"
mkdir -p "$root"/{bin,proc,sys,dev,rig,etc,tmp}
cp /bin/busybox "$root/bin/busybox"
for applet in sh mount poweroff cat echo; do ln -s busybox "$root/bin/$applet"; done
files=(regwise-rig-driver regwise-portd libregwise-portio.so)
[ -f "$bin/libregwise-portio-sim.so" ] && files+=(libregwise-portio-sim.so)
for f in "${files[@]}"; do cp "$bin/$f" "$root/rig/"; done
for f in "$root"/rig/*; do
  ldd "$f" | awk '$2 == "=>" && $3 ~ /^\// {print $3} $1 ~ /^\// {print $1}'
done | sort -u | while read -r lib; do cp -L --parents "$lib" "$root/"; done
printf 'root:x:0:0::/:/bin/sh\nnobody:x:65534:65534::/:/bin/sh\n' >"$root/etc/passwd"
printf 'root:x:0:\ndialout:x:20:\nnogroup:x:65534:\n' >"$root/etc/group"
cat >"$root/init" <<'INIT'
#!/bin/sh
export PATH=/bin
mount -t proc proc /proc
mount -t sysfs sysfs /sys
mount -t securityfs securityfs /sys/kernel/security
mount -t devtmpfs devtmpfs /dev
exec </dev/null >/dev/kmsg 2>&1
mode=test
for word in $(cat /proc/cmdline); do
  case $word in regwise.mode=*) mode=${word#regwise.mode=} ;; esac
done
/rig/regwise-rig-driver "$mode"
echo "RW| EXIT $?"
poweroff -f
INIT
chmod 755 "$root/init"
(cd "$root" && find . | busybox cpio -o -H newc 2>/dev/null | gzip -1) >"$work/initramfs.cpio.gz"

# One boot: prints the guest's RW| lines and succeeds only on the driver's own clean end
# (QEMU exits 0 even when the guest panics).
boot() {
  local run=$1
  local log=$work/console-$run.log
  rm -f "$log"
  local started=$SECONDS
  timeout 600 qemu-system-x86_64 -nodefaults -display none -no-reboot -m 128M -accel tcg \
    -kernel "$kernel" -initrd "$work/initramfs.cpio.gz" \
    -append "8250.nr_uarts=0 earlycon=uart8250,io,0xe9 keep_bootcon printk.devkmsg=on panic=1 regwise.rig=1 regwise.mode=$run ${2:-}" \
    -chardev file,id=debug,path="$log" -device isa-debugcon,iobase=0xe9,chardev=debug \
    -device isa-serial,iobase=0x3f8,irq=4 -device isa-serial,iobase=0x2f8,irq=3 \
    -device isa-serial,iobase=0x3e8,irq=4 -device isa-serial,iobase=0x2e8,irq=3 \
    >"$work/qemu-$run.out" 2>&1 || true
  say "$run boot took $((SECONDS - started)) s"
  grep -a 'RW| ' "$log" | sed 's/.*RW| //' | grep -v '^T ' || true
  grep -a 'RW| T ' "$log" | sed 's/.*RW| T //' >"$work/hw-transcript-$run.txt" || true
  grep -aq 'RW| END pass=[0-9]* fail=0' "$log" && grep -aq 'RW| EXIT 0' "$log"
}

status=0
case $mode in
test)
  boot test || { say "FAILED: guest tests (see $work/console-test.log)"; status=1; }
  boot lockdown lockdown=integrity || { say "FAILED: lockdown boot"; status=1; }
  if [ -n "$compare" ] && [ -f "$bin/libregwise-portio-sim.so" ]; then
    say "real ports (QEMU) against the simulated library:"
    # QEMU's UARTs complete every transfer at once; so must the simulated ones here.
    export REGWISE_SIM_TIMING=instant
    "$compare" "$bin/libregwise-portio-sim.so" "$work/hw-transcript-test.txt" || status=1
  else
    say "no simulated library built: transcript comparison skipped"
  fi
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
