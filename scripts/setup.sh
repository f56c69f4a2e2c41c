#!/usr/bin/env bash
# Installs what building and testing Quavix needs on a fresh Debian machine.
# Quick when everything is already there: only missing packages are fetched.
set -euo pipefail

PACKAGES=(
  build-essential cmake ninja-build ccache pkg-config python3 libx11-dev libpugixml-dev
  clang libclang-rt-dev
  googletest libgtest-dev libgmock-dev libbenchmark-dev python3-mido midicsv libsmf-dev openttd-openmsx
  # music font generator (Bravura from npm), its checks and proof sheet; Node's own
  # packages only where no node/npm is installed (a NodeSource nodejs conflicts with them)
  python3-fonttools python3-pil fonts-dejavu-core
  # looking at the printed PDF pages (pdftoppm, pdffonts)
  poppler-utils
  # sound: the software synthesizer with a General MIDI SoundFont (the small one as
  # a fallback), the sequencer's MIDI ports
  libfluidsynth-dev fluid-soundfont-gm timgm6mb-soundfont librtmidi-dev libasound2-dev
  # Qt for the programs, the faces the score fonts map to, and a display for screenshots
  qt6-base-dev libqt6svg6 qt6-translations-l10n adwaita-icon-theme libgl-dev zlib1g-dev fontconfig fonts-liberation2 fonts-liberation fonts-wqy-microhei xvfb xauth
  $(command -v node >/dev/null 2>&1 || echo nodejs) $(command -v npm >/dev/null 2>&1 || echo npm)
)

missing=()
for p in "${PACKAGES[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "ok installed"; then
    missing+=("$p")
  fi
done

if ((${#missing[@]})); then
  echo "setup: installing ${missing[*]}"
  SUDO=""
  if [ "$(id -u)" -ne 0 ]; then SUDO="sudo"; fi
  export DEBIAN_FRONTEND=noninteractive
  $SUDO apt-get update -qq
  $SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi
