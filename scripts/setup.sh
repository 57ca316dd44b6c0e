#!/usr/bin/env bash
# Installs the Debian packages the build needs, when any is missing.
set -euo pipefail
packages=(cmake make g++ pkg-config libopencv-core-dev libopencv-imgproc-dev libopencv-imgcodecs-dev
          libraw-dev libexif-dev libjpeg62-turbo-dev libgtest-dev libbenchmark-dev ccache nlohmann-json3-dev
          python3 python3-numpy python3-pytest python3-pip python3-setuptools python3-wheel)
missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
  echo "setup: installing ${missing[*]}"
  if [ "$(id -u)" -ne 0 ]; then
    echo "setup: run as root (apt-get) or install: ${missing[*]}" >&2
    exit 1
  fi
  apt-get update -qq
  DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
fi
