"""Debian's Chromium, headless, driven over its DevTools protocol with the
tests' own WebSocket client."""
import base64
import json
import os
import re
import shutil
import subprocess
import tempfile
import threading
import time

from qv_daemon import ARTIFACTS, require
from ws_wire import TEXT, WsClient, frame, handshake_request

CHROMIUM = '/usr/bin/chromium'
FLAGS = ['--headless', '--no-sandbox', '--disable-gpu', '--disable-quic', '--no-first-run',
         '--disable-background-networking', '--disable-component-update', '--disable-sync',
         '--remote-debugging-address=127.0.0.1', '--remote-debugging-port=0']


class Chromium:
    def __init__(self, *flags):
        require(os.access(CHROMIUM, os.X_OK), 'chromium is not installed at ' + CHROMIUM)
        self.profile = tempfile.mkdtemp(prefix='chromium-', dir=ARTIFACTS)
        self.process = subprocess.Popen([CHROMIUM, *FLAGS, *flags, '--user-data-dir=' + self.profile,
                                         'about:blank'],
                                        stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL,
                                        stderr=subprocess.PIPE)
        endpoint = None
        deadline = time.monotonic() + 60
        while endpoint is None and time.monotonic() < deadline:
            line = self.process.stderr.readline().decode('utf-8', 'replace')
            if not line and self.process.poll() is not None:
                break
            endpoint = re.search(r'DevTools listening on ws://127\.0\.0\.1:(\d+)(/\S+)', line)
        if endpoint is None:
            self.close()
            raise AssertionError('chromium did not open its DevTools endpoint')
        # Its later output must not fill the pipe and stall it.
        threading.Thread(target=self.process.stderr.read, daemon=True).start()
        port, path = int(endpoint.group(1)), endpoint.group(2)
        self.ws = WsClient(port, timeout=60)
        assert self.ws.handshake(handshake_request(host='127.0.0.1:%d' % port, path=path)).status == 101
        self.next_id = 0

    def call(self, method, params=None, session=None, timeout=60):
        self.next_id += 1
        message = {'id': self.next_id, 'method': method, 'params': params or {}}
        if session:
            message['sessionId'] = session
        self.ws.send(frame(TEXT, json.dumps(message)))
        deadline = time.monotonic() + timeout
        while True:
            reply = json.loads(self.ws.recv_text(max(0.1, deadline - time.monotonic()), keep_json=True))
            if reply.get('id') == self.next_id:
                if 'error' in reply:
                    raise AssertionError('%s: %s' % (method, reply['error']))
                return reply.get('result', {})

    def open(self, url):
        target = self.call('Target.createTarget', {'url': url})['targetId']
        session = self.call('Target.attachToTarget', {'targetId': target, 'flatten': True})['sessionId']
        return Page(self, target, session)

    def close(self):
        if self.process.poll() is None:
            self.process.terminate()
            try:
                self.process.wait(timeout=20)
            except subprocess.TimeoutExpired:
                self.process.kill()
                self.process.wait()
        shutil.rmtree(self.profile, ignore_errors=True)


class Page:
    def __init__(self, browser, target, session):
        self.browser, self.target, self.session = browser, target, session

    def eval(self, expression, await_promise=False, user_gesture=False):
        result = self.browser.call('Runtime.evaluate', {'expression': expression, 'returnByValue': True,
                                                        'awaitPromise': await_promise, 'userGesture': user_gesture},
                                   self.session)
        if 'exceptionDetails' in result:
            raise AssertionError('%s: %s' % (expression, result['exceptionDetails']))
        return result['result'].get('value')

    def wait(self, expression, timeout=20):
        deadline = time.monotonic() + timeout
        while time.monotonic() < deadline:
            try:
                if self.eval(expression):
                    return True
            except AssertionError:
                pass  # the document may not be there yet
            time.sleep(0.2)
        return False

    def screenshot(self, name, width, height):
        """A PNG of the page at that window size, in the test artifacts; its path."""
        self.browser.call('Emulation.setDeviceMetricsOverride',
                          {'width': width, 'height': height, 'deviceScaleFactor': 1, 'mobile': False}, self.session)
        time.sleep(0.5)
        data = self.browser.call('Page.captureScreenshot', {'format': 'png'}, self.session)['data']
        path = os.path.join(ARTIFACTS, name)
        with open(path, 'wb') as f:
            f.write(base64.b64decode(data))
        return path

    def close(self):
        self.browser.call('Target.closeTarget', {'targetId': self.target})
