"""The peers of the network tests on loopback. Peer: one TCP connection,
accepted (a device behind socket://) or made (a client of listen://),
keeping what it receives. TelnetPeer: a small RFC 2217 server that parses
what the client sends as Telnet (data apart from commands, IAC IAC as one
0xFF) and answers as told: agree to every option once, set a fixed speed
whatever it is asked, stop reading for a while, or answer every agreement
with a refusal and take it back at once (a negotiation storm)."""
import socket
import struct
import threading
import time

IAC, SB, SE, WILL, WONT, DO, DONT = 255, 250, 240, 251, 252, 253, 254
COM_PORT = 44


class Peer(threading.Thread):
    """One TCP connection, made by accepting (a device behind socket://) or
    by connecting (a client of listen://); keeps what it receives."""

    def __init__(self, port=None, connect_to=None):
        super().__init__(daemon=True)
        self.got = b""
        self.conn = None
        self.server = None
        self.connect_to = connect_to
        if connect_to is None:
            self.server = socket.create_server(("127.0.0.1", port or 0))
            self.port = self.server.getsockname()[1]
        self.stopped = False
        self.paused = threading.Event()  # set: it stops reading, as a stuck peer

    def run(self):
        if self.server is not None:
            self.server.settimeout(30)
            try:
                self.conn, _ = self.server.accept()
            except OSError:
                return
        else:
            deadline = time.time() + 15
            while self.conn is None and time.time() < deadline and not self.stopped:
                try:
                    self.conn = socket.create_connection(("127.0.0.1", self.connect_to), timeout=1)
                except OSError:
                    time.sleep(0.1)
        if self.conn is None:
            return
        self.conn.settimeout(0.05)
        while not self.stopped:
            if self.paused.is_set():
                time.sleep(0.01)  # not reading: nothing to wait for but the time
                continue
            try:
                data = self.conn.recv(65536)
            except socket.timeout:
                continue
            except OSError:
                return
            if not data:
                return
            self.take(data)

    def take(self, data):
        self.got += data

    def send(self, data):
        self.conn.sendall(data)

    def stop(self):
        self.stopped = True
        for s in (self.conn, self.server):
            if s is not None:
                s.close()


class TelnetPeer(Peer):
    def __init__(self, baud=None, storm=False):
        super().__init__()
        self.baud = baud          # the speed it sets, whatever it is asked
        self.storm = storm
        self.data = bytearray()   # the data bytes parsed from the client
        self.wire = 0             # bytes read off the socket
        self.commands = []        # (command, value bytes) of each COM-PORT-OPTION request
        self.broken = []          # what did not parse as Telnet
        self.negotiations = 0
        self.lock = threading.Lock()
        self._agreed = set()
        self._state = "data"
        self._sub = bytearray()

    # The client's stream, one byte at a time.
    def _byte(self, b):
        st = self._state
        if st == "data":
            if b == IAC:
                self._state = "iac"
            else:
                self.data.append(b)
        elif st == "iac":
            self._state = "data"
            if b == IAC:
                self.data.append(b)
            elif b in (WILL, WONT, DO, DONT):
                self._state = b
            elif b == SB:
                self._sub = bytearray()
                self._state = "sb"
            else:
                self.broken.append(("command", b))
        elif st in (WILL, WONT, DO, DONT):
            self._state = "data"
            self._negotiate(st, b)
        elif st == "sb":
            if b == IAC:
                self._state = "sbiac"
            else:
                self._sub.append(b)
        elif st == "sbiac":
            if b == IAC:
                self._sub.append(b)
                self._state = "sb"
            elif b == SE:
                self._state = "data"
                self._subnegotiation(bytes(self._sub))
            else:
                self.broken.append(("unterminated", bytes(self._sub)))
                self._state = "data"

    def _send(self, data):
        try:
            self.conn.sendall(data)
        except OSError:
            pass

    def _negotiate(self, verb, option):
        self.negotiations += 1
        if self.storm and option == COM_PORT:
            # Every yes refused and offered again at once, every no asked again.
            if verb == WILL:
                self._send(bytes([IAC, DONT, option, IAC, DO, option]))
            elif verb == WONT:
                self._send(bytes([IAC, DO, option]))
            return
        answer = {WILL: DO, DO: WILL}.get(verb)
        if answer and (verb, option) not in self._agreed:
            self._agreed.add((verb, option))
            self._send(bytes([IAC, answer, option]))

    def _subnegotiation(self, sub):
        if len(sub) < 2 or sub[0] != COM_PORT:
            self.broken.append(("sub", sub))
            return
        command, value = sub[1], sub[2:]
        self.commands.append((command, value))
        if command == 1 and self.baud is not None:
            value = struct.pack(">I", self.baud)
        body = bytes([COM_PORT, 100 + command]) + value.replace(b"\xff", b"\xff\xff")
        self._send(bytes([IAC, SB]) + body + bytes([IAC, SE]))

    def take(self, data):
        with self.lock:
            self.wire += len(data)
            for b in data:
                self._byte(b)
