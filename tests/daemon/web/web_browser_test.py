"""The control page in a real browser: Debian's Chromium, headless, against
the real daemon under Wine with the stand-in encoder and bridge and two test
microphones; plus pages of another origin that try to reach the daemon."""
import functools
import http.server
import os
import ssl
import struct
import subprocess
import tempfile
import threading
import time
import unittest

from chromium_cdp import Chromium
from qv_daemon import (ARTIFACTS, BRIDGE, ENCODER, NO_FFMPEG_SCRIPT, REFUSED_SCRIPT, Daemon, TestMicrophones,
                       live_script, require, set_allowed_origins, wait_until)

MICROPHONES = ['测试麦克风 A', 'Test microphone B']
CAMERA = 'USB 摄像头'
STREAM_URL = 'rtmp://127.0.0.1:1935/live/room1'

# Served from another origin: an image and a fetch aimed at the command
# port, and a WebSocket to the endpoint.
FOREIGN_PAGE = b'''<!DOCTYPE html><meta charset="utf-8"><title>elsewhere</title>
<img src="http://127.0.0.1:19723/stop">
<script>
window.seen = {messages: [], events: []};
function openSession() {
  seen = {messages: [], events: []};
  window.ws = new WebSocket('ws://127.0.0.1:19724/ws');
  ws.onopen = () => seen.events.push('open');
  ws.onmessage = (e) => seen.messages.push(e.data);
  ws.onerror = () => seen.events.push('error');
  ws.onclose = (e) => seen.events.push('close ' + e.code);
}
function loadPageScript() {
  window.scriptLoad = 'pending';
  const script = document.createElement('script');
  script.src = 'http://127.0.0.1:19724/app.js';
  script.onload = () => { scriptLoad = 'load'; };
  script.onerror = () => { scriptLoad = 'error'; };
  document.head.append(script);
}
function openAndCloseControlPage() {
  const control = open('http://127.0.0.1:19724/');
  setTimeout(() => control && control.close(), 3000);
}
</script>'''
CONNECTED = "document.getElementById('state').classList.contains('connected')"


