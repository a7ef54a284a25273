#!/usr/bin/env bash
# The Debian packages as an administrator meets them: made from this build by cpack, without
# lintian errors, installed with apt-get, the unit accepted by systemd, the service started as
# the unit starts it, both programs answering --version and --help (the time clock without a
# display), and everything removed again. Skipped (77) unless root, and on a machine that has
# either package installed already, which it leaves alone.
#   check-packages.sh CPACK BUILD_FOLDER
set -euo pipefail
cpack=$1 build=$(cd "$2" && pwd)
fail() { echo "check-packages: $*" >&2; exit 1; }
[ "$(id -u)" = 0 ] || { echo "check-packages: installing packages needs root; skipped"; exit 77; }
dpkg-query -W -f='${Status}\n' corlune-track corlune-track-server 2>/dev/null | grep -q ' installed$' &&
  { echo "check-packages: a package of ours is installed here already; skipped"; exit 77; }
getent passwd corlune-track-server >/dev/null && had_user=1 || had_user=0

rm -rf "$build/packages"
(cd "$build" && "$cpack" -G DEB >"$build/cpack.log" 2>&1) || { cat "$build/cpack.log"; fail "cpack failed"; }
debs=("$build"/packages/*.deb)
[ ${#debs[@]} = 2 ] || fail "expected two packages, got: ${debs[*]}"
lintian --fail-on error "${debs[@]}" || fail "lintian found errors"

scratch=$(mktemp -d)
# Masked while the packages are here, so that a machine running systemd does not start the
# service on the port other tests use.
mask=/etc/systemd/system/corlune-track-server.service
[ -e "$mask" ] || { ln -s /dev/null "$mask" && masked=1; }
cleanup() {
  set +e
  [ -z "${pid:-}" ] || { kill "$pid" 2>/dev/null; wait "$pid"; }
  DEBIAN_FRONTEND=noninteractive apt-get purge -y -q -o DPkg::Lock::Timeout=120 \
    corlune-track corlune-track-server >/dev/null 2>&1
  [ -z "${masked:-}" ] || rm -f "$mask"
  if [ "$had_user" = 0 ] && getent passwd corlune-track-server >/dev/null; then
    { deluser --system --quiet corlune-track-server && delgroup --system --quiet corlune-track-server; } 2>/dev/null
    rm -rf /var/lib/corlune-track-server
  fi
  rm -rf "$scratch"
}
trap cleanup EXIT
DEBIAN_FRONTEND=noninteractive apt-get install -y -q --no-install-recommends -o DPkg::Lock::Timeout=120 \
  "${debs[@]}" >"$scratch/apt.log" || { cat "$scratch/apt.log"; fail "apt-get install failed"; }

unit=/lib/systemd/system/corlune-track-server.service
verified=$(systemd-analyze verify "$unit" 2>&1) && [ -z "$verified" ] || fail "systemd-analyze: $verified"
# answers PATTERN COMMAND...: the command succeeds and prints a line that matches.
answers() { local pattern=$1 out; shift; out=$("$@") && grep -q "$pattern" <<<"$out" || fail "$* printed: $out"; }
answers '^corlune-track [0-9]' env -u DISPLAY -u WAYLAND_DISPLAY corlune-track --version
answers '^Usage: corlune-track' env -u DISPLAY -u WAYLAND_DISPLAY corlune-track --help
answers '^corlune-track-server [0-9]' corlune-track-server --version
answers '^Usage:' corlune-track-server --help

# The unit's command line with the options file's words, as its user, on a free port.
command=$(sed -n 's/^ExecStart=//p' "$unit")
user=$(sed -n 's/^User=//p' "$unit")
install -d -o "$user" "$scratch/run" || fail "the unit's user $user does not exist"
chmod 0711 "$scratch"
(
  . /etc/corlune-track-server/serve.conf
  eval "exec setpriv --reuid=$user --regid=$user --clear-groups -- $command --listen 127.0.0.1:0 \
    --port-file $scratch/run/port"
) >/dev/null &
pid=$!
for _ in $(seq 100); do [ -s "$scratch/run/port" ] && break; sleep 0.1; done
[ -s "$scratch/run/port" ] || fail "the packaged service did not start with its options file"
answers '<h1>Corlune Track</h1>' curl -fsS "http://127.0.0.1:$(cat "$scratch/run/port")/"
echo "packages checked: ${debs[*]##*/}"
