"""The web endpoint on 127.0.0.1:19724 and the mended command ports, driven
with raw sockets from the Linux side against the real daemon under Wine."""
import socket
import struct
import threading
import time
import unittest

from qv_daemon import (BRIDGE, COMMAND_PORT, ENCODER, POLICY_PORT, WEB_PORT, DaemonTestCase, listening_addresses,
                       wait_until)
from ws_wire import (BINARY, CLOSE, CONTINUATION, PING, PONG, RFC_SAMPLE_ACCEPT, RFC_SAMPLE_KEY, TEXT, WsClient,
                     accept_for, frame, handshake_request)

GREETING = 'null$1.0.0'
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
        self.assertTrue(self.daemon.running(ENCODER))
        started = time.monotonic()
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

        threads = [threading.Thread(target=connect) for _ in range(40)]
        for t in threads:
            t.start()
        for t in threads:
            t.join()
        for client in clients:
            client.close()
        self.assertEqual(results, [GREETING] * 40)

    def test_command_port_closes_on_http_request_lines(self):
        self.daemon.settle()
        keeper = self.session()
        keeper.send(frame(TEXT, START))
        self.assertEqual(keeper.recv_text(timeout=20), 'start ok')
        encoder_starts = len(self.daemon.starts(ENCODER))
        cases = [
            ('image', [b'GET /stop HTTP/1.1\r\nHost: 127.0.0.1:19723\r\nAccept: image/*\r\n\r\n']),
            ('fetch in two segments', [b'POST /st', b'op HTTP/1.1\r\nHost: 127.0.0.1:19723\r\n\r\nstop\r\n\x00']),
            ('bare request line', [b'HEAD / HTTP/1.0\r\n']),
        ]
        for what, segments in cases:
            with self.subTest(what):
                client = WsClient(COMMAND_PORT)
                self.addCleanup(client.close)
                self.assertEqual(client.read_until(b'\x00'), b'null$1.0.0\x00')
                for segment in segments:
                    client.send(segment)
                    time.sleep(0.3)
                self.assertTrue(client.ended(timeout=5), 'closed at once')
                time.sleep(1)
                self.assertTrue(self.daemon.running(ENCODER), 'the publish goes on')
        self.assertEqual(len(self.daemon.starts(ENCODER)), encoder_starts)
        with self.subTest('a Flash-era client still works'):
            client = WsClient(COMMAND_PORT)
            self.addCleanup(client.close)
            self.assertEqual(client.read_until(b'\x00'), b'null$1.0.0\x00')
            client.send(b'stop\r\n\x00')
            self.assertEqual(client.read_until(b'\x00'), b'stop ok\r\n\x00')
            self.assertTrue(wait_until(lambda: not self.daemon.running(ENCODER), 10))

    def test_ports_listen_on_loopback_alone(self):
        for port in (POLICY_PORT, COMMAND_PORT, WEB_PORT):
            with self.subTest(port=port):
                self.assertEqual(listening_addresses(port), ['127.0.0.1'])


if __name__ == '__main__':
    unittest.main(verbosity=2)
