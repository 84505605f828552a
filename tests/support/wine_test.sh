#!/usr/bin/env bash
# Runs a test's command for ctest (a Windows test program under Wine, or a
# script that drives Wine programs) and exits as it did.
# Every Wine process a test starts inherits, at the Unix level, the output
# pipe ctest reads, and ctest waits for that pipe to close even after the
# test has ended. Wine's conhost.exe, made for a console program started
# without a window, sometimes stays when that program is ended from outside
# (seen about once in ten runs of the session tests): with nothing left to
# serve, it made ctest wait out the time-out of a test that had passed.
# Once the test is over, what still holds its output was started by it:
# such a conhost.exe is ended by its id; any other program is ended too,
# named, and fails the test, since a test must not leave programs behind.
# Usage: wine_test.sh <command> [argument...]
set -uo pipefail
"$@"
status=$?

ours=()
for fd in 1 2; do
    target=$(readlink "/proc/$$/fd/$fd") && [[ $target == pipe:* ]] && ours+=("$target")
done
[ ${#ours[@]} -gt 0 ] || exit $status

# ctest and whatever runs this script share the pipe.
skip=" "
pid=$$
while [ "$pid" -gt 1 ]; do
    skip+="$pid "
    stat=$(cat "/proc/$pid/stat" 2>/dev/null) || break
    read -r _ pid _ <<<"${stat##*) }"
done

# Holders of our output other than those and the wineserver, which keeps a
# copy only while a program of the test still has a handle on it. Its
# caller sends its errors elsewhere with exec, not with a redirection that
# bash would undo from a saved copy of our pipe, which it would find.
tests=()
for target in "${ours[@]}"; do
    pattern=${target//[/\\[}
    tests+=(${tests[0]+-o} -lname "${pattern//]/\\]}")
done
holders() {
    local pid
    find /proc/[0-9]*/fd -mindepth 1 -maxdepth 1 \( "${tests[@]}" \) 2>/dev/null |
        while IFS=/ read -r _ _ pid _; do
            [[ $skip == *" $pid "* ]] && continue
            case $(cat "/proc/$pid/comm" 2>/dev/null) in wineserver*|"") continue ;; esac
            echo "$pid"
        done | sort -u
}

# A program that is ending (a conhost whose last client has just gone) gets
# a moment to do so.
for _ in $(seq 50); do
    left=$(exec 2>/dev/null; holders)
    [ -z "$left" ] && exit $status
    sleep 0.1
done
# True while `pid` still holds our output and is still called `name`: a
# process found a moment ago may have ended, and its pid gone to another.
still_holds() {
    [ "$(cat "/proc/$1/comm" 2>/dev/null)" = "$2" ] &&
        [ -n "$(find "/proc/$1/fd" -mindepth 1 -maxdepth 1 \( "${tests[@]}" \) 2>/dev/null | head -n 1)" ]
}
for pid in $left; do
    name=$(cat "/proc/$pid/comm" 2>/dev/null) || continue
    still_holds "$pid" "$name" || continue
    if [ "$name" = conhost.exe ]; then
        echo "ended Wine's conhost.exe that outlived its programs (pid $pid)"
    else
        echo "left running after the test: $(tr '\0' ' ' <"/proc/$pid/cmdline" 2>/dev/null) (pid $pid)" >&2
        [ $status != 0 ] || status=1
    fi
    kill -KILL "$pid" 2>/dev/null
done
exit $status
