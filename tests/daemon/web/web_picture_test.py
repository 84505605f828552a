"""Pictures of the camera on WebSocket sessions and on the control page,
against the real daemon under Wine: test_card_producer.exe writes a test
card into the session's named frame exchange at 30 fps, as the bridge
writes a webcam's picture; the daemon scales it, encodes it with WIC and
sends it to the sessions that asked. JPEGs are decoded with Debian's
ffmpeg; the page is read in Chromium through its DevTools protocol and in
Firefox through WebDriver BiDi."""
import os
import re
import select
import shutil
import socket
import struct
import subprocess
import threading
import time
import unittest

from qv_daemon import (ARTIFACTS, BIN, BRIDGE, COMMAND_PORT, WEB_PORT, WINE, Daemon, require, wait_until)
from ws_wire import BINARY, CLOSE, TEXT, WsClient, frame, handshake_request

HERE = os.path.dirname(os.path.abspath(__file__))
STANDBY_BMP = os.path.join(HERE, '..', '..', '..', 'camera', 'resources', 'standby.bmp')
# tests/daemon/picture/test_card.h: blue, green, red of the eight bars.
BARS = [(235, 235, 235), (16, 235, 235), (235, 235, 16), (16, 235, 16),
        (235, 16, 235), (16, 16, 235), (235, 16, 16), (16, 16, 16)]
BAR_ROWS = 360
DELIVERING = 'QvGraph: delivering RG24 640x480 30 fps\r\n'
PREVIEW = 'preview videoDevice="Demo webcam" audioDevice="麦克风"'


def jpeg_size(data):
    """(width, height) from the baseline frame header; None without one."""
    assert data[:2] == b'\xff\xd8', 'not a JPEG'
    at = 2
    while at + 4 <= len(data):
        marker, length = data[at + 1], struct.unpack('>H', data[at + 2:at + 4])[0]
        if marker == 0xC0:
            height, width = struct.unpack('>HH', data[at + 5:at + 9])
            return width, height
        if marker == 0xC2:
            return None  # progressive
        at += 2 + length
    return None


def decode_jpeg(data):
    """Rows of blue, green, red bytes, top row first, through Debian's ffmpeg."""
    result = subprocess.run(['ffmpeg', '-v', 'error', '-f', 'jpeg_pipe', '-i', '-', '-f', 'rawvideo',
                             '-pix_fmt', 'bgr24', '-'], input=data, stdout=subprocess.PIPE, timeout=30)
    assert result.returncode == 0, 'ffmpeg could not decode the picture'
    return result.stdout


def psnr(a, b):
    total = sum((x - y) * (x - y) for x, y in zip(a, b))
    mse = total / len(a)
    return 99.0 if mse == 0 else 10 * __import__('math').log10(255 * 255 / mse)


