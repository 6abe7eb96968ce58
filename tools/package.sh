#!/usr/bin/env bash
# Builds the Debian package and the Windows zip into build/packages, then
# checks them: lintian (no errors) and the service's exposure score from
# systemd-analyze security.
# Reuses build/native and build/windows when they exist (tools/test.sh).
set -euo pipefail
cd "$(dirname "$0")/.."
tools/setup.sh package
out=build/packages
rm -rf "$out"
mkdir -p "$out"
for host in native windows; do
  # A folder configured before keeps its settings (tests on or off).
  if [ -f "build/$host/CMakeCache.txt" ]; then cmake --preset "$host" >/dev/null
  else cmake --preset "$host" -DDROMIKA_TESTS=OFF >/dev/null; fi
  targets=(DromikaCmd tally-client)
  [ "$host" = native ] && targets+=(dromika-collector) || targets+=(tally_client)
  cmake --build --preset "$host" --target "${targets[@]}"
  (cd "build/$host" && cpack -B "$PWD/../packages" >/dev/null)
done
rm -rf "$out/_CPack_Packages"
deb=$(ls "$out"/dromika_*.deb)
zip=$(ls "$out"/dromika-*-win64.zip)

# Errors fail the build; warnings are printed. The programs' manuals are
# their --help texts.
lintian --fail-on error --suppress-tags no-manual-page "$deb"

# The service's exposure as systemd rates it (tests/package/deb_test.sh
# verifies the unit once installed).
root=$(mktemp -d)
trap 'rm -rf "$root"' EXIT
dpkg-deb -x "$deb" "$root"
systemd-analyze security --offline=true --root="$root" "$root/lib/systemd/system/dromika-collector.service" | tail -1
echo "built $deb $zip"
