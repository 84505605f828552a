#!/usr/bin/env bash
# Installs what is missing, builds both presets and runs every test under Wine.
# Extra arguments go to ctest (for example -R parse or -L camera).
# QV_BUILD_DIR picks another build tree for the x64 build (default build/windows-x64;
# the x86 build goes to its x86/ folder, where the installer takes its 32-bit camera from),
# QV_BUILD_TARGETS builds only those targets, QV_SKIP_X86=1 skips the x86 build.
set -euo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/common.sh"

start=$(date +%s)
qv_install_packages
dir=${QV_BUILD_DIR:-$QV_ROOT/build/windows-x64}
if [ -n "${QV_BUILD_TARGETS:-}" ]; then
    qv_use_ccache
    cmake --preset windows-x64 -S "$QV_ROOT" -B "$dir" >/dev/null
    # shellcheck disable=SC2086
    cmake --build "$dir" -j "$(nproc)" --target $QV_BUILD_TARGETS
else
    qv_build windows-x64 "$dir"
fi
if [ "${QV_SKIP_X86:-0}" != 1 ]; then
    qv_build windows-x86 "$dir/x86"
fi
trap qv_wine_down EXIT
qv_wine_up "$dir"
status=0
ctest --test-dir "$dir" --output-on-failure -j 2 --timeout 600 "$@" || status=$?
echo "test run took $(( $(date +%s) - start )) s"
exit $status
