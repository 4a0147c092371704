#!/usr/bin/env bash
# Installs the Debian packages that building, running and testing need; skips
# what is already there.
set -euo pipefail
packages=(
  build-essential cmake pkg-config libgtest-dev
  qt6-base-dev zlib1g-dev libssl-dev libcurl4-openssl-dev
  mariadb-server mariadb-client tzdata python3
  clang libclang-rt-14-dev libcpp-httplib-dev
  rsync fonts-dejavu-core xvfb time openssl
  man-db groff-base dpkg-dev desktop-file-utils
  libzstd-dev zstd clang-format clang-tidy
)
missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
  echo "Installing: ${missing[*]}"
  sudo_cmd=()
  [ "$(id -u)" = 0 ] || sudo_cmd=(sudo)
  "${sudo_cmd[@]}" apt-get update -qq
  DEBIAN_FRONTEND=noninteractive "${sudo_cmd[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi
