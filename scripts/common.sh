# Shared by the scripts: packages, build, and the Wine environment.
# Source it; QV_ROOT is the source tree.

QV_ROOT=${QV_ROOT:-$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)}
# The toolchain, Wine and Xvfb; the RTMP server, FFmpeg and the browsers that
# the end-to-end tests drive (Chromium, Firefox ESR); npm fetches the Windows FFmpeg; NSIS builds the
# installer; unshare and ip give the port tests network namespaces.
QV_PACKAGES="cmake make mingw-w64 g++-mingw-w64-x86-64-posix g++-mingw-w64-i686-posix
  wine wine64 xvfb xauth x11-apps netpbm googletest locales fonts-wqy-microhei util-linux iproute2
  nginx-light libnginx-mod-rtmp ffmpeg nodejs chromium firefox-esr nsis python3 ccache"

qv_install_packages() {
    local missing=()
    for p in $QV_PACKAGES; do
        dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
    done
    # npm comes with some builds of nodejs (which then conflict with Debian's
    # npm package) and apart in Debian's.
    command -v npm >/dev/null 2>&1 || missing+=(npm)
    if [ ${#missing[@]} -gt 0 ]; then
        # A first run downloads several hundred MB: apt's own progress shows
        # that it is working.
        echo "installing: ${missing[*]}"
        apt-get update
        DEBIAN_FRONTEND=noninteractive apt-get install -y "${missing[@]}"
    fi
    if ! locale -a 2>/dev/null | grep -qi '^zh_CN.utf8$'; then
        grep -q '^zh_CN.UTF-8 UTF-8' /etc/locale.gen 2>/dev/null || echo 'zh_CN.UTF-8 UTF-8' >> /etc/locale.gen
        locale-gen >/dev/null
    fi
    qv_find_wine
}

# Debian 12 puts the 64-bit loader at /usr/lib/wine/wine64; later layouts
# (one WoW64 loader) call it wine. Sets QV_WINE and QV_WINESERVER, or says
# what is missing and fails.
qv_find_wine() {
    local c
    QV_WINE= QV_WINESERVER=
    for c in /usr/lib/wine/wine64 /usr/lib/x86_64-linux-gnu/wine/wine64 \
             "$(command -v wine64 2>/dev/null)" /usr/lib/wine/wine "$(command -v wine 2>/dev/null)"; do
        [ -n "$c" ] && [ -x "$c" ] && { QV_WINE=$c; break; }
    done
    for c in /usr/lib/wine/wineserver /usr/lib/wine/wineserver64 /usr/lib/x86_64-linux-gnu/wine/wineserver \
             "$(command -v wineserver 2>/dev/null)"; do
        [ -n "$c" ] && [ -x "$c" ] && { QV_WINESERVER=$c; break; }
    done
    if [ -z "$QV_WINE" ] || [ -z "$QV_WINESERVER" ]; then
        echo "Wine is not usable here: ${QV_WINE:-no 64-bit loader (looked for /usr/lib/wine/wine64, wine64, wine)}," \
             "${QV_WINESERVER:-no wineserver (looked in /usr/lib/wine and on PATH)}; install the packages wine and wine64" >&2
        return 1
    fi
    export QV_WINE QV_WINESERVER
}

# Compiles through ccache: a second tree of the same sources (a CI clone, a
# work tree) then costs little. Paths below the tree are hashed relative to it.
qv_use_ccache() {
    command -v ccache >/dev/null 2>&1 || return 0
    export CMAKE_C_COMPILER_LAUNCHER=${CMAKE_C_COMPILER_LAUNCHER:-ccache}
    export CMAKE_CXX_COMPILER_LAUNCHER=${CMAKE_CXX_COMPILER_LAUNCHER:-ccache}
    export CCACHE_BASEDIR=${CCACHE_BASEDIR:-$QV_ROOT}
    # With -g ccache would hash the build folder too and never hit across trees.
    export CCACHE_NOHASHDIR=${CCACHE_NOHASHDIR:-true}
}

# qv_build <preset> [build dir [target...]]: every target unless some are named.
qv_build() {
    local preset=$1 dir=${2:-$QV_ROOT/build/$1}
    shift $(( $# < 2 ? $# : 2 ))
    qv_use_ccache
    cmake --preset "$preset" -S "$QV_ROOT" -B "$dir" -DQV_WINE="$QV_WINE" >/dev/null
    cmake --build "$dir" -j "$(nproc)" ${1:+--target "$@"}
}

# qv_wine_up <build dir> [name[:network namespace file]...]: private
# prefixes (wineprefix, and each name given, all below the build dir), a
# display, and one persistent wineserver per prefix, started in the network
# namespace given with its name: Wine's sockets are made by the server, so
# the server's namespace is the one its programs use. WINEPREFIX is left
# naming the first.
qv_wine_up() {
    local dir=$1 entry pids=() pid failed=0 i
    shift
    QV_WINE_PREFIXES=() QV_WINE_NETS=()
    for entry in wineprefix "$@"; do
        QV_WINE_PREFIXES+=("$dir/${entry%%:*}")
        if [[ $entry == *:* ]]; then QV_WINE_NETS+=("${entry#*:}"); else QV_WINE_NETS+=(""); fi
    done
    export WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
    export LANG=zh_CN.UTF-8 LC_ALL=zh_CN.UTF-8
    # A new prefix takes wineboot about 10 s; several are made side by side.
    for entry in "${QV_WINE_PREFIXES[@]}"; do
        qv_make_prefix "$entry" & pids+=($!)
    done
    for pid in "${pids[@]}"; do wait "$pid" || failed=1; done
    [ $failed = 0 ] || return 1
    if [ -z "${DISPLAY:-}" ]; then
        # Xvfb picks a free display itself and names it on fd 3, so two runs
        # never race for one number.
        local fifo n
        fifo=$(mktemp -u /tmp/qv-xvfb.XXXXXX)
        mkfifo "$fifo"
        Xvfb -displayfd 3 -screen 0 1280x800x24 -nolisten tcp 3>"$fifo" </dev/null >/dev/null 2>&1 &
        QV_XVFB_PID=$!
        n=$(timeout 20 head -n 1 "$fifo" || true)
        rm -f "$fifo"
        if [ -z "$n" ] || ! kill -0 "$QV_XVFB_PID" 2>/dev/null; then
            echo "Xvfb did not start (no display number within 20 s)" >&2
            return 1
        fi
        export DISPLAY=":$n"
    fi
    for i in "${!QV_WINE_PREFIXES[@]}"; do
        WINEPREFIX=${QV_WINE_PREFIXES[$i]} qv_serve_prefix ${QV_WINE_NETS[$i]:+nsenter --net="${QV_WINE_NETS[$i]}"}
    done
    export WINEPREFIX=${QV_WINE_PREFIXES[0]}
}

# qv_make_prefix <prefix>: makes it unless an earlier run did.
qv_make_prefix() {
    local WINEPREFIX=$1
    export WINEPREFIX
    [ -f "$WINEPREFIX/.qv-ready" ] && return 0
    mkdir -p "$WINEPREFIX"
    # wineboot prints a harmless syswow64 failure and may exit non-zero for
    # it; the prefix is judged by what it made, not by that exit code.
    "$QV_WINE" wineboot -u </dev/null >/dev/null 2>&1 || true
    # Let wineboot's server finish writing the new prefix before a persistent one starts.
    timeout 60 "$QV_WINESERVER" -w </dev/null >/dev/null 2>&1 || true
    if [ ! -f "$WINEPREFIX/system.reg" ] || [ ! -e "$WINEPREFIX/drive_c/windows/system32/kernel32.dll" ]; then
        echo "wineboot did not make a usable prefix in $WINEPREFIX (no system.reg or system32); it is removed so the next run starts again" >&2
        rm -rf "$WINEPREFIX"
        return 1
    fi
    touch "$WINEPREFIX/.qv-ready"
}

# qv_serve_prefix [command prefix...]: the persistent server and desktop of
# $WINEPREFIX, started through the command prefix (nsenter) where one is given.
qv_serve_prefix() {
    # Wine's background services keep the stderr of whoever starts them; start
    # them here with nothing attached so ctest is not held up by them.
    # Fails harmlessly when a server for this prefix is already running.
    "$@" "$QV_WINESERVER" -p </dev/null >/dev/null 2>&1 || true
    "$@" "$QV_WINE" cmd /c exit </dev/null >/dev/null 2>&1 || true
    # Wine's desktop process (explorer /desktop) starts with the first program
    # that needs a desktop, takes that program's standard handles, and ends a
    # moment after the last such program. Started by a test, it holds the
    # test's output pipe and ctest waits on it until the time-out. A minimised
    # notepad, started here with nothing attached, keeps one desktop process
    # for the whole run; it ends with the server.
    "$@" "$QV_WINE" start /min notepad.exe </dev/null >/dev/null 2>&1 || true
    local _
    for _ in $(seq 100); do
        qv_desktop_running && break
        sleep 0.1
    done
}

# True when this prefix has its desktop process.
qv_desktop_running() {
    local p
    for p in $(pgrep -f 'explorer.exe /desktop' 2>/dev/null); do
        tr '\0' '\n' <"/proc/$p/environ" 2>/dev/null | grep -qxF "WINEPREFIX=$WINEPREFIX" && return 0
    done
    return 1
}

# qv_port_lanes_up <build dir> <count>: network namespaces for the lanes of
# the port tests (tests/support/port_lane.sh), each bound to the file
# lanes/net<i> below the build dir so that it lasts while tests come and go,
# with its loopback up. Sets QV_PORT_LANES to the number of lanes: <count>,
# or 1 on the host's loopback where no namespace can be made here; the
# machine-wide ports lock then keeps that lane's tests apart from others.
qv_port_lanes_up() {
    local dir=$1 count=$2 i net why
    mkdir -p "$dir/lanes"
    QV_PORT_LANES=$count
    for i in $(seq "$count"); do
        net=$dir/lanes/net$i
        nsenter --net="$net" true 2>/dev/null && continue
        touch "$net"
        if ! why=$(unshare --net="$net" ip link set lo up 2>&1); then
            qv_port_lanes_down "$dir"
            echo "no network namespace for the port tests here (${why:-unshare failed}): they run one after another on the host's loopback"
            QV_PORT_LANES=1
            break
        fi
    done
    qv_port_lanes_list "$dir" "$QV_PORT_LANES"
}

# qv_port_lanes_list <build dir> <count>: the lanes ctest hands out
# (lanes/resources.json, which the build names as ctest's resource file).
qv_port_lanes_list() {
    local i
    {
        printf '{"version":{"major":1,"minor":0},"local":[{"port_lanes":['
        for i in $(seq "$2"); do printf '%s{"id":"%d","slots":1}' "$([ "$i" = 1 ] || echo ,)" "$i"; done
        printf ']}]}\n'
    } >"$1/lanes/resources.json"
}

# qv_port_lane_net <build dir> <lane>: the lane's namespace file, or nothing.
qv_port_lane_net() {
    local net=$1/lanes/net$2
    if nsenter --net="$net" true 2>/dev/null; then echo "$net"; fi
}

# qv_port_lanes_down <build dir>: the namespaces go; a later ctest of its
# own finds one lane on the host's loopback.
qv_port_lanes_down() {
    local net
    for net in "$1"/lanes/net*; do
        [ -e "$net" ] || continue
        umount "$net" 2>/dev/null || true
        rm -f "$net"
    done
    [ ! -d "$1/lanes" ] || qv_port_lanes_list "$1" 1
}

qv_wine_down() {
    local prefix
    for prefix in "${QV_WINE_PREFIXES[@]:-${WINEPREFIX:-}}"; do
        [ -n "$prefix" ] && WINEPREFIX=$prefix "$QV_WINESERVER" -k </dev/null >/dev/null 2>&1 || true
    done
    if [ -n "${QV_XVFB_PID:-}" ]; then
        kill "$QV_XVFB_PID" 2>/dev/null || true
        wait "$QV_XVFB_PID" 2>/dev/null || true
    fi
}

# What a test run starts carries its mark, QV_TEST_RUN=<build dir>#<pid>.<start
# time> of that run's scripts/test.sh, in the environment every child
# inherits, so that a run ends only what it started, and the next run can
# tell what a killed one left (its mark names a process that is gone).
qv_mark_run() {
    export QV_TEST_RUN="$1#$$.$(qv_start_time $$)"
}

# qv_start_time <pid>: field 22 of its stat, which tells a reused pid apart.
qv_start_time() {
    local stat
    stat=$(cat "/proc/$1/stat" 2>/dev/null) || return 1
    stat=${stat##*) }
    echo "$stat" | cut -d' ' -f20
}

# qv_run_alive <mark>: true while the run that made this mark still runs.
qv_run_alive() {
    local id=${1##*#}
    [ "$(qv_start_time "${id%%.*}")" = "${id#*.}" ]
}

# qv_marked <build dir> own|dead|any: "pid mark" of each process with a mark
# of a run on that build dir: this run's, those of runs that are gone, any.
qv_marked() {
    local dir=$1 which=$2 path pid mark
    for path in /proc/[0-9]*; do
        pid=${path#/proc/}
        [ "$pid" = $$ ] && continue
        # Unreadable for processes of other users and those ending now.
        mark=$(tr '\0' '\n' 2>/dev/null <"$path/environ" | sed -n 's/^QV_TEST_RUN=//p') || continue
        [[ -n $mark && $mark == "$dir#"* ]] || continue
        case $which in
            own) [ "$mark" = "${QV_TEST_RUN:-}" ] || continue ;;
            dead) qv_run_alive "$mark" && continue ;;
        esac
        echo "$pid $mark"
    done
}

# qv_end_pid <pid> <name>: ends the process if it is still the one named
# (comm), checked again just before the signal: a pid can be reused.
qv_end_pid() {
    [ "$(cat "/proc/$1/comm" 2>/dev/null)" = "$2" ] && kill "$1" 2>/dev/null
    return 0
}

# qv_stop_strays <build dir> own|dead: ends what a test run left: this run's
# at its end, a killed run's before the next one sets up (its ctest and
# test scripts too): the wineservers of its prefixes (each with its
# programs: daemons in the lanes, the installer test's), its Xvfb, and the
# nginx instances of the tests' scratch
# folders (nginx overwrites its environment, so those go by folder, and only
# when no other run on the tree is alive). scripts/run-daemon.sh's server,
# prefix and nginx carry no mark and are never touched.
qv_stop_strays() {
    local dir=$1 which=$2 pid mark prefix name ended=0
    while read -r pid mark; do
        ended=1
        name=$(cat "/proc/$pid/comm" 2>/dev/null) || continue
        case $name in
            wineserver*)
                prefix=$(tr '\0' '\n' 2>/dev/null <"/proc/$pid/environ" | sed -n 's/^WINEPREFIX=//p') || prefix=
                if [ -z "$prefix" ] || ! WINEPREFIX=$prefix "$QV_WINESERVER" -k </dev/null >/dev/null 2>&1; then
                    qv_end_pid "$pid" "$name"
                fi
                ;;
            Xvfb) qv_end_pid "$pid" "$name" ;;
            # A killed run's ctest and test scripts would go on starting
            # programs; this run's own end only after their tests.
            *) [ "$which" = dead ] && qv_end_pid "$pid" "$name" ;;
        esac
    done < <(qv_marked "$dir" "$which")
    # A server ends its programs and then itself, a moment after it is told.
    for _ in $(seq 10); do
        [ $ended = 1 ] && [ -n "$(qv_marked "$dir" "$which" | head -n 1)" ] || break
        sleep 0.5
    done
    qv_other_run_alive "$dir" && return 0
    for pid in $(pgrep -x nginx 2>/dev/null); do
        if tr '\0' ' ' 2>/dev/null <"/proc/$pid/cmdline" | grep -qF -- " $dir/scratch/"; then qv_end_pid "$pid" nginx; fi
    done
    return 0
}

# True while another run of scripts/test.sh on that build dir is alive.
qv_other_run_alive() {
    local pid mark
    while read -r pid mark; do
        [ "$mark" != "${QV_TEST_RUN:-}" ] && qv_run_alive "$mark" && return 0
    done < <(qv_marked "$1" any)
    return 1
}

# The machine-wide lock of the daemon's fixed ports, for lanes on the host's
# loopback and for scripts/run-daemon.sh. In a folder that only root can
# write to: in /tmp another account could make the file first and hold it.
QV_PORTS_LOCK_DIR=/run/qvpush
QV_PORTS_LOCK=$QV_PORTS_LOCK_DIR/daemon-ports.lock

# qv_ports_lock_ready: makes that folder (root's, 0755) or fails saying why.
qv_ports_lock_ready() {
    mkdir -p -m 0755 "$QV_PORTS_LOCK_DIR" 2>/dev/null || true
    if [ -L "$QV_PORTS_LOCK_DIR" ] || [ "$(stat -c %u "$QV_PORTS_LOCK_DIR" 2>/dev/null)" != 0 ] ||
        [ $(( 0$(stat -c %a "$QV_PORTS_LOCK_DIR" 2>/dev/null) & 022 )) != 0 ]; then
        echo "$QV_PORTS_LOCK_DIR must be a folder of root's that only root can write to (run as root)" >&2
        return 1
    fi
}
