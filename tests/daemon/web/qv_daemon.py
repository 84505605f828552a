"""The real QvPushServer.exe under Wine, for the web endpoint's tests: a
directory of its own holding a copy of it and the stand-in encoder and
bridge under their real image names, started and stopped by the test."""
import os
import shutil
import struct
import subprocess
import sys
import tempfile
import time
import unittest

BIN = os.environ.get('QV_BIN_DIR', '')
WINE = os.environ.get('QV_WINE', '/usr/lib/wine/wine64')
ARTIFACTS = os.environ.get('QV_TEST_ARTIFACT_DIR', tempfile.gettempdir())
os.makedirs(ARTIFACTS, exist_ok=True)
IN_CI = os.environ.get('CI') == 'true'
ENCODER, BRIDGE = 'QvShow.exe', 'QvGraph.exe'
WEB_PORT, COMMAND_PORT, POLICY_PORT = 19724, 19723, 19722


# What the stand-in encoder prints and how it ends, as FFmpeg and QvShow.exe would.
PROGRESS_LINE = ('frame=%5d fps= 10 q=28.0 size=     256kB time=00:00:12.00 bitrate= 300.5kbits/s drop=2 '
                 'speed=1.00x    \r')
REFUSED_LINE = '[tcp @ 000001] Connection to tcp://127.0.0.1:1935?tcp_nodelay=0 failed: Connection refused\r\n'
NO_FFMPEG_LINE = 'QvShow: no FFmpeg at C:\\qv\\ffmpeg.exe: put a current ffmpeg.exe next to QvShow.exe\r\n'
REFUSED_SCRIPT = [('stderr', REFUSED_LINE), ('exit', 1)]
NO_FFMPEG_SCRIPT = [('stderr', NO_FFMPEG_LINE), ('exit', 3)]


def live_script(seconds):
    """Progress twice a second for that long, five frames a line."""
    return [step for i in range(seconds * 2) for step in (('stderr', PROGRESS_LINE % (5 * (i + 1))), ('sleep', 500))]


def require(condition, reason):
    """Outside CI a missing component skips; in CI it fails with the reason."""
    if condition:
        return
    if IN_CI:
        raise AssertionError(reason)
    raise unittest.SkipTest(reason)


def wait_until(condition, timeout, step=0.1):
    deadline = time.monotonic() + timeout
    while time.monotonic() < deadline:
        if condition():
            return True
        time.sleep(step)
    return bool(condition())


def wine(*args, timeout=60, env=None):
    return subprocess.run([WINE, *args], stdin=subprocess.DEVNULL, stdout=subprocess.PIPE,
                          stderr=subprocess.DEVNULL, timeout=timeout, env=env)


def listening_addresses(port):
    """Local addresses of the sockets listening on a TCP port (from ss)."""
    out = subprocess.run(['ss', '-ltnH', 'sport = :%d' % port], stdout=subprocess.PIPE, text=True).stdout
    return sorted(line.split()[3].rsplit(':', 1)[0] for line in out.splitlines() if line.strip())


def set_allowed_origins(origins):
    """HKCU\\Software\\QvPush\\AllowedOrigins as REG_MULTI_SZ; None removes it."""
    key = r'HKCU\Software\QvPush'
    if origins is None:
        wine('reg', 'delete', key, '/v', 'AllowedOrigins', '/f')
        return
    result = wine('reg', 'add', key, '/v', 'AllowedOrigins', '/t', 'REG_MULTI_SZ', '/d', '\\0'.join(origins), '/f')
    assert result.returncode == 0, 'reg add failed'


def null_audio_home():
    """A home whose .asoundrc gives Wine a null sound device, so that the
    device listing can bind an audio renderer and list test microphones."""
    home = os.path.join(ARTIFACTS, 'null-audio-home')
    os.makedirs(home, exist_ok=True)
    with open(os.path.join(home, '.asoundrc'), 'w') as f:
        f.write('pcm.!default { type null }\n')
    return home


class TestMicrophones:
    """Test audio capture devices registered for the daemon's greeting while
    the holder program runs; it unregisters them when its input closes."""

    def __init__(self, names):
        env = dict(os.environ, HOME=null_audio_home())
        self.process = subprocess.Popen([WINE, os.path.join(BIN, 'test_audio_device_holder.exe'), *names],
                                        stdin=subprocess.PIPE, stdout=subprocess.PIPE,
                                        stderr=subprocess.DEVNULL, env=env)
        line = self.process.stdout.readline().decode('utf-8', 'replace').strip()
        assert line == 'registered', 'test microphones not registered: %r' % line

    def remove(self):
        self.process.stdin.close()
        self.process.wait(timeout=30)


