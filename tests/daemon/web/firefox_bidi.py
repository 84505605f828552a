"""Debian's Firefox ESR, headless, driven over WebDriver BiDi with the
tests' own WebSocket client. Its page offers eval and wait as the Chromium
driver's does, so that one check runs in both browsers."""
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

FIREFOX = '/usr/bin/firefox-esr'
# A fresh profile must not reach beyond loopback: no updates, telemetry,
# connectivity or captive-portal probes, remote settings, safe browsing or
# first-run pages. Release builds take the remote settings server from the
# pref only with MOZ_REMOTE_SETTINGS_DEVTOOLS set.
PREFS = {
    'app.update.enabled': False,
    'app.update.auto': False,
    'app.normandy.enabled': False,
    'browser.aboutwelcome.enabled': False,
    'browser.discovery.enabled': False,
    'browser.newtabpage.enabled': False,
    'browser.ping-centre.telemetry': False,
    'browser.safebrowsing.downloads.enabled': False,
    'browser.safebrowsing.malware.enabled': False,
    'browser.safebrowsing.phishing.enabled': False,
    'browser.safebrowsing.provider.mozilla.updateURL': '',
    'browser.search.update': False,
    'browser.shell.checkDefaultBrowser': False,
    'browser.startup.homepage_override.mstone': 'ignore',
    'browser.startup.page': 0,
    'captivedetect.canonicalURL': '',
    'datareporting.healthreport.uploadEnabled': False,
    'datareporting.policy.dataSubmissionEnabled': False,
    'extensions.blocklist.enabled': False,
    'extensions.getAddons.cache.enabled': False,
    'extensions.update.enabled': False,
    'media.eme.enabled': False,
    'media.gmp-gmpopenh264.enabled': False,
    'media.gmp-manager.url': '',
    'media.gmp-provider.enabled': False,
    'media.gmp-widevinecdm.enabled': False,
    'network.captive-portal-service.enabled': False,
    'network.connectivity-service.enabled': False,
    'network.dns.disablePrefetch': True,
    'network.dns.forceResolve': '127.0.0.1',
    'network.http.speculative-parallel-limit': 0,
    'network.prefetch-next': False,
    # Whatever still reaches out goes to a closed loopback port, named
    # rather than resolved: no DNS query leaves the machine.
    'network.proxy.type': 1,
    'network.proxy.http': '127.0.0.1',
    'network.proxy.http_port': 9,
    'network.proxy.ssl': '127.0.0.1',
    'network.proxy.ssl_port': 9,
    'network.proxy.socks_remote_dns': True,
    'network.proxy.no_proxies_on': '127.0.0.1,localhost',
    'network.trr.mode': 5,
    'services.settings.server': 'http://127.0.0.1:9/',
    'toolkit.telemetry.enabled': False,
    'toolkit.telemetry.server': '',
    'toolkit.telemetry.unified': False,
}


class Firefox:
    def __init__(self):
        require(os.access(FIREFOX, os.X_OK), 'firefox-esr is not installed at ' + FIREFOX)
        self.profile = tempfile.mkdtemp(prefix='firefox-', dir=ARTIFACTS)
        with open(os.path.join(self.profile, 'user.js'), 'w') as f:
            for name, value in PREFS.items():
                f.write('user_pref(%s, %s);\n' % (json.dumps(name), json.dumps(value)))
        self.process = subprocess.Popen([FIREFOX, '--headless', '--no-remote', '--profile', self.profile,
                                         '--remote-debugging-port=0', '--remote-allow-hosts', '127.0.0.1',
                                         'about:blank'],
                                        stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL,
                                        stderr=subprocess.PIPE, env=dict(os.environ, MOZ_HEADLESS='1', MOZ_REMOTE_SETTINGS_DEVTOOLS='1'))
        endpoint = None
        deadline = time.monotonic() + 60
        while endpoint is None and time.monotonic() < deadline:
            line = self.process.stderr.readline().decode('utf-8', 'replace')
            if not line and self.process.poll() is not None:
                break
            endpoint = re.search(r'WebDriver BiDi listening on ws://127\.0\.0\.1:(\d+)', line)
        if endpoint is None:
            self.close()
            raise AssertionError('firefox did not open its WebDriver BiDi endpoint')
        threading.Thread(target=self.process.stderr.read, daemon=True).start()
        port = int(endpoint.group(1))
        self.ws = WsClient(port, timeout=60)
        assert self.ws.handshake(handshake_request(host='127.0.0.1:%d' % port, path='/session')).status == 101
        self.next_id = 0
        self.call('session.new', {'capabilities': {}})

    def call(self, method, params, timeout=60):
        self.next_id += 1
        self.ws.send(frame(TEXT, json.dumps({'id': self.next_id, 'method': method, 'params': params})))
        deadline = time.monotonic() + timeout
        while True:
            reply = json.loads(self.ws.recv_text(max(0.1, deadline - time.monotonic()), keep_json=True))
            if reply.get('id') == self.next_id:
                if reply.get('type') == 'error':
                    raise AssertionError('%s: %s %s' % (method, reply.get('error'), reply.get('message')))
                return reply.get('result', {})

    def open(self, url):
        context = self.call('browsingContext.getTree', {})['contexts'][0]['context']
        self.call('browsingContext.navigate', {'context': context, 'url': url, 'wait': 'complete'})
        return Page(self, context)

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
    def __init__(self, browser, context):
        self.browser, self.context = browser, context

    def eval(self, expression):
        # BiDi hands back typed remote values; JSON text keeps them plain.
        result = self.browser.call('script.evaluate', {'expression': 'JSON.stringify(%s)' % expression,
                                                       'target': {'context': self.context},
                                                       'awaitPromise': False})
        if result.get('type') == 'exception':
            raise AssertionError('%s: %s' % (expression, result['exceptionDetails'].get('text')))
        value = result['result']
        return json.loads(value['value']) if value.get('type') == 'string' else None

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
