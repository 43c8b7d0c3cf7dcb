#!/usr/bin/env bash
# Fetches the Linux kernel that the emulated sound card test boots under QEMU:
# Debian's cloud kernel package, downloaded with apt-get download and unpacked
# with dpkg -x (nothing is installed). Keeps only the kernel image, as
# DIR/vmlinuz, and prints that path. Does nothing when DIR/vmlinuz is there.
# Usage: scripts/fetch-guest-kernel.sh [DIR]   (default: build/guest-kernel)
set -euo pipefail
dir=${1:-"$(dirname "$0")/../build/guest-kernel"}
mkdir -p "$dir"
dir=$(cd "$dir" && pwd)
if [ -s "$dir/vmlinuz" ]; then
  echo "$dir/vmlinuz"
  exit 0
fi

meta=linux-image-cloud-amd64
versioned() { apt-cache depends "$meta" 2>/dev/null | sed -n 's/^ *Depends: \(linux-image-[0-9][^ ]*\).*/\1/p' | head -n1; }
package=$(versioned)
if [ -z "$package" ]; then
  # A fresh machine may not have the package lists yet.
  SUDO=""
  if [ "$(id -u)" -ne 0 ]; then SUDO="sudo"; fi
  $SUDO apt-get update -qq >&2
  package=$(versioned)
fi
if [ -z "$package" ]; then
  echo "fetch-guest-kernel: no package $meta in the package lists (is a Debian amd64 archive configured?)" >&2
  exit 1
fi

work=$(mktemp -d "$dir/fetch.XXXXXX")
trap 'rm -rf "$work"' EXIT
if ! (cd "$work" && apt-get download -q "$package") >"$work/apt.log" 2>&1; then
  cat "$work/apt.log" >&2
  echo "fetch-guest-kernel: apt-get download $package failed" >&2
  exit 1
fi
dpkg -x "$work"/*.deb "$work/unpacked"
image=$(ls "$work"/unpacked/boot/vmlinuz-* 2>/dev/null | head -n1)
if [ -z "$image" ]; then
  echo "fetch-guest-kernel: $package holds no /boot/vmlinuz-*" >&2
  exit 1
fi
cp "$image" "$dir/vmlinuz.part"
echo "$package" >"$dir/package"
mv "$dir/vmlinuz.part" "$dir/vmlinuz"
echo "$dir/vmlinuz"