class Daemon:
    def __init__(self):
        require(os.path.isfile(os.path.join(BIN, 'QvPushServer.exe')), 'QvPushServer.exe is not built in ' + BIN)
        require(os.environ.get('DISPLAY'), 'no X display for the daemon\'s tray (scripts/test.sh starts Xvfb)')
        self.dir = tempfile.mkdtemp(prefix='qv-web-', dir=ARTIFACTS)
        shutil.copy(os.path.join(BIN, 'QvPushServer.exe'), self.dir)
        shutil.copy(os.path.join(BIN, 'stand_in_encoder.exe'), os.path.join(self.dir, ENCODER))
        shutil.copy(os.path.join(BIN, 'stand_in_bridge.exe'), os.path.join(self.dir, BRIDGE))
        self.log = open(os.path.join(self.dir, 'daemon.out'), 'wb')
        env = dict(os.environ, HOME=null_audio_home())
        self.process = subprocess.Popen([WINE, os.path.join(self.dir, 'QvPushServer.exe')], cwd=self.dir,
                                        stdin=subprocess.DEVNULL, stdout=self.log, stderr=subprocess.DEVNULL,
                                        env=env)
        # Seen in the table of listening sockets, not by connecting: a probe's
        # session on 19723 would end later and stop what a test had started.
        if not wait_until(lambda: all(listening_addresses(p) for p in (WEB_PORT, COMMAND_PORT, POLICY_PORT)), 60):
            self.stop()
            raise AssertionError('the daemon did not open its three ports; output: %r' % self.output())

    def script(self, image, steps):
        """What the stand-in `image` does at its next starts: ('stdout', text),
        ('stderr', text), ('sleep', ms), ('exit', code); None: run idle."""
        path = os.path.join(self.dir, image + '.script')
        if steps is None:
            if os.path.exists(path):
                os.remove(path)
            return
        lines = []
        for verb, value in steps:
            lines.append('%s %s' % (verb, value.encode('utf-8').hex() if isinstance(value, str) else value))
        with open(path, 'w') as f:
            f.write('\n'.join(lines) + '\n')

    def kill(self, image):
        """Ends this sandbox's processes of `image` from outside, as a crash would."""
        for pid in self.pids(image):
            try:
                os.kill(pid, 9)
            except OSError:
                pass

    def output(self):
        with open(os.path.join(self.dir, 'daemon.out'), 'rb') as f:
            return f.read()

    def starts(self, image):
        """Command lines the stand-in `image` recorded, in order."""
        path = os.path.join(self.dir, image + '.record')
        if not os.path.exists(path):
            return []
        data = open(path, 'rb').read()
        lines, at = [], 0
        while at + 8 <= len(data):
            at += 4
            (n,) = struct.unpack_from('<I', data, at)
            at += 4 + 2 * n
            (n,) = struct.unpack_from('<I', data, at)
            lines.append(data[at + 4:at + 4 + 2 * n].decode('utf-16-le'))
            at += 4 + 2 * n
        return lines

    def pids(self, image):
        """Linux pids of this sandbox's processes of that image name. Wine
        maps a program's image file into its process, and the command line
        does not always name it (the bridge gets only its arguments)."""
        found, path = [], os.path.join(self.dir, image)
        for entry in os.listdir('/proc'):
            if not entry.isdigit():
                continue
            try:
                with open('/proc/%s/maps' % entry, 'r', errors='replace') as f:
                    if any(line.rstrip().endswith(path) for line in f):
                        found.append(int(entry))
            except OSError:
                continue
        return found

    def settle(self):
        """Lets sessions that earlier clients left end: each end stops both
        executables, which would hit a publish that a test starts next."""
        time.sleep(2)

    def threads(self):
        """Threads of the daemon's process now (Wine's own included)."""
        return sum(len(os.listdir('/proc/%d/task' % pid)) for pid in self.pids('QvPushServer.exe'))

    def running(self, image):
        return bool(self.pids(image))

    def stop(self):
        for image in (ENCODER, BRIDGE):
            for pid in self.pids(image):
                try:
                    os.kill(pid, 9)
                except OSError:
                    pass
        if self.process.poll() is None:
            self.process.kill()
            self.process.wait(timeout=30)
        wait_until(lambda: not any(listening_addresses(p) for p in (WEB_PORT, COMMAND_PORT)), 15)
        self.log.close()
        shutil.rmtree(self.dir, ignore_errors=True)


class DaemonTestCase(unittest.TestCase):
    """Tests that share one daemon for the whole class."""

    @classmethod
    def setUpClass(cls):
        cls.daemon = Daemon()

    @classmethod
    def tearDownClass(cls):
        cls.daemon.stop()
