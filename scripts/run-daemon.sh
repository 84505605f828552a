#!/usr/bin/env bash
# Installs what is missing, builds, and runs the whole publishing chain here
# under Wine until Ctrl+C: the camera, a demo microphone and a demo webcam
# registered in a Wine prefix of its own (the tests' prefix is theirs to
# register and unregister in), nginx with Debian's RTMP module on
# 127.0.0.1:1935 (application kavo, live) as the local publishing target, and
# QvPushServer.exe (ports 19722, 19723 and the control page on 19724) beside
# QvShow.exe, QvGraph.exe and the fetched Windows FFmpeg.
set -euo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/common.sh"

qv_install_packages
dir=$QV_ROOT/build/windows-x64
run=$dir/run-daemon
microphone="Kavo演示麦克风"
webcam="Kavo演示摄像头"

# One demo at a time: a second would take over the first one's prefix,
# nginx and ports. The lock lives in the demo's own folder; the programs it
# starts inherit it, so it stays held while anything of a demo still runs.
mkdir -p "$run"
exec 8>"$run/run-daemon.lock"
if ! flock -n 8; then
    echo "run-daemon.sh is already running from $run (or what it started still runs: the processes that" \
         "hold $run/run-daemon.lock): stop that one first (Ctrl+C)" >&2
    exit 1
fi
# Not marked as a test run's: scripts/test.sh never ends what this starts.
unset QV_TEST_RUN
qv_build windows-x64 "$dir"
bash "$QV_ROOT/scripts/fetch-ffmpeg.sh" "$dir/ffmpeg" || {
    echo "no Windows FFmpeg: publishing will fail until an ffmpeg.exe is put into $run" >&2; }

# The daemon's directory: it starts QvShow.exe (and QvGraph.exe) from there,
# and QvShow.exe runs the ffmpeg.exe beside it. The camera is registered
# from here too, so that a rebuild does not change it under a running demo.
mkdir -p "$run/nginx" "$run/home"
for f in QvPushServer.exe QvShow.exe QvGraph.exe QvCamera.dll; do
    [ -f "$dir/bin/$f" ] && cp -f "$dir/bin/$f" "$run/"
done
[ -f "$dir/ffmpeg/ffmpeg.exe" ] && ln -f "$dir/ffmpeg/ffmpeg.exe" "$run/ffmpeg.exe"
# Wine lists a microphone as working only when it can bind an audio
# renderer, which needs a sound device: a null ALSA one.
echo 'pcm.!default { type null }' > "$run/home/.asoundrc"
export HOME=$run/home

cat > "$run/nginx/nginx.conf" <<CONF
load_module /usr/lib/nginx/modules/ngx_rtmp_module.so;
worker_processes 1;
pid $run/nginx/nginx.pid;
error_log $run/nginx/error.log info;
events { worker_connections 128; }
rtmp {
  server {
    listen 127.0.0.1:1935;
    application kavo { live on; drop_idle_publisher 5s; }
  }
}
CONF

nginx_pid= daemon=
# Under errexit a failing command would end a trap early, so each step here
# is allowed to fail; Ctrl+C exits, and the exit trap stops everything once.
stop_all() {
    # A second Ctrl+C (or TERM) must not cut the clean-up short: what it
    # skipped would stay, holding the lock below.
    trap '' INT TERM
    [ -n "$daemon" ] && { kill "$daemon" 2>/dev/null || true; wait "$daemon" 2>/dev/null || true; }
    "$QV_WINE" "$dir/bin/demo_devices.exe" unregister --microphone "$microphone" </dev/null >/dev/null 2>&1 || true
    "$QV_WINE" "$dir/bin/demo_devices.exe" unregister --webcam "$webcam" </dev/null >/dev/null 2>&1 || true
    [ -n "$nginx_pid" ] && { kill "$nginx_pid" 2>/dev/null || true; }
    qv_wine_down
}
trap stop_all EXIT
trap 'exit 130' INT TERM

qv_wine_up "$run"
"$QV_WINE" regsvr32 /s "$run/QvCamera.dll" </dev/null >/dev/null 2>&1 || echo "camera registration failed"
"$QV_WINE" "$dir/bin/demo_devices.exe" register --microphone "$microphone" --tone 440 </dev/null ||
    echo "demo microphone registration failed"
"$QV_WINE" "$dir/bin/demo_devices.exe" register --webcam "$webcam" </dev/null >/dev/null 2>&1 ||
    echo "demo webcam registration failed"

nginx -p "$run/nginx" -e "$run/nginx/error.log" -c "$run/nginx/nginx.conf"
for _ in $(seq 50); do [ -s "$run/nginx/nginx.pid" ] && break; sleep 0.1; done
nginx_pid=$(cat "$run/nginx/nginx.pid")

# The ports are machine-wide: the tests that use them take this lock, and
# the daemon holds it (an inherited descriptor) for as long as it runs.
qv_ports_lock_ready
exec 9>"$QV_PORTS_LOCK"
if ! flock -n 9; then
    echo "waiting for the tests that use ports 19722-19724 to finish..."
    flock 9
fi
"$QV_WINE" "$run/QvPushServer.exe" &
daemon=$!
exec 9>&-
cat <<TEXT
QvPushServer is serving ports 19722 and 19723 and its control page at http://127.0.0.1:19724/;
an RTMP server listens on 127.0.0.1:1935.
Open http://127.0.0.1:19724/ in a browser: camera "$webcam", microphone "$microphone", stream URL
rtmp://127.0.0.1:1935/kavo/demo, then Preview and Start. Or publish from a Flash-era client on 19723
(it must stay connected, as closing ends the publish), for example:
  python3 -c 'import socket,time; s=socket.create_connection(("127.0.0.1",19723)); print(s.recv(4096).decode("gbk")); s.sendall("start videoDevice=\"Kavo直播插件\" audioDevice=\"$microphone\" streamUrl=\"rtmp://127.0.0.1:1935/kavo/demo?k=0&t=0\" pushLevel=\"0\"\r\n\0".encode("gbk")); print(s.recv(4096).decode("gbk")); time.sleep(3600)'
Watch it:
  ffplay rtmp://127.0.0.1:1935/kavo/demo
The server's log: $run/nginx/error.log. Press Ctrl+C to stop all of it.
TEXT
wait "$daemon"
