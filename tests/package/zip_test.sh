#!/usr/bin/env bash
# Unpacks the Windows zip, builds a small application against it with the
# mingw toolchain (find_package and one link line), and runs it under wine
# against the packaged DromikaCmd.exe. tests/package/zip_test.sh ZIP
set -euo pipefail
zip=$(realpath "$1")
tree=$(realpath "$(dirname "$0")/../..")
work=$(mktemp -d /tmp/dromika-zip-test-XXXXXX)
trap 'rm -rf "$work"' EXIT
export WINEDEBUG=-all WINEPREFIX="${WINEPREFIX:-$tree/build/wine-prefix}"
python3 -m zipfile -e "$zip" "$work"
package=$(ls -d "$work"/dromika-*-win64)
# The toolchain searches its own root only; the package is named directly.
cmake -S "$tree/tests/package/client_app" -B "$work/build" -G Ninja -DCMAKE_BUILD_TYPE=Release \
  -DCMAKE_TOOLCHAIN_FILE="$tree/cmake/mingw-w64.cmake" -DDromikaClient_DIR="$package/lib/cmake/DromikaClient" \
  -DCMAKE_EXE_LINKER_FLAGS="-static" >/dev/null
cmake --build "$work/build" >/dev/null
winpath() { echo "Z:${1//\//\\}"; }
/usr/lib/wine/wine64 "$work/build/client_app.exe" "$(winpath "$package/bin/DromikaCmd.exe")" \
  "$(winpath "$work/session.xml")" 2>"$work/err" || { cat "$work/err" >&2; exit 1; }
grep -q 'event name="client_app.started"' "$work/session.xml" || { echo "zip_test: no event saved" >&2; exit 1; }
echo "zip_test: built against the zip, ran a session with the packaged DromikaCmd.exe"
