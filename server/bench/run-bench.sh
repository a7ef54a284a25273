#!/usr/bin/env bash
# Sustained event reports against corlune-track-server on loopback with wrk; prints requests/s
# and the latency distribution (p99 included). The server and wrk share this machine's cores.
#   server/bench/run-bench.sh [BUILD_DIR] [SECONDS] [CONNECTIONS]
# Defaults: build, 15 s, 32 connections.
set -euo pipefail
root=$(cd "$(dirname "$0")/../.." && pwd)
build=${1:-$root/build}
seconds=${2:-15}
connections=${3:-32}
binary=$build/server/corlune-track-server
[ -x "$binary" ] || { echo "no $binary: build first" >&2; exit 1; }
command -v wrk >/dev/null || { echo "wrk is not installed (scripts/setup installs it)" >&2; exit 1; }

scratch=$(mktemp -d /tmp/corlune-bench.XXXXXX)
server_pid=""
cleanup() {
  if [ -n "$server_pid" ]; then kill -TERM "$server_pid" 2>/dev/null || true; wait "$server_pid" 2>/dev/null || true; fi
  rm -rf "$scratch"
}
trap cleanup EXIT

printf 'bench\n' | "$binary" employee add bench --job bench --db "$scratch/bench.db" >/dev/null
"$binary" serve --db "$scratch/bench.db" --listen 127.0.0.1:0 --port-file "$scratch/port" >/dev/null 2>"$scratch/server.log" &
server_pid=$!
for _ in $(seq 1 200); do [ -s "$scratch/port" ] && break; sleep 0.05; done
port=$(cat "$scratch/port")
# Reports need the employee's sign-in token, as the time clock sends it.
token=$(curl -sf -H 'Content-Type: application/json' \
  -d '{"employeeId":"bench","jobId":"bench","password":"bench"}' "http://127.0.0.1:$port/api/users/verify" |
  sed -n 's/.*"token":"\([^"]*\)".*/\1/p')
[ -n "$token" ] || { echo "the service gave no sign-in token" >&2; exit 1; }
export CORLUNE_BENCH_TOKEN=$token

echo "== $seconds s, $connections connections, 2 wrk threads, $(nproc) cores, synchronous=FULL"
wrk -t2 -c"$connections" -d"${seconds}s" --latency -s "$root/server/bench/events.lua" "http://127.0.0.1:$port"

kill -TERM "$server_pid"; wait "$server_pid"; server_pid=""
stored=$(sqlite3 "$scratch/bench.db" "SELECT count(*) FROM events")
echo "== events stored: $stored"