def test_card_bars(width):
    """The bars' rows as the card draws them, at width 640."""
    row = bytes(c for x in range(width) for c in BARS[x * 8 // width])
    return row * BAR_ROWS


def marker_x(bgr, width=640):
    """Left edge of the white marker in row 420, or None."""
    row = bgr[420 * width * 3:421 * width * 3]
    bright = [x for x in range(width) if row[x * 3 + 1] > 180]
    return bright[0] if bright else None


class Producer:
    """test_card_producer.exe writing the card at 30 fps for that long."""

    def __init__(self, seconds):
        path = os.path.join(BIN, 'test_card_producer.exe')
        require(os.path.isfile(path), 'test_card_producer.exe is not built in ' + BIN)
        self.process = subprocess.Popen([WINE, path, '30', str(seconds)], stdin=subprocess.DEVNULL,
                                        stdout=subprocess.PIPE, stderr=subprocess.DEVNULL)

    def finish(self, timeout=60):
        out = self.process.communicate(timeout=timeout)[0].decode('ascii', 'replace')
        return self.process.returncode, out

    def stop(self):
        if self.process.poll() is None:
            self.process.kill()
            self.process.wait(timeout=30)
        self.process.stdout.close()


class Watcher:
    """A WebSocket session that may ask for pictures."""

    def __init__(self, test, rcvbuf=None):
        self.client = WsClient(WEB_PORT)
        if rcvbuf:
            # Set before the connection is made, so that the window it offers stays small.
            self.client.sock.close()
            self.client.sock = socket.socket(socket.AF_INET, socket.SOCK_STREAM)
            self.client.sock.setsockopt(socket.SOL_SOCKET, socket.SO_RCVBUF, rcvbuf)
            self.client.sock.settimeout(15)
            self.client.sock.connect(('127.0.0.1', WEB_PORT))
        test.addCleanup(self.client.close)
        test.assertEqual(self.client.handshake(handshake_request()).status, 101)
        self.sources = []

    def ask(self, rate, width=None):
        text = 'picture rate="%d"' % rate + ('' if width is None else ' width="%d"' % width)
        self.client.send(frame(TEXT, text))

    def catch_up(self, timeout=20):
        """Reads until nothing more waits: 60 ms without a frame, less
        than the gap between two pictures at 10 a second."""
        deadline = time.monotonic() + timeout
        while time.monotonic() < deadline:
            if not self.client.buffer and not select.select([self.client.sock], [], [], 0.06)[0]:
                return
            self.client.recv_frame()
        raise AssertionError('pictures kept waiting for %s s' % timeout)

    def pictures(self, seconds, stop_after=None):
        """JPEGs that arrive within that time (texts kept in self.texts)."""
        deadline = time.monotonic() + seconds
        found, self.texts = [], []
        while time.monotonic() < deadline:
            try:
                _, opcode, payload = self.client.recv_frame(max(0.05, deadline - time.monotonic()))
            except TimeoutError:
                break
            if opcode == BINARY:
                found.append((time.monotonic(), payload))
                if stop_after and len(found) >= stop_after:
                    break
            elif opcode == TEXT:
                text = payload.decode('utf-8')
                self.texts.append(text)
                if text.startswith('{"type":"picture"'):
                    self.sources.append(text)
            elif opcode == CLOSE:
                raise ConnectionError('closed')
        return found


class PictureSessionTest(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        require(shutil.which('ffmpeg'), "Debian's ffmpeg is needed to decode the pictures")
        cls.daemon = Daemon()

    @classmethod
    def tearDownClass(cls):
        cls.daemon.stop()

    def producer(self, seconds):
        producer = Producer(seconds)
        self.addCleanup(producer.stop)
        return producer

    def test_pictures_at_the_asked_rate_and_width_show_the_card(self):
        producer = self.producer(16)
        watcher = Watcher(self)
        idle = Watcher(self)
        watcher.ask(10, 640)
        self.assertTrue(watcher.pictures(5, stop_after=1), 'a first picture within 5 s')
        got = watcher.pictures(10)
        self.assertGreaterEqual(len(got), 90, 'at least 9 pictures a second over 10 s')
        self.assertLessEqual(len(got), 105, 'no more than the asked rate')
        self.assertIn('{"type":"picture","source":"camera"}', watcher.sources)
        sizes = {jpeg_size(p) for _, p in got}
        self.assertEqual(sizes, {(640, 480)}, 'each picture is a baseline JPEG 640 wide, aspect kept')
        bars = test_card_bars(640)
        markers = set()
        for _, picture in got[::15]:
            decoded = decode_jpeg(picture)
            self.assertGreaterEqual(psnr(decoded[:len(bars)], bars), 30.0, 'the picture is the test card')
            markers.add(marker_x(decoded))
        self.assertGreaterEqual(len(markers - {None}), 3, 'the marker moves: %r' % markers)

        # A session that never asked got only texts all the while.
        only_text = idle.pictures(1)
        self.assertEqual(only_text, [])
        self.assertFalse(any(t.startswith('{"type":"picture"') for t in idle.texts))

        # rate="0" stops them: at most the one picture in flight follows. It
        # is sent when the client has caught up (decoding above let pictures
        # wait in the socket).
        watcher.catch_up()
        watcher.ask(0)
        self.assertLessEqual(len(watcher.pictures(3)), 1)
        code, out = producer.finish()
        self.assertEqual(code, 0, out)

    def test_widths_share_nothing_but_the_frame(self):
        self.producer(8)
        cases = [(160, (160, 120)), (320, (320, 240)), (1280, (1280, 960))]
        watchers = []
        for width, _ in cases:
            watcher = Watcher(self)
            watcher.ask(5, width)
            watchers.append(watcher)
        # All read at once: a watcher left unread gets fewer pictures.
        results = [None] * len(watchers)
        readers = [threading.Thread(target=lambda i=i: results.__setitem__(i, watchers[i].pictures(4)))
                   for i in range(len(watchers))]
        for reader in readers:
            reader.start()
        for reader in readers:
            reader.join()
        for got, (width, size) in zip(results, cases):
            self.assertGreaterEqual(len(got), 10, 'width %d' % width)
            self.assertEqual({jpeg_size(p) for _, p in got}, {size}, 'width %d' % width)

    def test_slow_reader_gets_fewer_pictures_and_holds_up_nobody(self):
        producer = self.producer(16)
        slow = Watcher(self, rcvbuf=4096)
        slow.ask(10, 640)
        fast = Watcher(self)
        fast.ask(10, 640)
        fast.pictures(3)
        memory = [self.daemon_memory_kb()]
        got = fast.pictures(10)
        memory.append(self.daemon_memory_kb())
        self.assertGreaterEqual(len(got), 90, 'the other watcher keeps its rate')
        self.assertLess(memory[1] - memory[0], 20 * 1024, 'the daemon does not queue pictures: %r kB' % memory)
        slow.client.close()
        self.assertTrue(wait_until(lambda: re.search(rb'pictures: \d+ sent, [1-9]\d* dropped', self.daemon.output()), 15),
                        'the slow session\'s dropped pictures are counted; the daemon printed: %r'
                        % re.findall(rb'pictures: .*', self.daemon.output()))
        code, out = producer.finish()
        self.assertEqual(code, 0, 'the producer kept writing: ' + out)
        self.assertGreaterEqual(int(out.split('=')[1]), 16 * 30 - 2, 'the producer kept its 30 fps: ' + out)

    def test_standby_picture_once_a_second_without_fresh_frames(self):
        watcher = Watcher(self)
        watcher.ask(10, 640)
        time.sleep(2.5)  # frames of earlier cases go stale
        watcher.pictures(1.5)
        got = watcher.pictures(4)
        self.assertIn('{"type":"picture","source":"standby"}', watcher.sources)
        self.assertGreaterEqual(len(got), 3)
        self.assertLessEqual(len(got), 5, 'the stand-by picture goes out once a second')
        with open(STANDBY_BMP, 'rb') as f:
            bitmap = f.read()[-640 * 480 * 3:]
        upright = b''.join(bitmap[(479 - y) * 1920:(480 - y) * 1920] for y in range(480))
        self.assertGreaterEqual(psnr(decode_jpeg(got[-1][1]), upright), 30.0, 'the stand-by picture')

    def test_command_port_has_no_pictures(self):
        self.producer(4)
        client = WsClient(COMMAND_PORT)
        self.addCleanup(client.close)
        client.read_until(b'\0')
        client.send(b'picture rate="10" width="640"\0')
        time.sleep(3)
        client.sock.settimeout(0.5)
        try:
            rest = client.buffer + client.sock.recv(65536)
        except socket.timeout:
            rest = client.buffer
        self.assertNotIn(b'\xff\xd8', rest)
        self.assertNotIn(b'picture', rest)

    def test_foreign_origin_cannot_open_a_session(self):
        client = WsClient(WEB_PORT)
        self.addCleanup(client.close)
        reply = client.handshake(handshake_request(origin='http://elsewhere.example'))
        self.assertEqual(reply.status, 403)
        client.send(frame(TEXT, 'picture rate="10" width="640"'))
        self.assertTrue(client.ended(5))

    def daemon_memory_kb(self):
        total = 0
        for pid in self.daemon.pids('QvPushServer.exe'):
            with open('/proc/%d/status' % pid) as f:
                total += next(int(l.split()[1]) for l in f if l.startswith('VmRSS:'))
        return total


class PicturePageCheck:
    """The control page shows the picture: the same check in each browser.
    A subclass sets up self.daemon and self.browser."""

    def canvas_pixel(self, page, x, y):
        return page.eval("Array.from(document.getElementById('pictureCanvas').getContext('2d')"
                         ".getImageData(%d, %d, 1, 1).data)" % (x, y))

    def screenshot(self, page, name):
        if hasattr(page, 'screenshot'):
            page.screenshot(name, 1280, 800)

    def test_page_shows_the_card_then_the_standby_notice(self):
        page = self.browser.open('http://127.0.0.1:19724/')
        self.assertTrue(page.wait("document.getElementById('state').classList.contains('connected')", 30))
        self.assertTrue(page.eval("!document.getElementById('pictureHint').hidden"), 'idle: the hint')
        self.assertTrue(page.eval("document.getElementById('pictureCanvas').hidden"), 'idle: no picture')
        self.daemon.script(BRIDGE, [('stdout', DELIVERING), ('sleep', 60000)])
        producer = Producer(12)
        self.addCleanup(producer.stop)
        # Straight through the page's own session: the form wants a microphone, which this test has none of.
        page.eval("socket.send(%r)" % PREVIEW)
        started = time.monotonic()
        self.assertTrue(page.wait("!document.getElementById('pictureCanvas').hidden", 20), 'the picture shows')
        # The 640 x 480 card letterboxed into the 640 x 360 canvas: scale 0.75, 80 px each side.
        def bars_shown():
            for k, (b, g, r) in enumerate(BARS):
                pixel = self.canvas_pixel(page, int(80 + 0.75 * (80 * k + 40)), 135)
                if any(abs(a - e) > 40 for a, e in zip(pixel[:3], (r, g, b))):
                    return False
            return True
        self.assertTrue(wait_until(bars_shown, 15), 'the colour bars at their places')
        self.assertLess(time.monotonic() - started, 15)
        def marker():
            row = page.eval("Array.from(document.getElementById('pictureCanvas').getContext('2d')"
                            ".getImageData(80, 315, 480, 1).data)")
            bright = [x for x in range(480) if row[x * 4 + 1] > 180]
            return bright[0] if bright else None
        first = marker()
        self.assertTrue(wait_until(lambda: marker() != first, 5), 'the marker moves')
        self.assertTrue(page.wait("parseFloat(document.getElementById('pictureRate').textContent) >= 5", 10),
                        page.eval("document.getElementById('pictureRate').textContent"))
        self.screenshot(page, 'picture-live.png')
        self.assertTrue(page.eval("document.getElementById('pictureNotice').hidden"))

        producer.stop()
        self.assertTrue(page.wait("!document.getElementById('pictureNotice').hidden", 15),
                        'the stand-by notice once no fresh frame comes')
        self.screenshot(page, 'picture-standby.png')


class PicturePageTest(PicturePageCheck, unittest.TestCase):
    """The control page in headless Chromium, through its DevTools protocol."""

    def setUp(self):
        from chromium_cdp import Chromium
        require(shutil.which('chromium'), 'chromium is not installed')
        self.daemon = Daemon()
        self.addCleanup(self.daemon.stop)
        self.browser = Chromium()
        self.addCleanup(self.browser.close)


class FirefoxPicturePageTest(PicturePageCheck, unittest.TestCase):
    """The control page in headless Firefox ESR, through WebDriver BiDi."""

    def setUp(self):
        from firefox_bidi import FIREFOX, Firefox
        require(os.access(FIREFOX, os.X_OK), 'firefox-esr is not installed')
        self.daemon = Daemon()
        self.addCleanup(self.daemon.stop)
        self.browser = Firefox()
        self.addCleanup(self.browser.close)

if __name__ == '__main__':
    unittest.main(verbosity=2)