def self_signed_context(address):
    directory = tempfile.mkdtemp(prefix='tls-', dir=ARTIFACTS)
    key, cert = os.path.join(directory, 'key.pem'), os.path.join(directory, 'cert.pem')
    made = subprocess.run(['openssl', 'req', '-x509', '-newkey', 'rsa:2048', '-nodes', '-days', '1', '-subj',
                           '/CN=' + address, '-addext', 'subjectAltName=IP:' + address, '-keyout', key, '-out', cert],
                          stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    require(made.returncode == 0 and os.path.exists(cert), 'openssl could not make a test certificate')
    context = ssl.SSLContext(ssl.PROTOCOL_TLS_SERVER)
    context.load_cert_chain(cert, key)
    return context


def established_sessions(port):
    """Connections the daemon has accepted on `port` and still holds, read
    from the kernel's TCP tables (state 01, ESTABLISHED, on the listening
    side). The daemon answers HTTP with "Connection: close", so after a page
    has loaded these are its WebSocket sessions."""
    count = 0
    for table in ('/proc/net/tcp', '/proc/net/tcp6'):
        try:
            with open(table) as f:
                next(f)
                for line in f:
                    fields = line.split()
                    if int(fields[1].rsplit(':', 1)[1], 16) == port and fields[3] == '01':
                        count += 1
        except OSError:
            continue
    return count


def png_size(path):
    with open(path, 'rb') as f:
        head = f.read(24)
    assert head[:8] == b'\x89PNG\r\n\x1a\n', 'not a PNG'
    return struct.unpack('>II', head[16:24])


class ForeignSite:
    """http://127.0.0.1:<free port>/ serving FOREIGN_PAGE; over HTTPS with a
    self-signed certificate on another loopback address when asked."""

    class Handler(http.server.BaseHTTPRequestHandler):
        def do_GET(self):
            self.send_response(200)
            self.send_header('Content-Type', 'text/html; charset=utf-8')
            self.end_headers()
            self.wfile.write(FOREIGN_PAGE)

        def log_message(self, *args):
            pass

    def __init__(self, address='127.0.0.1', tls=False):
        self.server = http.server.ThreadingHTTPServer((address, 0), self.Handler)
        scheme = 'http'
        if tls:
            scheme = 'https'
            self.server.socket = self_signed_context(address).wrap_socket(self.server.socket, server_side=True)
        self.host = '%s:%d' % (address, self.server.server_address[1])
        self.origin = '%s://%s' % (scheme, self.host)
        threading.Thread(target=self.server.serve_forever, daemon=True).start()

    def close(self):
        self.server.shutdown()
        self.server.server_close()


class ControlPageTest(unittest.TestCase):
    def setUp(self):
        set_allowed_origins(None)
        self.microphones = TestMicrophones(MICROPHONES)
        self.addCleanup(self.microphones.remove)
        self.daemon = Daemon()
        self.addCleanup(self.daemon.stop)
        self.browser = Chromium()
        self.addCleanup(self.browser.close)
        self.site = ForeignSite()
        self.addCleanup(self.site.close)
        self.addCleanup(set_allowed_origins, None)

    def reply_is(self, page, text):
        return page.wait("document.getElementById('reply').textContent.startsWith(%r)" % text, 30)

    def test_control_page(self):
        page = self.browser.open('http://127.0.0.1:19724/')
        self.assertTrue(page.wait("document.getElementById('state').classList.contains('connected')", 30),
                        'the page connects and is greeted')
        self.assertEqual(page.eval("[...document.querySelectorAll('#microphone option')].map(o => o.value)"),
                         MICROPHONES)
        self.assertEqual(page.eval("document.getElementById('version').textContent"), '1.0.0')
        self.assertEqual(page.eval("[...document.querySelectorAll('#pushLevel option')].map(o => o.value)"),
                         ['0', '1', '2', '3', '4', '5'])
        for name, width, height in [('control-page-1280x800.png', 1280, 800), ('control-page-narrow.png', 390, 800)]:
            path = self.page_screenshot(page, name, width, height)
            self.assertEqual(png_size(path), (width, height))
            self.assertFalse(page.eval('document.documentElement.scrollWidth > window.innerWidth'),
                             'nothing sticks out sideways at %d px' % width)

        page.eval("document.getElementById('camera').value = %r;"
                  "document.getElementById('streamUrl').value = %r;"
                  "document.getElementById('pushLevel').value = '2';"
                  "document.getElementById('preview').click()" % (CAMERA, STREAM_URL))
        self.assertTrue(self.reply_is(page, 'preview ok'))
        self.assertIn('"%s"' % CAMERA, self.daemon.starts(BRIDGE)[-1])
        self.assertIn('"%s"' % MICROPHONES[0], self.daemon.starts(BRIDGE)[-1])

        page.eval("document.getElementById('start').click()")
        self.assertTrue(self.reply_is(page, 'start ok'))
        self.assertTrue(self.daemon.running(ENCODER))
        self.assertIn(STREAM_URL, self.daemon.starts(ENCODER)[-1])
        self.assertIn('audio="%s"' % MICROPHONES[0], self.daemon.starts(ENCODER)[-1])
        self.assertTrue(page.wait("document.getElementById('level').textContent.startsWith('标清')", 15),
                        'the announced level is shown')
        self.assertTrue(page.wait("document.getElementById('log').textContent.includes('标清')", 5))

        with self.subTest('an image and a fetch aimed at 19723 do not stop the publish'):
            starts = len(self.daemon.starts(ENCODER))
            foreign = self.browser.open(self.site.origin + '/')
            self.assertTrue(foreign.wait("document.readyState === 'complete'", 20))
            foreign.eval("fetch('http://127.0.0.1:19723/stop', {mode: 'no-cors'}).catch(() => 0)", True)
            foreign.eval("fetch('http://127.0.0.1:19723/stop', {method: 'POST', mode: 'no-cors', body: 'stop'})"
                         ".catch(() => 0)", True)
            self.assertFalse(wait_until(lambda: not self.daemon.running(ENCODER), 4), 'the encoder keeps running')
            self.assertEqual(len(self.daemon.starts(ENCODER)), starts)

        with self.subTest('a second control tab that drops, reconnects and closes stops nothing'):
            second = self.browser.open('http://127.0.0.1:19724/')
            self.assertTrue(second.wait(CONNECTED, 30))
            second.eval('socket.close()')
            self.assertTrue(second.wait("document.getElementById('state').textContent.includes('reconnecting in')",
                                        10), 'the page says it reconnects')
            self.assertTrue(second.wait(CONNECTED, 30), 'and reconnects by itself')
            second.close()
            self.assertFalse(wait_until(lambda: not self.daemon.running(ENCODER), 3), 'the encoder keeps running')

        with self.subTest('another site can neither load the page script nor end the publish with open/close'):
            foreign.eval('loadPageScript()')
            self.assertTrue(foreign.wait("scriptLoad !== 'pending'", 10))
            self.assertEqual(foreign.eval('scriptLoad'), 'error')
            foreign.eval('openAndCloseControlPage()', user_gesture=True)
            self.assertFalse(wait_until(lambda: not self.daemon.running(ENCODER), 6), 'the encoder keeps running')
            self.assertEqual(len(self.daemon.starts(ENCODER)), starts)

        page.eval("document.getElementById('stop').click()")
        self.assertTrue(self.reply_is(page, 'stop ok'))
        self.assertTrue(wait_until(lambda: not self.daemon.running(ENCODER) and not self.daemon.running(BRIDGE), 10))

        with self.subTest('another origin is refused until the allowlist names it'):
            foreign.eval('openSession()')
            self.assertTrue(foreign.wait("seen.events.some(e => e.startsWith('close'))", 20))
            self.assertEqual(foreign.eval('seen.messages'), [], 'no greeting reaches another origin')
            set_allowed_origins(['https://live.example.com', self.site.origin])
            foreign.eval('openSession()')
            self.assertTrue(foreign.wait('seen.messages.length > 0', 20), foreign.eval('seen.events'))
            self.assertEqual(foreign.eval('seen.messages[0]'), '$'.join(MICROPHONES + ['1.0.0']))
            foreign.eval('ws.close()')
            self.assertTrue(foreign.wait("seen.events.some(e => e.startsWith('close'))", 20))
            foreign.close()

        with self.subTest('closing the page ends its session and stops both'):
            self.daemon.settle()
            page.eval("document.getElementById('preview').click()")
            self.assertTrue(self.reply_is(page, 'preview ok'))
            page.eval("document.getElementById('start').click()")
            self.assertTrue(self.reply_is(page, 'start ok'))
            self.assertEqual((self.daemon.running(ENCODER), self.daemon.running(BRIDGE)), (True, True))
            page.close()
            self.assertTrue(wait_until(lambda: not self.daemon.running(ENCODER) and not self.daemon.running(BRIDGE),
                                       15), 'both executables stop when the page closes')

    def test_public_https_origin_needs_the_loopback_permission(self):
        public = ForeignSite('127.0.0.2', tls=True)
        self.addCleanup(public.close)
        set_allowed_origins([public.origin])
        browser = Chromium('--ip-address-space-overrides=%s=public' % public.host, '--ignore-certificate-errors')
        self.addCleanup(browser.close)
        page = browser.open(public.origin + '/')
        self.assertTrue(page.wait("typeof openSession === 'function'", 20))
        greeting = '$'.join(MICROPHONES + ['1.0.0'])
        with self.subTest('without the permission no session reaches the daemon'):
            page.eval('openSession()')
            self.assertTrue(page.wait("seen.events.some(e => e.startsWith('close'))", 20))
            self.assertEqual(page.eval('seen'), {'messages': [], 'events': ['error', 'close 1006']})
        with self.subTest('with it the page greets, starts and stops a publish'):
            browser.call('Browser.grantPermissions', {'permissions': ['loopbackNetwork'], 'origin': public.origin})
            page.eval('openSession()')
            self.assertTrue(page.wait('seen.messages.length > 0', 20), page.eval('seen'))
            self.assertEqual(page.eval('seen.messages[0]'), greeting)
            page.eval("ws.send('start videoDevice=\"%s\" audioDevice=\"%s\" streamUrl=\"%s\" pushLevel=\"1\"')"
                      % (CAMERA, MICROPHONES[1], STREAM_URL))
            self.assertTrue(page.wait("seen.messages.includes('start ok')", 30), page.eval('seen'))
            self.assertTrue(self.daemon.running(ENCODER))
            page.eval("ws.send('stop')")
            self.assertTrue(page.wait("seen.messages.includes('stop ok')", 30), page.eval('seen'))
            self.assertTrue(wait_until(lambda: not self.daemon.running(ENCODER), 10))

    def test_status_panel(self):
        page = self.browser.open('http://127.0.0.1:19724/')
        self.assertTrue(page.wait("document.getElementById('state').classList.contains('connected')", 30))
        page.eval("document.getElementById('camera').value = %r;"
                  "document.getElementById('streamUrl').value = %r;" % (CAMERA, STREAM_URL))
        by_id = "document.getElementById(%r)"
        cases = [
            # (state, the stand-in encoder's script, what the panel then shows)
            ('live', live_script(30), [by_id % 'fps' + ".textContent === '10.0'",
                                       by_id % 'kbps' + ".textContent.startsWith('300.5')",
                                       by_id % 'dropped' + ".textContent === '2'",
                                       by_id % 'liveTime' + ".textContent >= '00:08'"]),
            ('retrying', REFUSED_SCRIPT, [by_id % 'publishReason' + ".textContent.includes('Connection refused')",
                                          by_id % 'retryIn' + ".textContent.includes('retry in')"]),
            ('failed', NO_FFMPEG_SCRIPT, [by_id % 'publishReason' + ".textContent.includes('code 3')"]),
        ]
        for state, script, shown in cases:
            with self.subTest(state):
                self.daemon.script(ENCODER, script)
                page.eval(by_id % 'start' + '.click()')
                self.assertTrue(page.wait(by_id % 'publishBadge' + '.classList.contains(%r)' % state, 30),
                                page.eval(by_id % 'publishBadge' + '.className'))
                for condition in shown:
                    self.assertTrue(page.wait(condition, 15), condition)
                if state == 'live':
                    # Two points at least, drawn in the line's blue.
                    self.assertTrue(page.wait(
                        "(() => { const d = document.getElementById('bitrateChart').getContext('2d')"
                        ".getImageData(0, 0, 360, 90).data; for (let i = 0; i < d.length; i += 4) "
                        "if (d[i] < 80 && d[i + 2] > 200 && d[i + 3] > 0) return true; return false; })()", 10),
                        'the bitrate chart is drawn')
                self.page_screenshot(page, 'status-%s.png' % state, 1280, 800)
                page.eval(by_id % 'stop' + '.click()')
                self.assertTrue(page.wait(by_id % 'publishBadge' + ".classList.contains('idle')", 15))
        self.daemon.script(ENCODER, None)

    def test_page_after_the_daemon_is_killed(self):
        page = self.browser.open('http://127.0.0.1:19724/')
        self.assertTrue(page.wait(CONNECTED, 30))
        by_id = "document.getElementById(%r)"
        self.daemon.script(ENCODER, live_script(120))
        page.eval("document.getElementById('camera').value = %r;"
                  "document.getElementById('streamUrl').value = %r;" % (CAMERA, STREAM_URL))
        page.eval(by_id % 'start' + '.click()')
        self.assertTrue(page.wait(by_id % 'publishBadge' + ".classList.contains('live') && " + by_id % 'liveTime' +
                                  ".textContent.startsWith('00:') && " + by_id % 'liveTime' +
                                  ".textContent >= '00:03'", 30),
                        page.eval(by_id % 'publishBadge' + '.textContent'))
        for pid in self.daemon.pids('QvPushServer.exe'):
            os.kill(pid, 9)
        killed = time.monotonic()
        gone = page.wait(by_id % 'publishBadge' + ".textContent.includes('Not connected')", 15)
        seen_after = time.monotonic() - killed
        print('"not connected" %.1f s after the daemon was killed' % seen_after)
        self.assertTrue(gone, page.eval(by_id % 'publishBadge' + '.textContent'))
        self.assertLessEqual(seen_after, 5.0)
        self.assertIn('Not connected', page.eval(by_id % 'cameraBadge' + '.textContent'))
        clock = page.eval(by_id % 'liveTime' + '.textContent')
        self.assertGreaterEqual(clock, '00:03')
        time.sleep(2.5)
        self.assertEqual(page.eval(by_id % 'liveTime' + '.textContent'), clock, 'the clock went on counting')
        self.assertEqual(page.eval(by_id % 'kbps' + '.textContent'), '—')
        # The reconnect timer runs meanwhile: one socket at most, never two.
        self.assertIsNone(page.eval("socket && socket.readyState === WebSocket.OPEN ? 'open' : null"))
        self.page_screenshot(page, 'status-daemon-killed.png', 1280, 800)

    def test_back_forward_cache_while_reconnecting(self):
        # Chromium 156 never keeps this page in its back/forward cache, not
        # even with CacheControlNoStoreEnterBackForwardCache enabled: history
        # back after Page.navigate loads it anew, with notRestoredReasons
        # response-cache-control-no-store(-with-js-network-request) and
        # websocket-used-with-ccns. Other browsers may keep it, so the page's
        # own handlers get the events such a restore fires, on the real page
        # against the real daemon, counting the daemon's sessions.
        page = self.browser.open('http://127.0.0.1:19724/')
        self.assertTrue(page.wait(CONNECTED, 30))
        self.assertTrue(wait_until(lambda: established_sessions(19724) == 1, 10), established_sessions(19724))
        cases = [
            ('kept and restored', "dispatchEvent(new PageTransitionEvent('pagehide', {persisted: true}));"
                                  "dispatchEvent(new PageTransitionEvent('pageshow', {persisted: true}))"),
            ('restored without a hide first', "dispatchEvent(new PageTransitionEvent('pageshow', {persisted: true}))"),
            ('restored twice', "dispatchEvent(new PageTransitionEvent('pageshow', {persisted: true}));"
                               "dispatchEvent(new PageTransitionEvent('pageshow', {persisted: true}))"),
        ]
        for name, events in cases:
            with self.subTest(name):
                # A drop with a long reconnect delay: the timer runs when
                # the cache's events come.
                page.eval('reconnectDelayS = 10; socket.close()')
                self.assertTrue(page.wait(
                    "document.getElementById('state').textContent.includes('reconnecting in')", 10))
                self.assertTrue(wait_until(lambda: established_sessions(19724) == 0, 10), 'the dropped session ended')
                page.eval(events)
                self.assertTrue(page.wait(CONNECTED, 30), 'the restored page connects')
                # Past the old timer's 10 s: it was forgotten, or found the socket taken.
                time.sleep(12)
                self.assertTrue(page.eval(CONNECTED), page.eval("document.getElementById('state').textContent"))
                self.assertEqual(established_sessions(19724), 1, 'one session for the page, never two')

    def page_screenshot(self, page, name, width, height):
        path = page.screenshot(name, width, height)
        print('screenshot:', path)
        return path


if __name__ == '__main__':
    unittest.main(verbosity=2)
