"""The web endpoint on 127.0.0.1:19724 and the mended command ports, driven
with raw sockets from the Linux side against the real daemon under Wine."""
import socket
import struct
import threading
import time
import unittest

from qv_daemon import (BRIDGE, COMMAND_PORT, ENCODER, POLICY_PORT, WEB_PORT, Daemon, DaemonTestCase, TestMicrophones,
                       listening_addresses, set_allowed_origins, wait_until)
from ws_wire import (BINARY, CLOSE, CONTINUATION, PING, PONG, RFC_SAMPLE_ACCEPT, RFC_SAMPLE_KEY, TEXT, WsClient,
                     accept_for, frame, handshake_request)

GREETING = 'null$1.0.0'
# A microphone whose name no single code page holds.
FOREIGN_MICROPHONE = '마이크 Gerät'
TLS_CLIENT_HELLO = bytes.fromhex('160301020001') + bytes(500)
ISOLATION_HEADERS = [('cross-origin-opener-policy', 'same-origin'), ('cross-origin-resource-policy', 'same-origin'),
                     ('x-content-type-options', 'nosniff'), ('referrer-policy', 'no-referrer')]
START = 'start videoDevice="USB 摄像头" audioDevice="麦克风 (USB)" streamUrl="rtmp://127.0.0.1/live/room" pushLevel="2"'


