#!/usr/bin/env bash
# Installs every Debian 12 package that Tapewell's build, tests and benchmarks need.
# Idempotent: when everything is present it only checks and returns.
# --no-guest-kernel: leave out the emulated card test's kernel (run.sh needs none).
set -euo pipefail
guest_kernel=true
[ "${1:-}" = "--no-guest-kernel" ] && guest_kernel=false

packages=(
  # build
  cmake ninja-build g++ pkg-config
  # core tests, benchmarks, sanitizers and fuzzing
  libgtest-dev libgmock-dev googletest libbenchmark-dev clang libclang-rt-14-dev
  # libsndfile: tapewell-rec --input reads through it (the Windows step cross-builds
  # it from Debian's source package, with dpkg-dev below); with sox also the tests'
  # independent readers of what the writer produces
  libsndfile1-dev sox
  # benchmark scripts (ffmpeg: a peer of the offline split)
  time ffmpeg
  # terminal tools
  libcli11-dev
  # the sound card test on an emulated card: a QEMU guest with a cpio initramfs and busybox
  qemu-system-x86 cpio busybox-static
  # audio input: the sound server's client library, PortAudio as the fallback
  libpulse-dev portaudio19-dev libasound2-plugins
  # private sound servers for the live tests: PulseAudio, and PipeWire with
  # pipewire-pulse under its own D-Bus session; arecord for the CPU benchmark
  pulseaudio pulseaudio-utils pipewire wireplumber pipewire-pulse dbus dbus-daemon alsa-utils
  # window (qt6-translations-l10n: Qt's own dialogs, the folder browser among them, in Japanese)
  qt6-base-dev qt6-tools-dev qt6-tools-dev-tools qt6-l10n-tools qt6-translations-l10n libgl-dev fonts-noto-cjk xvfb xauth
  # the window's test on a private X server talks to it as a window manager would
  libxcb1-dev
  # the Debian package (scripts/package.sh) and its tests: icons, man pages, desktop metadata, completion
  dpkg-dev librsvg2-bin man-db groff-base desktop-file-utils appstream lintian bash-completion file
  # Windows programs: the MinGW-w64 cross compiler, and Wine to run their tests
  # (locales: the Japanese locale the tests compile for Wine's Japanese UI);
  # NSIS for the installer
  g++-mingw-w64-x86-64-posix wine64 locales nsis
)

missing=()
for p in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q '^install ok installed'; then
    missing+=("$p")
  fi
done

# The guest kernel of the emulated card test (Debian's cloud kernel), cached in the build tree.
fetch_guest_kernel() {
  $guest_kernel || return 0
  bash "$(dirname "$0")/fetch-guest-kernel.sh" "$(dirname "$0")/../build/guest-kernel" >/dev/null
}

if [ ${#missing[@]} -eq 0 ]; then
  fetch_guest_kernel
  exit 0
fi

echo "installing: ${missing[*]}"
SUDO=""
if [ "$(id -u)" -ne 0 ]; then SUDO="sudo"; fi
export DEBIAN_FRONTEND=noninteractive
$SUDO apt-get update -qq
$SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
fetch_guest_kernel
