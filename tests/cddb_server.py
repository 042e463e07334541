#!/usr/bin/env python3
"""CDDB servers on 127.0.0.1 for the tests, one port per behaviour.

Run alone it prints "name port" for every behaviour, then "ready", and serves until its standard
input closes. Behaviours: good, nomatch (202), inexact (211 with several matches), split (every
line in two packets), long (300-character lines), midentry (closes inside the entry), silent
(never answers), slow (answers after SLOW_S), late (answers after LATE_S), endless (an entry
without end), dribble (a line that never ends), drip (a line every DRIP_S for ever) and refuse
(nothing listens).
"""
import socket
import socketserver
import sys
import threading
import time

SLOW_S, LATE_S, DRIP_S = 0.3, 2.0, 0.3
LONG_TITLE = "Symphony No. 9 in D minor, Op. 125 " * 6  # 210 characters


def entry(disc_id, lines):
    head = ["# xmcd", "#", "# Track frame offsets:", "#\t150", "#\t15150", "#\t30150", "#",
            "# Disc length: 602 seconds", "#", "DISCID=" + disc_id]
    return head + lines + ["PLAYORDER=", "."]


DATABASE = {
    ("rock", "0c025803"): entry("0c025803", [
        "DTITLE=AC/DC / ../../Live: at Donington?",
        "DYEAR=1992",
        "TTITLE0=T.N.T.",
        "TTITLE1=Caf\u00e9 del Mar \u2013 Sunset",
        "TTITLE2=" + LONG_TITLE,
        "TTITLE2=" + LONG_TITLE,
        "EXTD= YEAR: 1992 ID3G: 17",
        "EXTT0=Recorded ", "EXTT0=live", "EXTT1=", "EXTT2=",
        "TTITLE256=ignored"]),
    ("misc", "0c025899"): entry("0c025899", [
        "DTITLE=Various / Near Match", "TTITLE0=First", "TTITLE1=Second", "TTITLE2=Third",
        "EXTD=YEAR"]),
    ("long", "0c025803"): entry("0c025803", [
        "DTITLE=" + "A" * 300, "TTITLE0=" + "B" * 300, "TTITLE1=After Long", "TTITLE2=/etc/passwd"]),
}


class Handler(socketserver.BaseRequestHandler):
    mode = "good"

    def send(self, *lines):
        data = "".join(line + "\r\n" for line in lines).encode("utf-8")
        if self.mode == "slow":
            time.sleep(SLOW_S)
        if self.mode == "late":
            time.sleep(LATE_S)
        if self.mode == "split":
            for line in lines:
                raw = (line + "\r\n").encode("utf-8")
                self.request.sendall(raw[:len(raw) // 2])
                time.sleep(0.05)
                self.request.sendall(raw[len(raw) // 2:])
            return
        self.request.sendall(data)

    def lines(self):
        buf = b""
        while True:
            chunk = self.request.recv(4096)
            if not chunk:
                return
            buf += chunk
            while b"\n" in buf:
                line, buf = buf.split(b"\n", 1)
                yield line.decode("utf-8", "replace").rstrip("\r")

    def handle(self):
        if self.mode == "silent":
            while self.request.recv(4096):
                pass
            return
        self.send("201 test CDDB server ready")
        for line in self.lines():
            words = line.split()
            if line.startswith("cddb hello "):
                self.send("200 Hello and welcome " + " ".join(words[2:]))
            elif line.startswith("cddb query "):
                self.query(words[2])
            elif line.startswith("cddb read ") and len(words) == 4:
                if not self.read(words[2], words[3]):
                    return
            elif line == "cddb quit":
                self.send("230 Goodbye")
                return
            else:
                self.send("500 Command syntax error")

    def query(self, disc_id):
        if self.mode == "nomatch" or ("rock", disc_id) not in DATABASE:
            self.send("202 No match for disc ID %s." % disc_id)
        elif self.mode == "inexact":
            self.send("211 Found inexact matches, list follows (until terminating `.')",
                      "misc 0c025899 Various / Near Match", "rock %s AC/DC / Live" % disc_id,
                      "jazz 0b000002 Someone / Else", ".")
        else:
            self.send("200 %s %s AC/DC / Live" % ("long" if self.mode == "long" else "rock",
                                                   disc_id))

    def read(self, category, disc_id):
        body = DATABASE.get((category, disc_id))
        if body is None:
            self.send("401 %s %s No such CD entry in database." % (category, disc_id))
            return True
        head = "210 %s %s CD database entry follows (until terminating `.')" % (category, disc_id)
        if self.mode == "midentry":
            self.send(head, *body[:len(body) // 2])
            return False
        if self.mode in ("endless", "dribble", "drip"):
            self.send(head)
            try:
                while True:
                    if self.mode == "endless":
                        self.request.sendall(b"# comment line that goes on and on\r\n" * 64)
                    elif self.mode == "dribble":
                        self.request.sendall(b"x")
                        time.sleep(0.05)
                    else:
                        self.request.sendall(b"TTITLE0=drip\r\n")
                        time.sleep(DRIP_S)
            except OSError:
                return False
        self.send(head, *body)
        return True


MODES = ["good", "nomatch", "inexact", "split", "long", "midentry", "silent", "slow", "late",
         "endless", "dribble", "drip"]


class Server(socketserver.ThreadingTCPServer):
    daemon_threads = True
    allow_reuse_address = True

    def handle_error(self, request, client_address):
        pass  # clients hang up mid-reply on purpose


def start():
    """Starts every behaviour; returns {name: port}."""
    ports = {}
    for mode in MODES:
        srv = Server(("127.0.0.1", 0), type(mode, (Handler,), {"mode": mode}))
        threading.Thread(target=srv.serve_forever, daemon=True).start()
        ports[mode] = srv.server_address[1]
    with socket.socket() as s:
        s.bind(("127.0.0.1", 0))
        ports["refuse"] = s.getsockname()[1]
    return ports


if __name__ == "__main__":
    for name, port in start().items():
        print(name, port)
    print("ready", flush=True)
    sys.stdin.read()