class WebEndpointTest(DaemonTestCase):
    def session(self, **request):
        client = WsClient(WEB_PORT)
        self.addCleanup(client.close)
        reply = client.handshake(handshake_request(**request))
        self.assertEqual(reply.status, 101)
        self.assertEqual(client.recv_text(), GREETING)
        return client

    def test_handshake_with_the_rfc_sample_key(self):
        client = WsClient(WEB_PORT)
        self.addCleanup(client.close)
        reply = client.handshake(handshake_request(key=RFC_SAMPLE_KEY))
        self.assertEqual(reply.status, 101)
        self.assertEqual(reply.headers.get('sec-websocket-accept'), RFC_SAMPLE_ACCEPT)
        self.assertEqual(reply.headers.get('upgrade', '').lower(), 'websocket')
        self.assertEqual(client.recv_text(), GREETING)

    def test_handshake_answers(self):
        other_key = 'x3JJHMbDL1EzLkh9GBhXDw=='
        cases = [
            # (what, request fields, status, header that must come with it)
            ('no Origin (a client outside a browser)', {}, 101, None),
            ('own origin by address', {'origin': 'http://127.0.0.1:19724'}, 101, None),
            ('own origin by name', {'origin': 'http://localhost:19724', 'host': 'localhost:19724'}, 101, None),
            ('another site', {'origin': 'http://evil.example'}, 403, None),
            ('an opaque origin', {'origin': 'null'}, 403, None),
            ('own host on another port', {'origin': 'http://127.0.0.1:8080'}, 403, None),
            ('a rebound name as Host', {'host': 'evil.example:19724'}, 403, None),
            ('Host without port', {'host': '127.0.0.1'}, 403, None),
            ('no Host', {'host': None}, 403, None),
            ('version 8', {'version': '8'}, 426, ('sec-websocket-version', '13')),
            ('no version', {'version': None}, 400, None),
            ('key of 15 bytes', {'key': 'AAAAAAAAAAAAAAAAAAAA'}, 400, None),
            ('no key', {'key': None}, 400, None),
            ('no Upgrade', {'upgrade': False}, 400, None),
            ('POST', {'method': 'POST'}, 405, None),
            ('another key', {'key': other_key}, 101, ('sec-websocket-accept', accept_for(other_key))),
        ]
        for what, fields, status, header in cases:
            with self.subTest(what):
                client = WsClient(WEB_PORT)
                try:
                    reply = client.handshake(handshake_request(**fields))
                    self.assertEqual(reply.status, status)
                    if header:
                        self.assertEqual(reply.headers.get(header[0]), header[1])
                    if status == 101:
                        self.assertEqual(client.recv_text(), GREETING)
                    else:
                        self.assertTrue(client.ended(), 'a refused request ends its connection')
                finally:
                    client.close()

    def test_page_files(self):
        cases = [
            ('/', '127.0.0.1:19724', 200, 'text/html', b'Kavo'),
            ('/app.js', 'localhost:19724', 200, 'text/javascript', b'WebSocket'),
            ('/style.css', '127.0.0.1:19724', 200, 'text/css', b'@media'),
            ('/missing', '127.0.0.1:19724', 404, 'text/plain', b''),
            ('/', 'evil.example:19724', 403, 'text/plain', b''),
        ]
        for path, host, status, kind, content in cases:
            with self.subTest(path=path, host=host):
                client = WsClient(WEB_PORT)
                self.addCleanup(client.close)
                reply = client.get(path, host)
                self.assertEqual(reply.status, status)
                self.assertTrue(reply.headers['content-type'].startswith(kind))
                self.assertIn(content, reply.body)

    def test_frames_that_close_the_session(self):
        cases = [
            ('unmasked frame', frame(TEXT, 'stop', mask=False), 1002),
            ('reserved bit', frame(TEXT, 'stop', rsv=4), 1002),
            ('unknown opcode', frame(0x3, 'x'), 1002),
            ('unknown control opcode', frame(0xB, ''), 1002),
            ('invalid UTF-8', frame(TEXT, b'stop \xc3\x28'), 1007),
            ('UTF-8 surrogate', frame(TEXT, b'\xed\xa0\x80'), 1007),
            ('invalid UTF-8 across fragments', frame(TEXT, b'ab\xe4', fin=False) + frame(CONTINUATION, b'\x28'),
             1007),
            ('message over 64 KiB in one frame', frame(TEXT, b'', length=65537), 1009),
            ('message over 64 KiB in fragments', frame(TEXT, b'a' * 40000, fin=False) +
             frame(CONTINUATION, b'a' * 30000), 1009),
            ('ping of 126 bytes', frame(PING, b'p' * 126), 1002),
            ('fragmented ping', frame(PING, b'p', fin=False), 1002),
            ('continuation without a message', frame(CONTINUATION, 'stop'), 1002),
            ('new message inside a fragmented one', frame(TEXT, 'st', fin=False) + frame(TEXT, 'op'), 1002),
            ('binary message', frame(BINARY, b'stop'), 1003),
            ('close with reserved code 1005', frame(CLOSE, struct.pack('>H', 1005)), 1002),
            ('close with one byte', frame(CLOSE, b'\x03'), 1002),
            ('close with invalid reason', frame(CLOSE, struct.pack('>H', 1000) + b'\xff'), 1007),
            ('close 1000', frame(CLOSE, struct.pack('>H', 1000) + b'bye'), 1000),
            ('close 4001', frame(CLOSE, struct.pack('>H', 4001)), 4001),
            ('close without code', frame(CLOSE), 1000),
        ]
        for what, data, code in cases:
            with self.subTest(what):
                client = self.session()
                client.send(data)
                self.assertEqual(client.close_code(), code)
                self.assertTrue(client.ended(), 'the server ends the TCP connection after the close')

    def test_messages(self):
        client = self.session()
        cases = [
            ('stop without line end', [frame(TEXT, 'stop')], 'stop ok'),
            ('stop with CR LF', [frame(TEXT, 'stop\r\n')], 'stop ok'),
            ('fragments with a ping between', [frame(TEXT, 'st', fin=False), frame(PING, b'hi'),
                                               frame(CONTINUATION, 'o', fin=False), frame(CONTINUATION, 'p')],
             'stop ok'),
            ('preview', [frame(TEXT, 'preview videoDevice="USB 摄像头" audioDevice="麦克风 (USB)"')], 'preview ok'),
        ]
        for what, frames, reply in cases:
            with self.subTest(what):
                client.send(b''.join(frames))
                if any(f[0] & 0x0F == PING for f in frames):
                    fin, opcode, payload = client.recv_frame()
                    self.assertEqual((opcode, payload), (PONG, b'hi'))
                self.assertEqual(client.recv_text(), reply)
        # The bridge got the devices as sent, through the one grammar.
        self.assertTrue(any('USB 摄像头' in line and '麦克风 (USB)' in line for line in self.daemon.starts(BRIDGE)))
        with self.subTest('a rejected line gets no reply, the next command does'):
            client.send(frame(TEXT, 'hello') + frame(TEXT, 'stop'))
            self.assertEqual(client.recv_text(), 'stop ok')
        with self.subTest('ping answered with its payload'):
            client.send(frame(PING, b'\x00\x01payload'))
            self.assertEqual(client.recv_frame()[1:], (PONG, b'\x00\x01payload'))

    def test_start_announces_the_level_and_the_end_stops_both(self):
        self.daemon.settle()
        client = self.session()
        client.send(frame(TEXT, START))
        self.assertEqual(client.recv_text(timeout=20), 'start ok')
        # Before the process look-up, which can itself take seconds on a busy machine.
        started = time.monotonic()
        self.assertTrue(self.daemon.running(ENCODER))
        self.assertEqual(client.recv_text(timeout=10), '标清')
        self.assertGreater(time.monotonic() - started, 2.0, 'announced after 3 s of silence')
        client.send(frame(CLOSE, struct.pack('>H', 1000)))
        self.assertEqual(client.close_code(), 1000)
        self.assertTrue(wait_until(lambda: not self.daemon.running(ENCODER), 10), 'the session end stops the encoder')

    def test_silent_partial_request_is_dropped_and_holds_up_nobody(self):
        partial = WsClient(WEB_PORT, timeout=30)
        self.addCleanup(partial.close)
        partial.send(b'GET /ws HTTP/1.1\r\nHost: 127.0.0.1:19724\r\n')
        started = time.monotonic()
        self.session()  # greeted at once meanwhile
        self.assertLess(time.monotonic() - started, 5)
        self.assertTrue(partial.ended(timeout=20))
        self.assertGreater(time.monotonic() - started, 8, 'kept for its 10 s')

    def test_garbage_resets_and_many_clients(self):
        for data in [b'\x00' * 100, b'\xff\xfe garbage\r\n\r\n', b'GET / HTTP/1.1\r\n' + b'X: y\r\n' * 2000]:
            client = WsClient(WEB_PORT)
            client.send(data)
            client.close()
        reset = WsClient(WEB_PORT)
        reset.send(b'GET /ws HTT')
        reset.sock.setsockopt(socket.SOL_SOCKET, socket.SO_LINGER, struct.pack('ii', 1, 0))
        reset.close()
        clients = []
        results = []

        def connect():
            try:
                client = WsClient(WEB_PORT, timeout=60)
                clients.append(client)
                client.handshake()
                results.append(client.recv_text(timeout=60))
            except OSError as error:
                results.append(repr(error))

        threads = [threading.Thread(target=connect) for _ in range(30)]
        for t in threads:
            t.start()
        for t in threads:
            t.join()
        for client in clients:
            client.close()
        # A client that saw the connection end without a word (seen once in a
        # clean-clone run) is told apart by what the daemon printed meanwhile.
        self.assertEqual(results, [GREETING] * 30,
                         self.daemon.output()[-4000:].decode('utf-8', 'replace'))

    def test_nothing_a_web_page_or_a_probe_sends_stops_a_publish(self):
        self.daemon.settle()
        keeper = self.session()
        keeper.send(frame(TEXT, START))
        self.assertEqual(keeper.recv_text(timeout=20), 'start ok')
        encoder_starts = len(self.daemon.starts(ENCODER))
        long_get = b'GET /' + b'a' * 1100 + b' HTTP/1.1\r\nHost: 127.0.0.1:19723\r\n\r\n'
        cases = [
            # (what, segments sent to 19723 without reading the greeting; None: greeted, then gone)
            ('image', [b'GET /stop HTTP/1.1\r\nHost: 127.0.0.1:19723\r\nAccept: image/*\r\n\r\n']),
            ('image with a 1,100-character path', [long_get]),
            ('text/plain fetch POST of command lines', [b'POST /st', b'op HTTP/1.1\r\nContent-Type: text/plain'
                                                        b'\r\n\r\nstop\r\n\x00' + START.encode() + b'\r\n\x00']),
            ('bare request line', [b'HEAD / HTTP/1.0\r\n']),
            ('TLS ClientHello', [TLS_CLIENT_HELLO]),
            ('a client that reads the greeting and leaves', None),
        ]
        for what, segments in cases:
            with self.subTest(what):
                client = WsClient(COMMAND_PORT)
                self.addCleanup(client.close)
                if segments is None:
                    self.assertEqual(client.read_until(b'\x00'), b'null$1.0.0\x00')
                    client.close()
                else:
                    for segment in segments:
                        client.send(segment)
                        time.sleep(0.3)
                    self.assertTrue(client.ended(timeout=3), 'closed at once')
                self.assertFalse(wait_until(lambda: not self.daemon.running(ENCODER), 1.5), 'the publish goes on')
        with self.subTest('a WebSocket session that reads the greeting and leaves'):
            self.session().close()
            self.assertFalse(wait_until(lambda: not self.daemon.running(ENCODER), 1.5), 'the publish goes on')
        self.assertEqual(len(self.daemon.starts(ENCODER)), encoder_starts)
        with self.subTest('a Flash-era client still works'):
            client = WsClient(COMMAND_PORT)
            self.addCleanup(client.close)
            self.assertEqual(client.read_until(b'\x00'), b'null$1.0.0\x00')
            client.send(b'stop\r\n\x00')
            self.assertEqual(client.read_until(b'\x00'), b'stop ok\r\n\x00')
            self.assertTrue(wait_until(lambda: not self.daemon.running(ENCODER), 10))

    def test_idle_crowds_are_capped_and_leave_no_threads_behind(self):
        self.daemon.settle()
        keeper = self.session()
        keeper.send(frame(TEXT, START))
        self.assertEqual(keeper.recv_text(timeout=20), 'start ok')
        idle_threads = self.daemon.threads()
        # 19724 first: its idle connections are dropped after 10 s without a request.
        crowds = {WEB_PORT: [], COMMAND_PORT: []}
        for port, crowd in crowds.items():
            with self.subTest(port=port):
                for _ in range(100):
                    crowd.append(WsClient(port, timeout=30))
                # The keeper holds one of the 32 sessions of 19724.
                served = 31 if port == WEB_PORT else 32
                turned_away = [c for c in crowd if c.ended(timeout=0.2)]
                self.assertEqual(len(turned_away), 100 - served, 'those beyond the cap are closed at once')
                if port == WEB_PORT:
                    extra = WsClient(WEB_PORT)
                    self.addCleanup(extra.close)
                    self.assertIn(b'503 Service Unavailable', extra.read_until(b'\r\n\r\n', 5))
        self.assertLess(self.daemon.threads(), idle_threads + 80, 'thread count bounded')
        self.assertTrue(self.daemon.running(ENCODER), 'the publish goes on')
        for crowd in crowds.values():
            for client in crowd:
                client.close()
        with self.subTest('a new client is greeted within 2 s once they are gone'):
            self.assertTrue(wait_until(lambda: self.daemon.threads() <= idle_threads + 2, 30),
                            'threads back to %d: %d' % (idle_threads, self.daemon.threads()))
            started = time.monotonic()
            client = WsClient(COMMAND_PORT)
            self.addCleanup(client.close)
            self.assertEqual(client.read_until(b'\x00', 5), b'null$1.0.0\x00')
            self.assertLess(time.monotonic() - started, 2)
        self.assertTrue(self.daemon.running(ENCODER), 'the publish goes on')

    def test_allowed_origins_are_normalised(self):
        set_allowed_origins(['HTTPS://Live.Example.COM:443/', 'http://a.example:80', 'https://b.example:8443',
                             'null', '*', 'https://c.example/live'])
        self.addCleanup(set_allowed_origins, None)
        cases = [
            ('https://live.example.com', 101),
            ('http://a.example', 101),
            ('https://b.example:8443', 101),
            ('https://b.example', 403),
            ('null', 403),
            ('https://c.example', 403),
            ('https://evil.example', 403),
        ]
        for origin, status in cases:
            with self.subTest(origin):
                client = WsClient(WEB_PORT)
                self.addCleanup(client.close)
                self.assertEqual(client.handshake(handshake_request(origin=origin)).status, status)

    def test_names_stay_whole_on_the_websocket_path(self):
        # Runs last: later greetings must not reuse a listing that had it.
        self.addCleanup(time.sleep, 2.5)
        microphones = TestMicrophones([FOREIGN_MICROPHONE])
        self.addCleanup(microphones.remove)
        client = WsClient(WEB_PORT)
        self.addCleanup(client.close)
        self.assertEqual(client.handshake(handshake_request()).status, 101)
        self.assertEqual(client.recv_text(timeout=30), FOREIGN_MICROPHONE + '$1.0.0')
        url = 'rtmp://127.0.0.1/live/房间é'
        line = 'start videoDevice="Cam ä" audioDevice="%s" streamUrl="%s" pushLevel="0"' % (FOREIGN_MICROPHONE, url)
        client.send(frame(TEXT, line.replace('start ', 'start \x00')))
        client.send(frame(TEXT, line))
        self.assertEqual(client.recv_text(timeout=20), 'start ok', 'the line with U+0000 got no reply')
        self.assertIn('audio="%s"' % FOREIGN_MICROPHONE, self.daemon.starts(ENCODER)[-1])
        self.assertIn(url, self.daemon.starts(ENCODER)[-1])
        with self.subTest('19723 keeps code page 936'):
            old = WsClient(COMMAND_PORT)
            self.addCleanup(old.close)
            greeting = old.read_until(b'\x00', 30)
            self.assertRegex(greeting, b'^[^$]+ Ger[^$]+\\$1\\.0\\.0\\x00$')
            self.assertNotIn(FOREIGN_MICROPHONE.encode(), greeting)
        client.send(frame(TEXT, 'stop'))
        self.assertEqual(client.recv_text(), 'stop ok')

    def test_every_answer_carries_the_isolation_headers(self):
        def upgrade(client):
            return client.handshake(handshake_request())

        cases = [
            ('page', lambda c: c.get('/', '127.0.0.1:19724')),
            ('script', lambda c: c.get('/app.js', '127.0.0.1:19724')),
            ('missing', lambda c: c.get('/missing', '127.0.0.1:19724')),
            ('refused host', lambda c: c.get('/', 'evil.example:19724')),
            ('upgrade', upgrade),
        ]
        for what, ask in cases:
            with self.subTest(what):
                client = WsClient(WEB_PORT)
                self.addCleanup(client.close)
                headers = ask(client).headers
                for name, value in ISOLATION_HEADERS:
                    self.assertEqual(headers.get(name), value, name)

    def test_ports_listen_on_loopback_alone(self):
        for port in (POLICY_PORT, COMMAND_PORT, WEB_PORT):
            with self.subTest(port=port):
                self.assertEqual(listening_addresses(port), ['127.0.0.1'])


if __name__ == '__main__':
    unittest.main(verbosity=2)
