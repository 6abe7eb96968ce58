#!/usr/bin/env bash
# Installs what building and testing need, from Debian's packages.
set -euo pipefail
packages=(
  cmake ninja-build g++ python3 libxml2-utils
  googletest libgtest-dev libgmock-dev libbenchmark-dev
  libfmt-dev libicu-dev libcurl4-openssl-dev zlib1g-dev
  g++-mingw-w64-x86-64-posix wine64 libz-mingw-w64-dev
  clang libclang-rt-14-dev
  pkg-config libmicrohttpd-dev libsqlite3-dev libpq-dev libxml2-dev libssl-dev
  postgresql postgresql-common curl openssl chromium gcovr
)
missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if ((${#missing[@]})); then
  SUDO=$([ "$(id -u)" = 0 ] && echo "" || echo sudo)
  $SUDO apt-get update
  DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y --no-install-recommends "${missing[@]}"
fi
