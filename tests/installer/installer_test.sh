#!/usr/bin/env bash
# Runs installer_flow_test.exe in a fresh Wine prefix of its own, with its
# own wineserver, so the installer meets a machine that has never seen
# QvPush. The prefix is removed afterwards (it takes about 700 MB).
# Usage: installer_test.sh <work folder> <installer_flow_test.exe>
set -euo pipefail
work=${1:?work folder}
program=${2:?test program}
# Wine takes only an absolute prefix path.
mkdir -p "$work"
work=$(cd "$work" && pwd)
source "$(dirname "${BASH_SOURCE[0]}")/../../scripts/common.sh"
qv_find_wine

export WINEPREFIX=$work/prefix WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
export LANG=zh_CN.UTF-8 LC_ALL=zh_CN.UTF-8
# The daemon lists microphones at each greeting; a null ALSA device keeps
# Wine's audio from printing errors for the missing sound card.
export HOME=$work/home
mkdir -p "$HOME"
echo 'pcm.!default { type null }' > "$HOME/.asoundrc"
cleanup() {
    "$QV_WINESERVER" -k </dev/null >/dev/null 2>&1 || true
    [ "${QV_KEEP_INSTALLER_PREFIX:-0}" = 1 ] || rm -rf "$WINEPREFIX"
}
trap cleanup EXIT

rm -rf "$WINEPREFIX"
mkdir -p "$WINEPREFIX"
start=$(date +%s)
"$QV_WINE" wineboot -u </dev/null >/dev/null 2>&1 || true
timeout 120 "$QV_WINESERVER" -w </dev/null >/dev/null 2>&1 || true
if [ ! -f "$WINEPREFIX/system.reg" ]; then
    echo "wineboot made no prefix in $WINEPREFIX" >&2
    exit 1
fi
echo "fresh prefix made in $(( $(date +%s) - start )) s"
"$QV_WINESERVER" -p </dev/null >/dev/null 2>&1
if [ -z "${DISPLAY:-}" ]; then
    # Dialogs (the installer's, the daemon's hidden one) need a driver.
    "$QV_WINE" reg add 'HKCU\Software\Wine\Drivers' /v Graphics /d null /f </dev/null >/dev/null 2>&1
fi
"$QV_WINE" cmd /c exit </dev/null >/dev/null 2>&1 || true

"$QV_WINE" "$program"
