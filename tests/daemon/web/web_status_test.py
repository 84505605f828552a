"""The publisher's status objects on WebSocket sessions, against the real
daemon under Wine with the stand-in encoder and bridge made to print what
FFmpeg and QvGraph.exe print and to end with their exit codes."""
import time
import unittest

from qv_daemon import (BRIDGE, ENCODER, NO_FFMPEG_LINE, NO_FFMPEG_SCRIPT, REFUSED_LINE, REFUSED_SCRIPT, WEB_PORT,
                       DaemonTestCase, live_script)
from ws_wire import TEXT, WsClient, frame, handshake_request

START = 'start videoDevice="USB 摄像头" audioDevice="麦克风 (USB)" streamUrl="rtmp://127.0.0.1/live/room" pushLevel="2"'
PREVIEW = 'preview videoDevice="USB 摄像头" audioDevice="麦克风 (USB)"'
DELIVERING = 'QvGraph: delivering YUY2 1280x720 30 fps\r\n'


class StatusTest(DaemonTestCase):
    def session(self):
        client = WsClient(WEB_PORT)
        self.addCleanup(client.close)
        self.assertEqual(client.handshake(handshake_request()).status, 101)
        # The greeting first, then the device list, then both objects at once.
        self.assertEqual(client.recv_text(keep_json=True), 'null$1.0.0')
        self.assertTrue(client.recv_text(keep_json=True).startswith('{"type":"devices",'))
        first = [client.recv_text(keep_json=True), client.recv_text(keep_json=True)]
        self.assertEqual(sorted(t[:17] for t in first), ['{"type":"camera",', '{"type":"publish"'])
        return client

    def command(self, client, text):
        client.send(frame(TEXT, text))

    def test_states_reach_the_session(self):
        cases = [
            # (what, encoder script, publish states expected in order, checks of the last one)
            ('live with FFmpeg\'s figures', live_script(20), ['starting', 'live'],
             {'fps': 10.0, 'kbps': 300.5, 'dropped': 2, 'level': 2}),
            ('progress that stops is stalled, without bitrate', live_script(2) + [('sleep', 30000)],
             ['starting', 'live', 'stalled'], {'kbps': 0.0, 'fps': 0.0}),
            ('a refusing server is retried with its line as reason', REFUSED_SCRIPT,
             ['starting', 'retrying'], {'reason': REFUSED_LINE.strip(), 'retryIn': 1, 'attempt': 1}),
            ('no ffmpeg.exe fails at once with QvShow\'s line', NO_FFMPEG_SCRIPT,
             ['starting', 'failed'], {'reason': NO_FFMPEG_LINE.strip(), 'code': 3}),
        ]
        for what, script, states, expected in cases:
            with self.subTest(what):
                self.daemon.settle()
                self.daemon.script(ENCODER, script)
                client = self.session()
                starts = len(self.daemon.starts(ENCODER))
                self.command(client, START)
                for state in states:
                    status = client.recv_status('publish', [state], timeout=20)
                for key, value in expected.items():
                    self.assertEqual(status.get(key), value, '%s: %r' % (key, status))
                if states[-1] == 'live':
                    # Repeated every 2 s while live, with the time live.
                    again = client.recv_status('publish', ['live'], timeout=5)
                    self.assertGreaterEqual(again['uptime'], 1, again)
                if states[-1] == 'retrying':
                    # The next loss waits longer.
                    status = client.recv_status('publish', ['retrying'], timeout=20)
                    self.assertEqual((status['attempt'], status['retryIn']), (2, 2), status)
                if states[-1] == 'failed':
                    time.sleep(3)
                    self.assertEqual(len(self.daemon.starts(ENCODER)), starts + 1, 'a set-up failure is not retried')
                self.command(client, 'stop')
                client.recv_status('publish', ['idle'], timeout=10)
                self.daemon.script(ENCODER, None)

    def test_camera_format_from_the_bridge(self):
        self.daemon.settle()
        self.daemon.script(BRIDGE, [('stdout', DELIVERING)])
        client = self.session()
        self.command(client, PREVIEW)
        status = client.recv_status('camera', ['delivering'], timeout=20)
        self.assertEqual((status['device'], status['format']), ('USB 摄像头', 'YUY2 1280x720 30 fps'))
        self.daemon.script(BRIDGE, [('stderr', 'QvGraph: no camera named "USB 摄像头"; cameras found: none\n'),
                                    ('exit', 3)])
        self.daemon.kill(BRIDGE)
        # A relaunch that finds no camera (one gone for a moment) is retried
        # with the bridge's line; it is no mistake of the client's.
        for _ in range(4):
            status = client.recv_status('camera', ['retrying', 'failed'], timeout=20)
            self.assertEqual(status['state'], 'retrying', status)
            if 'no camera named' in status.get('reason', ''):
                break
        self.assertIn('no camera named', status['reason'])
        # The same at the first launch after a command is final.
        self.command(client, PREVIEW)
        status = client.recv_status('camera', ['failed'], timeout=20)
        self.assertEqual(status['code'], 3, status)
        # The bridge's line may be read after its exit was seen: the daemon's
        # own words come first then, and the line follows as the reason.
        if status['reason'] == 'no camera of that name':
            status = client.recv_status('camera', ['failed'], timeout=5)
        self.assertIn('no camera named', status['reason'])
        self.command(client, 'stop')
        self.daemon.script(BRIDGE, None)


if __name__ == '__main__':
    unittest.main(verbosity=2)
