#!/usr/bin/env bash
# Installs every Debian 12 package that Tapewell's build, tests and benchmarks need.
# Idempotent: when everything is present it only checks and returns.
set -euo pipefail

packages=(
  # build
  cmake ninja-build g++ pkg-config
  # core tests, benchmarks, sanitizers and fuzzing
  libgtest-dev libgmock-dev googletest libbenchmark-dev clang libclang-rt-14-dev
  # independent readers of what the writer produces (tests only)
  libsndfile1-dev sox
  # benchmark scripts
  time
  # terminal tools
  libcli11-dev
  # audio input: the sound server's client library, PortAudio as the fallback
  libpulse-dev portaudio19-dev libasound2-plugins
  # private sound servers for the live tests: PulseAudio, and PipeWire with
  # pipewire-pulse under its own D-Bus session; arecord for the CPU benchmark
  pulseaudio pulseaudio-utils pipewire wireplumber pipewire-pulse dbus dbus-daemon alsa-utils
  # window
  qt6-base-dev qt6-tools-dev qt6-tools-dev-tools qt6-l10n-tools libgl-dev fonts-noto-cjk xvfb xauth
)

missing=()
for p in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q '^install ok installed'; then
    missing+=("$p")
  fi
done

if [ ${#missing[@]} -eq 0 ]; then
  exit 0
fi

echo "installing: ${missing[*]}"
SUDO=""
if [ "$(id -u)" -ne 0 ]; then SUDO="sudo"; fi
export DEBIAN_FRONTEND=noninteractive
$SUDO apt-get update -qq
$SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
