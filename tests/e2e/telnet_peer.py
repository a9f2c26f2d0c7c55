"""A small RFC 2217 server on loopback for the network tests: it parses
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


class TelnetPeer(threading.Thread):
    def __init__(self, baud=None, storm=False):
        super().__init__(daemon=True)
        self.server = socket.create_server(("127.0.0.1", 0))
        self.port = self.server.getsockname()[1]
        self.baud = baud          # the speed it sets, whatever it is asked
        self.storm = storm
        self.conn = None
        self.data = bytearray()   # the data bytes parsed from the client
        self.wire = 0             # bytes read off the socket
        self.commands = []        # (command, value bytes) of each COM-PORT-OPTION request
        self.broken = []          # what did not parse as Telnet
        self.negotiations = 0
        self.paused = threading.Event()
        self.stopped = False
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

    def run(self):
        self.server.settimeout(30)
        try:
            self.conn, _ = self.server.accept()
        except OSError:
            return
        self.conn.settimeout(0.05)
        while not self.stopped:
            if self.paused.is_set():
                time.sleep(0.01)  # not reading, as a stuck device server
                continue
            try:
                got = self.conn.recv(65536)
            except socket.timeout:
                continue
            except OSError:
                return
            if not got:
                return
            with self.lock:
                self.wire += len(got)
                for b in got:
                    self._byte(b)

    def send(self, data):
        self.conn.sendall(data)

    def stop(self):
        self.stopped = True
        for s in (self.conn, self.server):
            if s is not None:
                s.close()
