#!/usr/bin/env bash
# The two commands of the README side by side: while scripts/run-daemon.sh
# runs its demo, a second run-daemon.sh refuses to start, and
# scripts/test.sh run for one test leaves the demo's daemon and its nginx
# serving. Run by .ci/run after the full test run (the build is done then).
# Usage: side_by_side_check.sh [ctest regex of the one test]
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)
one=${1:-'^setup_helper_test$'}
run=$root/build/windows-x64/run-daemon
work=$(mktemp -d /tmp/qv-side-by-side.XXXXXX)
demo=

fail() {
    echo "side-by-side check FAILED: $*" >&2
    echo "--- run-daemon.sh's output:" >&2
    cat "$work/demo.log" >&2 || true
    exit 1
}
finish() {
    if [ -n "$demo" ] && kill -0 "$demo" 2>/dev/null; then
        kill -TERM "$demo" 2>/dev/null || true
        for _ in $(seq 600); do kill -0 "$demo" 2>/dev/null || break; sleep 0.1; done
    fi
    rm -rf "$work"
}
trap finish EXIT

# The daemon's greeting on the command port, up to its NUL; empty if none.
greeting() {
    python3 - <<'PY' 2>/dev/null || true
import socket
try:
    s = socket.create_connection(("127.0.0.1", 19723), timeout=5)
    data = b""
    while not data.endswith(b"\0"):
        chunk = s.recv(4096)
        if not chunk:
            break
        data += chunk
    print(data.rstrip(b"\0").decode("gbk", "replace"))
except OSError:
    pass
PY
}

# A session of its own, so that the demo's Ctrl+C path (TERM) reaches it
# and nothing of it holds this script's terminal.
setsid bash "$root/scripts/run-daemon.sh" >"$work/demo.log" 2>&1 </dev/null &
demo=$!
for _ in $(seq 900); do
    grep -q "QvPushServer is serving" "$work/demo.log" 2>/dev/null && break
    kill -0 "$demo" 2>/dev/null || fail "run-daemon.sh ended before it served"
    sleep 1
done
grep -q "QvPushServer is serving" "$work/demo.log" || fail "run-daemon.sh did not come up within 15 minutes"
before=
for _ in $(seq 60); do
    before=$(greeting)
    [ -n "$before" ] && break
    sleep 1
done
[ -n "$before" ] || fail "the demo's daemon does not greet on 127.0.0.1:19723"
nginx_pid=$(cat "$run/nginx/nginx.pid")
kill -0 "$nginx_pid" 2>/dev/null || fail "the demo's nginx ($nginx_pid) does not run"

if bash "$root/scripts/run-daemon.sh" >"$work/second.log" 2>&1 </dev/null; then
    fail "a second run-daemon.sh started beside the first"
fi
grep -q "already running" "$work/second.log" || fail "the second run-daemon.sh did not say why it refused: $(cat "$work/second.log")"

QV_SKIP_X86=1 bash "$root/scripts/test.sh" -R "$one" || fail "scripts/test.sh -R '$one' failed"

kill -0 "$demo" 2>/dev/null || fail "run-daemon.sh ended while scripts/test.sh ran"
kill -0 "$nginx_pid" 2>/dev/null || fail "scripts/test.sh ended the demo's nginx"
after=$(greeting)
[ -n "$after" ] || fail "scripts/test.sh ended the demo's daemon (no greeting on 127.0.0.1:19723)"
echo "side by side: the demo's daemon and nginx kept serving through scripts/test.sh -R '$one'"
