"""Command sessions of both transports against the real daemon under Wine
with the stand-in encoder: a reloaded page's session ends without a byte on
anyone else's connection, and a line the daemon rejects never changes where
the owner's stream goes."""
import socket
import time
import unittest

from qv_daemon import COMMAND_PORT, ENCODER, WEB_PORT, DaemonTestCase, live_script, wait_until
from ws_wire import TEXT, WsClient, frame, handshake_request

OWNER_URL = 'rtmp://127.0.0.1/live/room'
START = ('start videoDevice="USB 摄像头" audioDevice="麦克风 (USB)" streamUrl="%s" pushLevel="2"' % OWNER_URL)
# What the command port may send a silent client: its greeting and the level
# words (code page 936), each ended by a NUL.
GREETING = b'null$1.0.0'
LEVEL_WORDS = {w.encode('gbk') for w in ('超清', '高清', '标清', '极速')} | {b'720P', b'1080P'}


class RawCommandClient:
    """A Flash-era client of port 19723: waits for its greeting, then stays."""

    def __init__(self):
        self.sock = socket.create_connection(('127.0.0.1', COMMAND_PORT), timeout=15)
        self.received = b''

    def read_for(self, seconds):
        deadline = time.monotonic() + seconds
        while time.monotonic() < deadline:
            self.sock.settimeout(max(0.01, deadline - time.monotonic()))
            try:
                chunk = self.sock.recv(65536)
            except socket.timeout:
                break
            if not chunk:
                raise ConnectionError('the command port ended the connection')
            self.received += chunk
        return self.received

    def send_line(self, line):
        self.sock.sendall(line.encode('gbk') + b'\r\n\0')

    def close(self):
        self.sock.close()


class SessionTest(DaemonTestCase):
    def ws_session(self):
        client = WsClient(WEB_PORT)
        self.assertEqual(client.handshake(handshake_request()).status, 101)
        self.assertEqual(client.recv_text(), 'null$1.0.0')
        return client

    def command_client(self):
        client = RawCommandClient()
        self.addCleanup(client.close)
        wait_until(lambda: GREETING + b'\0' in client.read_for(0.5), 15)
        self.assertTrue(client.received.startswith(GREETING + b'\0'), client.received)
        return client

    def test_reloaded_page_leaves_nothing_on_other_connections(self):
        self.daemon.settle()
        self.daemon.script(ENCODER, live_script(600))
        watcher = self.command_client()
        clients = []
        self.addCleanup(lambda: [c.close() for c in clients])
        for reload in range(20):
            page = WsClient(WEB_PORT)
            reply = page.get('/', '127.0.0.1:%d' % WEB_PORT)
            self.assertEqual(reply.status, 200, 'reload %d: the page got %r' % (reload, reply.status))
            page.close()
            session = self.ws_session()
            # Each page owns the publish it starts; its end stops it, which
            # wakes its status feed at the moment its socket goes.
            session.send(frame(TEXT, START))
            self.assertEqual(session.recv_text(timeout=20), 'start ok')
            session.recv_status('publish', ['live'], timeout=20)
            session.close()
            # Connected while the page's session ends: the likeliest to be
            # given the handle that session's socket had.
            fresh = RawCommandClient()
            clients.append(fresh)
            fresh.read_for(1.5)
        watcher.read_for(4)
        for client in [watcher] + clients:
            messages = client.received.split(b'\0')
            self.assertEqual(messages[0], GREETING, 'not greeted first: %r' % client.received[:80])
            self.assertEqual(messages[-1], b'', 'a message without its NUL: %r' % client.received[-80:])
            strays = [m for m in messages[1:-1] if m not in LEVEL_WORDS]
            self.assertEqual(strays, [], 'a command client received bytes of other sessions')
        self.daemon.script(ENCODER, None)

    def test_rejected_start_of_another_session_does_not_redirect_the_restart(self):
        self.daemon.settle()
        self.daemon.script(ENCODER, live_script(600))
        owner = self.ws_session()
        self.addCleanup(owner.close)
        owner.send(frame(TEXT, START))
        self.assertEqual(owner.recv_text(timeout=20), 'start ok')
        owner.recv_status('publish', ['live'], timeout=20)
        starts = len(self.daemon.starts(ENCODER))
        # Allowed, but names no devices: rejected, so nothing of it may act.
        for other in (self.ws_session(), None):
            line = 'start streamUrl="rtmp://127.0.0.1/elsewhere/x" pushLevel="0"'
            if other is None:
                other = self.command_client()
                other.send_line(line)
                other.read_for(1)
            else:
                self.addCleanup(other.close)
                other.send(frame(TEXT, line))
        time.sleep(1)
        self.daemon.kill(ENCODER)
        self.assertTrue(wait_until(lambda: len(self.daemon.starts(ENCODER)) > starts, 30), 'no restart')
        restarted = self.daemon.starts(ENCODER)[starts]
        self.assertIn(OWNER_URL, restarted)
        self.assertNotIn('elsewhere', restarted)
        owner.send(frame(TEXT, 'stop'))
        self.daemon.script(ENCODER, None)


if __name__ == '__main__':
    unittest.main(verbosity=2)
