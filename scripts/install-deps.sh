#!/usr/bin/env bash
# Installs every Debian package imgdesk needs to build and test. Safe to run again: packages that
# are already there are left alone, and nothing is fetched when all are present.
#   scripts/install-deps.sh          build, tests, fuzzing (gimp-data and fonts-urw-base35 give the
#                                    photographed-page tests their desk textures and printed fonts;
#                                    Tesseract and its English and orientation data give page text;
#                                    libx11-dev lets the package test include the public headers
#                                    after Xlib's)
#   scripts/install-deps.sh --bench  also the benchmark-only peers (OpenCV, Leptonica)
set -euo pipefail

packages=(
  build-essential cmake pkg-config git
  googletest libgtest-dev libgmock-dev libbenchmark-dev
  clang libclang-rt-14-dev
  libjpeg62-turbo-dev libpng-dev libtiff-dev libgif-dev
  libarchive-dev libcups2-dev libssl-dev
  libx11-dev
  qpdf poppler-utils unzip zip cups-ipp-utils libjpeg-turbo-progs
  gimp-data fonts-urw-base35
  libtesseract-dev tesseract-ocr tesseract-ocr-eng tesseract-ocr-osd
)
if [[ "${1:-}" == "--bench" ]]; then
  packages+=(libopencv-dev libleptonica-dev)
fi

missing=()
for package in "${packages[@]}"; do
  status=$(dpkg-query -W -f='${Status}' "$package" 2>/dev/null || true)
  [[ "$status" == "install ok installed" ]] || missing+=("$package")
done

if ((${#missing[@]} == 0)); then
  echo "install-deps: all ${#packages[@]} packages present"
  exit 0
fi

echo "install-deps: installing ${missing[*]}"
sudo_cmd=()
[[ $(id -u) -eq 0 ]] || sudo_cmd=(sudo)
export DEBIAN_FRONTEND=noninteractive
"${sudo_cmd[@]}" apt-get update -qq
"${sudo_cmd[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}"
