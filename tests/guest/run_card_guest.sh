#!/usr/bin/env bash
# Boots a small Linux guest under QEMU (TCG, no KVM needed) with an emulated
# AudioPCI card (-device ES1370) and runs the card tests in it. The guest's
# init is the statically linked test program; tapewell-card (static), busybox
# (for the udev rule's shell command) and the udev rule ride along in a newc
# cpio initramfs. The console output is the result: the run passes only when
# the guest prints "tapewell-guest-result: PASS". A guest that cannot be made
# or cannot boot fails the test; nothing here skips.
# Usage: run_card_guest.sh GUEST_TEST CARD_TOOL RULE KERNEL_CACHE WORK_DIR
set -euo pipefail
if [ $# -ne 5 ]; then
  echo "usage: $0 GUEST_TEST CARD_TOOL RULE KERNEL_CACHE WORK_DIR" >&2
  exit 2
fi
guest_test=$1 card_tool=$2 rule=$3 kernel_cache=$4 work=$5
here=$(cd "$(dirname "$0")" && pwd)
boot_seconds=${GUEST_BOOT_TIMEOUT:-240}

fail() {
  echo "card guest test: FAILED: $*" >&2
  exit 1
}

command -v qemu-system-x86_64 >/dev/null || fail "qemu-system-x86_64 is missing (scripts/install-deps.sh installs qemu-system-x86)"
command -v cpio >/dev/null || fail "cpio is missing (scripts/install-deps.sh installs it)"
busybox=$(command -v busybox || true)
if [ -z "$busybox" ] || ldd "$busybox" >/dev/null 2>&1; then
  fail "a statically linked busybox is missing (scripts/install-deps.sh installs busybox-static)"
fi
kernel=$(bash "$here/../../scripts/fetch-guest-kernel.sh" "$kernel_cache") || fail "the guest kernel cannot be fetched"

rm -rf "$work"
mkdir -p "$work/root"/{bin,dev,proc,sys,etc/udev/rules.d}
root="$work/root"
cp "$guest_test" "$root/init"
cp "$card_tool" "$root/bin/tapewell-card"
cp "$busybox" "$root/bin/busybox"
for applet in sh chgrp chmod; do ln -s busybox "$root/bin/$applet"; done
cp "$rule" "$root/etc/udev/rules.d/"
printf 'root:x:0:0:root:/:/bin/sh\nnobody:x:65534:65534:nobody:/:/bin/false\n' >"$root/etc/passwd"
printf 'root:x:0:\naudio:x:29:\nnogroup:x:65534:\n' >"$root/etc/group"
(cd "$root" && find . | LC_ALL=C sort | cpio -o -H newc --quiet) >"$work/initramfs.cpio"

echo "booting $(cat "$kernel_cache/package" 2>/dev/null || echo "$kernel") with an emulated ES1370"
start=$(date +%s)
status=0
timeout --kill-after=10 "$boot_seconds" qemu-system-x86_64 \
  -machine pc -accel tcg -m 256 -smp 1 \
  -kernel "$kernel" -initrd "$work/initramfs.cpio" \
  -append "console=ttyS0 quiet panic=-1 rdinit=/init" \
  -audiodev none,id=a -device ES1370,audiodev=a \
  -nographic -no-reboot </dev/null >"$work/console.log" 2>&1 || status=$?
elapsed=$(($(date +%s) - start))

cat "$work/console.log"
echo "guest ran ${elapsed} s (qemu exit status $status)"
if [ "$status" -eq 124 ] || [ "$status" -eq 137 ]; then
  fail "the guest did not power off within ${boot_seconds} s"
fi
grep -q "^tapewell-guest-result: PASS" <(tr -d '\r' <"$work/console.log") ||
  fail "the guest did not report a pass (console above)"
echo "card guest test: passed"
