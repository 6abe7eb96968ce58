#!/usr/bin/env bash
# Installs from Debian's packages what one job needs, and nothing more:
#   tools/setup.sh SET...
#   report     build DromikaCmd and write a report of this machine
#   collector  build dromika-collector as well
#   test       build both hosts and run every test, benchmark and coverage
#   package    build the .deb and the Windows .zip and check them
set -euo pipefail
report=(cmake ninja-build g++ libfmt-dev libicu-dev libcurl4-openssl-dev zlib1g-dev)
collector=("${report[@]}" pkg-config libmicrohttpd-dev libsqlite3-dev libpq-dev libxml2-dev libssl-dev)
windows=(g++-mingw-w64-x86-64-posix libz-mingw-w64-dev wine64)
test=("${collector[@]}" "${windows[@]}" python3 libxml2-utils googletest libgtest-dev libgmock-dev
  libbenchmark-dev clang libclang-rt-14-dev postgresql postgresql-common curl openssl chromium gcovr)
package=("${collector[@]}" "${windows[@]}" dpkg-dev lintian systemd curl)

if (($# == 0)); then
  sed -n '2,7s/^# \{0,1\}//p' "$0" >&2
  exit 2
fi
packages=()
for set in "$@"; do
  case "$set" in
    report | collector | test | package)
      declare -n chosen="$set"
      packages+=("${chosen[@]}")
      unset -n chosen
      ;;
    *)
      echo "setup.sh: unknown set $set (report, collector, test, package)" >&2
      exit 2
      ;;
  esac
done
missing=()
for p in $(printf '%s\n' "${packages[@]}" | sort -u); do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if ((${#missing[@]})); then
  SUDO=$([ "$(id -u)" = 0 ] && echo "" || echo sudo)
  $SUDO apt-get update
  DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y --no-install-recommends "${missing[@]}"
fi
