#!/usr/bin/env bash
# Installs the .deb (as root), checks its service unit, runs the installed
# collector on a folder of its own, uploads a document that the installed
# tally-client and DromikaCmd made, then purges the package and checks that
# nothing of it is left. tests/package/deb_test.sh build/packages/dromika_*.deb
set -euo pipefail
deb=$(realpath "$1")
if [ "$(id -u)" != 0 ]; then
  echo "deb_test: skipped, installing a package needs root"
  exit 0
fi
if dpkg-query -W -f='${Status}' dromika 2>/dev/null | grep -q "install ok installed"; then
  echo "deb_test: dromika is already installed here; not touching it" >&2
  exit 1
fi
work=$(mktemp -d /tmp/dromika-deb-test-XXXXXX)
collector_pid=
cleanup() {
  [ -n "$collector_pid" ] && kill "$collector_pid" 2>/dev/null && wait "$collector_pid" || true
  dpkg --purge dromika >/dev/null 2>&1 || true
  rm -rf "$work"
}
trap cleanup EXIT
fail() {
  echo "deb_test: $*" >&2
  exit 1
}

dpkg -i "$deb" >/dev/null
systemd-analyze verify /lib/systemd/system/dromika-collector.service
[ "$(dpkg-query -W -f='${Conffiles}' dromika | awk '{print $1}')" = /etc/default/dromika-collector ] ||
  fail "/etc/default/dromika-collector is not a conffile"
/usr/bin/dromika-collector --version | grep -q "^dromika-collector [0-9]" || fail "no --version"

# The installed tally-client finds the installed DromikaCmd beside itself.
printf 'TrackEvent\tpackage.test\nAddStandardGroup\t0x10000000\nSaveTo\t%s\nProcess\n' "$work/session.xml" | /usr/bin/tally-client >/dev/null 2>&1 ||
  fail "tally-client session failed"

cd "$work"
/usr/bin/dromika-collector serve --listen 127.0.0.1:0 --store "sqlite:$work/store.db" >"$work/out" 2>"$work/err" &
collector_pid=$!
for _ in $(seq 100); do
  grep -q "listening on" "$work/out" && break
  kill -0 "$collector_pid" 2>/dev/null || fail "the collector ended: $(cat "$work/err")"
  sleep 0.1
done
url=$(grep -o 'listening on http://[0-9.:]*' "$work/out" | head -n 1 | sed 's/^listening on //')
[ -n "$url" ] || fail "the collector did not start"
status=$(curl -sS -o "$work/answer" -w '%{http_code}' --max-time 30 -H 'Content-Type: application/xml' \
  --data-binary "@$work/session.xml" "$url/v1/documents")
[ "$status" = 201 ] || fail "upload answered $status: $(cat "$work/answer")"
grep -q '"events": *1' "$work/answer" || fail "unexpected answer $(cat "$work/answer")"
kill "$collector_pid"
wait "$collector_pid" || fail "the collector did not stop cleanly"
collector_pid=

dpkg --purge dromika >/dev/null
for path in /usr/bin/dromika-collector /usr/bin/DromikaCmd /usr/bin/tally-client /etc/default/dromika-collector \
  /lib/systemd/system/dromika-collector.service /usr/share/doc/dromika; do
  [ ! -e "$path" ] || fail "$path is left after a purge"
done
echo "deb_test: installed, served an upload, purged"
