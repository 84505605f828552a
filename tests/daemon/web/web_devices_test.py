"""The device list of a WebSocket session: right after the greeting the
cameras (the demo webcam, with its formats) and the working microphones,
again when a webcam is registered meanwhile, and the control page in
Chromium offering the daemon's cameras without any camera permission."""
import json
import os
import time
import unittest

from chromium_cdp import Chromium
from qv_daemon import BIN, WEB_PORT, Daemon, TestMicrophones, require, set_allowed_origins, wait_until, wine
from ws_wire import WsClient, handshake_request

MICROPHONES = ['测试麦克风 D']
WEBCAM = '演示摄像头 listing'
ARRIVING = 'Demo webcam that arrives'
OWN_CAMERA = 'Kavo直播插件'
BY_ID = "document.getElementById(%r)"


def demo_devices(*args):
    tool = os.path.join(BIN, 'demo_devices.exe')
    require(os.path.exists(tool), 'no demo_devices.exe in ' + BIN)
    return wine(tool, *args).returncode


def next_devices(client, timeout):
    """The next devices message, or None when none came in time."""
    deadline = time.monotonic() + timeout
    while time.monotonic() < deadline:
        try:
            text = client.recv_text(max(0.1, deadline - time.monotonic()), keep_json=True)
        except (TimeoutError, OSError):
            return None
        if text.startswith('{') and json.loads(text).get('type') == 'devices':
            return json.loads(text)
    return None


def camera(devices, name):
    return next((c for c in devices['cameras'] if c['name'] == name), None)


class DevicesTest(unittest.TestCase):
    def setUp(self):
        set_allowed_origins(None)
        self.microphones = TestMicrophones(MICROPHONES)
        self.addCleanup(self.microphones.remove)
        demo_devices('unregister', '--webcam', ARRIVING)
        self.assertEqual(demo_devices('register', '--webcam', WEBCAM, '--formats', 'yuy2:640x480,mjpg:1920x1080'), 0)
        self.addCleanup(demo_devices, 'unregister', '--webcam', WEBCAM)
        self.daemon = Daemon()
        self.addCleanup(self.daemon.stop)

    def session(self):
        client = WsClient(WEB_PORT)
        self.addCleanup(client.close)
        self.assertEqual(client.handshake(handshake_request()).status, 101)
        self.assertEqual(client.recv_text(keep_json=True), '$'.join(MICROPHONES) + '$1.0.0')
        return client

    def test_devices_follow_the_greeting_and_every_change(self):
        client = self.session()
        # Right after the greeting, before any status.
        first = json.loads(client.recv_text(timeout=15, keep_json=True))
        self.assertEqual(first.get('type'), 'devices', first)
        self.assertEqual(first['microphones'], MICROPHONES)
        webcam = camera(first, WEBCAM)
        self.assertIsNotNone(webcam, first)
        self.assertEqual(webcam['formats'], [
            {'pixelFormat': 'MJPG', 'width': 1920, 'height': 1080, 'maxFrameRate': 30},
            {'pixelFormat': 'YUY2', 'width': 640, 'height': 480, 'maxFrameRate': 30}])
        self.assertIsNone(camera(first, OWN_CAMERA), 'our own camera is listed')

        registered = time.monotonic()
        self.assertEqual(demo_devices('register', '--webcam', ARRIVING), 0)
        self.addCleanup(demo_devices, 'unregister', '--webcam', ARRIVING)
        arrived = None
        while arrived is None or camera(arrived, ARRIVING) is None:
            arrived = next_devices(client, 20 - (time.monotonic() - registered))
            if arrived is None:
                break
        print('a webcam registered meanwhile was in a devices message %.1f s later' % (time.monotonic() - registered))
        self.assertIsNotNone(arrived, 'no devices message named the webcam registered 20 s ago')
        self.assertIsNotNone(camera(arrived, WEBCAM))

        gone_since = time.monotonic()
        self.assertEqual(demo_devices('unregister', '--webcam', ARRIVING), 0)
        gone = None
        while gone is None or camera(gone, ARRIVING) is not None:
            gone = next_devices(client, 20 - (time.monotonic() - gone_since))
            if gone is None:
                break
        self.assertIsNotNone(gone, 'no devices message without the unregistered webcam within 20 s')

    def test_page_offers_the_daemons_cameras(self):
        browser = Chromium()
        self.addCleanup(browser.close)
        page = browser.open('http://127.0.0.1:19724/')
        self.assertTrue(page.wait(BY_ID % 'state' + ".classList.contains('connected')", 30))
        offered = "[...document.querySelectorAll('#cameras option')].map(o => o.value)"
        self.assertTrue(page.wait(offered + '.includes(%r)' % WEBCAM, 20), page.eval(offered))
        self.assertNotIn(OWN_CAMERA, page.eval(offered))
        # The first camera is taken when none was typed; a typed name stays possible.
        self.assertIn(page.eval(BY_ID % 'camera' + '.value'), page.eval(offered))
        page.eval(BY_ID % 'camera' + '.value = %r' % WEBCAM)
        page.eval(BY_ID % 'preview' + '.click()')
        self.assertTrue(page.wait(BY_ID % 'reply' + ".textContent.startsWith('preview ok')", 30),
                        page.eval(BY_ID % 'reply' + '.textContent'))
        self.assertTrue(wait_until(lambda: any(WEBCAM in line for line in self.daemon.starts('QvGraph.exe')), 20),
                        self.daemon.starts('QvGraph.exe'))


if __name__ == '__main__':
    unittest.main()
