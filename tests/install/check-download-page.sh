#!/usr/bin/env bash
# The download page in a real browser: headless Chromium loads it from the real service, its
# links lead to exactly the packages offered, its own security policy lets its style apply, and
# a phone-sized screenshot lands in the artifacts folder.
#   check-download-page.sh SERVER_BINARY ARTIFACTS_FOLDER
set -euo pipefail
server=$1 artifacts=$2
scratch=$(mktemp -d)
cleanup() {
  set +e
  [ -z "${pid:-}" ] || { kill "$pid" 2>/dev/null; wait "$pid"; }
  rm -rf "$scratch"
}
trap cleanup EXIT
fail() { echo "check-download-page: $*" >&2; exit 1; }

mkdir -p "$scratch/downloads" "$artifacts"
touch "$scratch/downloads/"{corlune-track,corlune-track-server}_9.1.0-1_amd64.deb
printf 'Faster sign-in.\nBreaks are shown by day.\n' >"$scratch/notes.txt"
"$server" serve --db "$scratch/track.db" --listen 127.0.0.1:0 --port-file "$scratch/port" \
  --downloads "$scratch/downloads" --release-notes "$scratch/notes.txt" --latest-version 9.1.0 >/dev/null &
pid=$!
for _ in $(seq 100); do [ -s "$scratch/port" ] && break; sleep 0.1; done
[ -s "$scratch/port" ] || fail "the service did not start"
url="http://127.0.0.1:$(cat "$scratch/port")/"

browse() { # NAME CHROMIUM-OPTIONS...
  local name=$1 && shift
  timeout 60 chromium --headless --no-sandbox --disable-gpu --disable-quic --no-first-run \
    --disable-background-networking --disable-component-update --disable-sync \
    --user-data-dir="$scratch/profile-$name" --enable-logging=stderr --v=0 "$@" "$url" 2>"$scratch/$name.log"
}
browse dom --dump-dom >"$scratch/dom.html" || fail "chromium could not load $url"
browse phone --screenshot="$artifacts/download-page-phone.png" --window-size=390,844 >/dev/null ||
  fail "chromium took no screenshot"

links=$(grep -o '<a [^>]*>' "$scratch/dom.html" | sort | tr '\n' ' ' || true)
[ "$links" = '<a href="/downloads/corlune-track-server_9.1.0-1_amd64.deb"> <a href="/downloads/corlune-track_9.1.0-1_amd64.deb"> ' ] ||
  fail "the links are: $links"
grep -q '9\.1\.0' "$scratch/dom.html" && grep -q 'Breaks are shown by day' "$scratch/dom.html" ||
  fail "the version or the release notes are missing"
! grep -h 'Content Security Policy' "$scratch"/*.log || fail "the page's own policy blocked it"
[ -s "$artifacts/download-page-phone.png" ] || fail "no screenshot"
echo "download page checked; screenshot in $artifacts/download-page-phone.png"
