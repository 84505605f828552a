"""A small WebSocket client over a raw socket (RFC 6455), for tests that
must also send what no library would send: unmasked frames, reserved bits,
bad UTF-8, oversize lengths. Also drives Chromium's DevTools endpoint."""
import base64
import json
import os
import socket
import struct
import time

RFC_SAMPLE_KEY = 'dGhlIHNhbXBsZSBub25jZQ=='
RFC_SAMPLE_ACCEPT = 's3pPLMBiTxaQ9kYGzzhZRbK+xOo='

TEXT, BINARY, CLOSE, PING, PONG, CONTINUATION = 0x1, 0x2, 0x8, 0x9, 0xA, 0x0


def frame(opcode, payload=b'', fin=True, mask=True, rsv=0, length=None):
    """Bytes of one client frame; `length` overrides the announced length."""
    if isinstance(payload, str):
        payload = payload.encode('utf-8')
    n = len(payload) if length is None else length
    head = bytes([(0x80 if fin else 0) | (rsv << 4) | opcode])
    bit = 0x80 if mask else 0
    if n < 126:
        head += bytes([bit | n])
    elif n <= 0xFFFF:
        head += bytes([bit | 126]) + struct.pack('>H', n)
    else:
        head += bytes([bit | 127]) + struct.pack('>Q', n)
    if not mask:
        return head + payload
    key = os.urandom(4)
    return head + key + bytes(b ^ key[i % 4] for i, b in enumerate(payload))


class HttpReply:
    def __init__(self, raw):
        head, _, self.body = raw.partition(b'\r\n\r\n')
        lines = head.decode('latin-1').split('\r\n')
        parts = lines[0].split(' ', 2)
        self.status = int(parts[1]) if len(parts) > 1 and parts[1].isdigit() else 0
        self.headers = {}
        for line in lines[1:]:
            name, _, value = line.partition(':')
            self.headers[name.strip().lower()] = value.strip()


def handshake_request(host='127.0.0.1:19724', path='/ws', origin=None, version='13', key=RFC_SAMPLE_KEY,
                      method='GET', upgrade=True, extra=''):
    lines = ['%s %s HTTP/1.1' % (method, path)]
    if host is not None:
        lines.append('Host: ' + host)
    if upgrade:
        lines += ['Upgrade: websocket', 'Connection: Upgrade']
    if key is not None:
        lines.append('Sec-WebSocket-Key: ' + key)
    if version is not None:
        lines.append('Sec-WebSocket-Version: ' + version)
    if origin is not None:
        lines.append('Origin: ' + origin)
    return ('\r\n'.join(lines) + '\r\n' + extra + '\r\n').encode('latin-1')


class WsClient:
    def __init__(self, port, host='127.0.0.1', timeout=15):
        self.sock = socket.create_connection((host, port), timeout=timeout)
        self.buffer = b''

    def send(self, data):
        self.sock.sendall(data)

    def _fill(self, deadline):
        self.sock.settimeout(max(0.01, deadline - time.monotonic()))
        try:
            chunk = self.sock.recv(65536)
        except socket.timeout:
            raise TimeoutError('nothing arrived in time')
        if not chunk:
            raise ConnectionError('connection ended')
        self.buffer += chunk

    def read_until(self, marker, timeout=15):
        deadline = time.monotonic() + timeout
        while marker not in self.buffer:
            self._fill(deadline)
        head, _, self.buffer = self.buffer.partition(marker)
        return head + marker

    def _take(self, n, deadline):
        while len(self.buffer) < n:
            self._fill(deadline)
        data, self.buffer = self.buffer[:n], self.buffer[n:]
        return data

    def handshake(self, request=None):
        self.send(request or handshake_request())
        return HttpReply(self.read_until(b'\r\n\r\n'))

    def get(self, path, host, timeout=15):
        """A GET request and its answer, body included."""
        self.send(('GET %s HTTP/1.1\r\nHost: %s\r\n\r\n' % (path, host)).encode())
        reply = HttpReply(self.read_until(b'\r\n\r\n', timeout))
        reply.body = self._take(int(reply.headers.get('content-length', '0')), time.monotonic() + timeout)
        return reply

    def recv_frame(self, timeout=15):
        """(fin, opcode, payload) of the next frame; server frames are unmasked."""
        deadline = time.monotonic() + timeout
        b0, b1 = self._take(2, deadline)
        n = b1 & 0x7F
        if n == 126:
            n = struct.unpack('>H', self._take(2, deadline))[0]
        elif n == 127:
            n = struct.unpack('>Q', self._take(8, deadline))[0]
        key = self._take(4, deadline) if b1 & 0x80 else None
        payload = self._take(n, deadline)
        if key:
            payload = bytes(b ^ key[i % 4] for i, b in enumerate(payload))
        return bool(b0 & 0x80), b0 & 0x0F, payload

    def recv_text(self, timeout=15, keep_json=False):
        """The next text message, skipping pongs and, unless keep_json, JSON
        objects (the daemon's status, beginning with "{"); ConnectionError
        on a close frame."""
        while True:
            _, opcode, payload = self.recv_frame(timeout)
            if opcode == TEXT:
                text = payload.decode('utf-8')
                if keep_json or not text.startswith('{'):
                    return text
            if opcode == CLOSE:
                raise ConnectionError('closed with %r' % payload)

    def recv_status(self, kind, states, timeout=15):
        """The next status object of this type ("publish" or "camera") whose
        state is one of `states`; AssertionError when none came in time."""
        deadline = time.monotonic() + timeout
        seen = []
        while time.monotonic() < deadline:
            try:
                text = self.recv_text(max(0.1, deadline - time.monotonic()), keep_json=True)
            except (TimeoutError, socket.timeout):
                break
            if not text.startswith('{'):
                continue
            status = json.loads(text)
            seen.append(status)
            if status.get('type') == kind and status.get('state') in states:
                return status
        raise AssertionError('no %s status in %s within %s s; seen: %r' % (kind, states, timeout, seen[-5:]))

    def close_code(self, timeout=15):
        """The code of the server's close frame (skipping text), or None if none came."""
        try:
            while True:
                _, opcode, payload = self.recv_frame(timeout)
                if opcode == CLOSE:
                    return struct.unpack('>H', payload[:2])[0] if len(payload) >= 2 else 1005
        except OSError:
            return None

    def ended(self, timeout=5):
        """True when the server ends the TCP connection within timeout."""
        deadline = time.monotonic() + timeout
        try:
            while True:
                self._fill(deadline)
                self.buffer = b''
        except TimeoutError:
            return False
        except OSError:
            return True

    def close(self):
        try:
            self.sock.close()
        except OSError:
            pass


def accept_for(key):
    import hashlib
    digest = hashlib.sha1((key + '258EAFA5-E914-47DA-95CA-C5AB0DC85B11').encode()).digest()
    return base64.b64encode(digest).decode()
