#!/usr/bin/env bash
# Installs what is missing, builds, registers the camera in the project's own
# Wine prefix and runs QvPushServer.exe (ports 19722 and 19723) until stopped.
set -euo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/common.sh"

qv_install_packages
dir=$QV_ROOT/build/windows-x64
qv_build windows-x64 "$dir"
trap qv_wine_down EXIT
qv_wine_up "$dir"
"$QV_WINE" regsvr32 /s "$dir/bin/QvCamera.dll" </dev/null >/dev/null 2>&1 || echo "camera registration failed"
echo "QvPushServer is serving ports 19722 and 19723 and its control page at http://127.0.0.1:19724/; press Ctrl+C to stop it"
"$QV_WINE" "$dir/bin/QvPushServer.exe" &
daemon=$!
# Under errexit a failing command would end a trap early, so each step here
# is allowed to fail; Ctrl+C exits, and the exit trap stops everything once.
stop_daemon() {
    kill "$daemon" 2>/dev/null || true
    wait "$daemon" 2>/dev/null || true
    qv_wine_down
}
trap stop_daemon EXIT
trap 'exit 130' INT TERM
wait "$daemon"
