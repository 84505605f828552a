#!/usr/bin/env bash
# Installs what is missing, builds and runs every test under Wine.
# Extra arguments go to ctest (for example -R parse or -L camera); a run that
# selects no test fails.
# QV_BUILD_DIR picks another build tree (default build/windows-x64; the
# installer's 32-bit camera is built in its x86/ folder; a relative one is
# taken from the current folder),
# QV_BUILD_TARGETS builds only those targets, QV_SKIP_X86=1 skips the x86 build.
set -euo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/common.sh"

start=$(date +%s)
qv_install_packages
dir=${QV_BUILD_DIR:-$QV_ROOT/build/windows-x64}
# Wine takes only an absolute prefix path.
case $dir in /*) ;; *) dir=$PWD/$dir ;; esac
if [ -n "${QV_BUILD_TARGETS:-}" ]; then
    qv_use_ccache
    cmake --preset windows-x64 -S "$QV_ROOT" -B "$dir" >/dev/null
    # shellcheck disable=SC2086
    cmake --build "$dir" -j "$(nproc)" --target $QV_BUILD_TARGETS
else
    qv_build windows-x64 "$dir"
fi
if [ "${QV_SKIP_X86:-0}" != 1 ]; then
    # The installer takes nothing else from the 32-bit build than its camera.
    qv_build windows-x86 "$dir/x86" QvCamera
fi
# Everything this run starts from here on carries its mark.
qv_mark_run "$dir"
# A run killed outright (SIGKILL) left its servers, its display, daemons in
# its lanes and the lanes' namespaces: they go before this run sets up.
if ! qv_other_run_alive "$dir"; then
    qv_stop_strays "$dir" dead
    qv_port_lanes_down "$dir"
fi
# Also on Ctrl+C and on a time-out of the whole run: what this run and its
# tests started (nginx instances, the installer test's own wineserver) ends
# with it; nothing else does, scripts/run-daemon.sh's demo included.
finish() {
    qv_stop_strays "$dir" own
    qv_wine_down
    qv_other_run_alive "$dir" || qv_port_lanes_down "$dir"
}
trap finish EXIT
trap 'exit 130' INT TERM
# The tests of the daemon's fixed ports run in two lanes beside the others.
qv_port_lanes_up "$dir" 2
lanes=()
for i in $(seq "$QV_PORT_LANES"); do
    net=$(qv_port_lane_net "$dir" "$i")
    lanes+=("wineprefix-lane$i${net:+:$net}")
done
qv_wine_up "$dir" "${lanes[@]}"
status=0
# Tests mostly wait on Wine, servers and time-outs: one more at a time than
# there are lanes keeps both cores busy.
ctest --test-dir "$dir" --output-on-failure --no-tests=error -j $((QV_PORT_LANES + 1)) --timeout 600 "$@" ||
    status=$?
echo "test run took $(( $(date +%s) - start )) s"
exit $status
