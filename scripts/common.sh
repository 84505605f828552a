# Shared by the scripts: packages, build, and the Wine environment.
# Source it; QV_ROOT is the source tree.

QV_ROOT=${QV_ROOT:-$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)}
QV_WINE=/usr/lib/wine/wine64
QV_WINESERVER=/usr/lib/wine/wineserver
QV_PACKAGES="cmake make mingw-w64 g++-mingw-w64-x86-64-posix g++-mingw-w64-i686-posix
  wine wine64 xvfb xauth x11-apps netpbm googletest locales fonts-wqy-microhei util-linux"

qv_install_packages() {
    local missing=()
    for p in $QV_PACKAGES; do
        dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
    done
    if [ ${#missing[@]} -gt 0 ]; then
        echo "installing: ${missing[*]}"
        apt-get update -q >/dev/null
        DEBIAN_FRONTEND=noninteractive apt-get install -y -q "${missing[@]}" >/dev/null
    fi
    if ! locale -a 2>/dev/null | grep -qi '^zh_CN.utf8$'; then
        grep -q '^zh_CN.UTF-8 UTF-8' /etc/locale.gen 2>/dev/null || echo 'zh_CN.UTF-8 UTF-8' >> /etc/locale.gen
        locale-gen >/dev/null
    fi
}

# qv_build <preset> [build dir]
qv_build() {
    local preset=$1 dir=${2:-$QV_ROOT/build/$1}
    cmake --preset "$preset" -S "$QV_ROOT" -B "$dir" >/dev/null
    cmake --build "$dir" -j "$(nproc)"
}

# qv_wine_up <build dir>: private prefix, a display, one persistent wineserver.
qv_wine_up() {
    local dir=$1
    export WINEPREFIX=$dir/wineprefix WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
    export LANG=zh_CN.UTF-8 LC_ALL=zh_CN.UTF-8
    if [ ! -f "$WINEPREFIX/.qv-ready" ]; then
        mkdir -p "$WINEPREFIX"
        "$QV_WINE" wineboot -u </dev/null >/dev/null 2>&1 || true
        # Let wineboot's server finish writing the new prefix before a persistent one starts.
        timeout 60 "$QV_WINESERVER" -w </dev/null >/dev/null 2>&1 || true
        touch "$WINEPREFIX/.qv-ready"
    fi
    if [ -z "${DISPLAY:-}" ]; then
        local n=77
        while [ -e "/tmp/.X11-unix/X$n" ] || [ -e "/tmp/.X$n-lock" ]; do n=$((n + 1)); done
        Xvfb ":$n" -screen 0 1280x800x24 -nolisten tcp </dev/null >/dev/null 2>&1 &
        QV_XVFB_PID=$!
        export DISPLAY=":$n"
        for _ in $(seq 50); do [ -e "/tmp/.X11-unix/X$n" ] && break; sleep 0.1; done
    fi
    # Wine's background services keep the stderr of whoever starts them; start
    # them here with nothing attached so ctest is not held up by them.
    # Fails harmlessly when a server for this prefix is already running.
    "$QV_WINESERVER" -p </dev/null >/dev/null 2>&1 || true
    "$QV_WINE" cmd /c exit </dev/null >/dev/null 2>&1 || true
}

qv_wine_down() {
    "$QV_WINESERVER" -k </dev/null >/dev/null 2>&1 || true
    if [ -n "${QV_XVFB_PID:-}" ]; then
        kill "$QV_XVFB_PID" 2>/dev/null || true
        wait "$QV_XVFB_PID" 2>/dev/null || true
    fi
}
