#!/usr/bin/env bash
# Runs a test of the daemon's fixed ports in the lane ctest gave it: a Wine
# prefix of the lane's own and, where scripts/test.sh could make one, a
# network namespace of its own, so that lanes never see each other's ports
# (nor a daemon of the user's). A lane without a namespace is on the host's
# loopback and takes the machine-wide ports lock instead.
# Usage: port_lane.sh <build dir> <command> [argument...]
set -euo pipefail
build=${1:?build dir}
shift
lane=1
if [[ ${CTEST_RESOURCE_GROUP_0_PORT_LANES:-} =~ ^id:([0-9]+) ]]; then lane=${BASH_REMATCH[1]}; fi
# Wine's process ids repeat between prefixes; QV_TEST_GROUP keeps the
# lanes' scratch folders apart.
export WINEPREFIX=$build/wineprefix-lane$lane QV_TEST_GROUP=lane$lane
net=$build/lanes/net$lane
if nsenter --net="$net" true 2>/dev/null; then
    exec nsenter --net="$net" "$@"
fi
source "$(dirname "${BASH_SOURCE[0]}")/../../scripts/common.sh"
qv_ports_lock_ready
# flock -o keeps the lock in flock itself: Wine's conhost.exe, started by a
# test, outlived it holding an inherited lock descriptor and made every later
# port test wait out its time-out.
exec flock -o "$QV_PORTS_LOCK" "$@"
