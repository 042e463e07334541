#!/usr/bin/env python3
"""CDDB servers on 127.0.0.1 for the tests, one port per behaviour (see MODES and Handler).

Run alone it prints "name port" lines and "ready 0", and serves while its parent lives.
"""
import socketserver
import time

import localservers

LONG = "Symphony No. 9 in D minor, Op. 125 " * 6  # 210 characters
DELAY = {"slow": 0.3, "late": 2.0, "silent": 3600}  # seconds before each reply


def entry(lines, offsets=(150, 15150, 30150), seconds=602):
    return (["# xmcd", "#", "# Track frame offsets:"] + ["#\t%d" % o for o in offsets] +
            ["#", "# Disc length: %d seconds" % seconds, "#"] + lines + ["PLAYORDER=", "."])


DATABASE = {
    ("rock", "0c025803"): entry([
        "DTITLE=AC/DC / ../../Live: at Donington?", "DYEAR=1992", "TTITLE0=T.N.T.",
        "TTITLE1=Caf\u00e9 del Mar \u2013 Sunset", "TTITLE2=" + LONG, "TTITLE2=" + LONG,
        "EXTD= YEAR: 1992 ID3G: 17", "EXTT0=Recorded ", "EXTT0=live", "TTITLE256=ignored"]),
    ("misc", "0c025899"): entry(["DTITLE=Various / Near", "TTITLE2=Third", "EXTD=YEAR"]),
    ("long", "0c025803"): entry(["DTITLE=" + "A" * 300, "TTITLE0=" + "B" * 300,
                                 "TTITLE1=After Long"]),
    # The five-track test disc of the emulated drive.
    ("rock", "0f001c05"): entry(["DTITLE=Test Artist / Test Album", "TTITLE0=First",
                                 "TTITLE1=Who? Me", "TTITLE2=Third", "TTITLE3=Fourth",
                                 "TTITLE4=Fifth"], (150, 160, 200, 1213, 1514), 30),
}


class Handler(socketserver.BaseRequestHandler):
    mode = "good"

    def send(self, *lines):
        time.sleep(DELAY.get(self.mode, 0))
        data = ["".join(line + "\r\n" for line in lines).encode()]
        if self.mode == "split":  # every line in two packets, cut mid-line
            data = [part for line in lines for raw in [(line + "\r\n").encode()]
                    for part in (raw[:len(raw) // 2], raw[len(raw) // 2:])]
        for part in data:
            self.request.sendall(part)
            if self.mode == "split":
                time.sleep(0.02)

    def handle(self):
        self.send("201 test CDDB server ready")
        for line in self.request.makefile("rb"):
            words = line.decode().split()
            if words[:2] == ["cddb", "hello"]:
                self.send("200 Hello and welcome " + " ".join(words[2:]))
            elif words[:2] == ["cddb", "query"]:
                self.query(words[2])
            elif words[:2] == ["cddb", "read"] and len(words) == 4:
                self.read(words[2], words[3])
            elif words[:2] == ["cddb", "quit"]:
                return self.send("230 Goodbye")
            else:
                self.send("500 Command syntax error")

    def query(self, disc_id):
        if self.mode == "nomatch" or ("rock", disc_id) not in DATABASE:
            self.send("202 No match for disc ID %s." % disc_id)
        elif self.mode == "inexact":
            self.send("211 Found inexact matches, list follows (until terminating `.')",
                      "misc 0c025899 Various / Near", "rock %s AC/DC / Live" % disc_id,
                      "jazz 0b000002 Someone / Else", ".")
        else:
            category = "long" if self.mode == "long" else "rock"
            self.send("200 %s %s AC/DC / Live" % (category, disc_id))

    def read(self, category, disc_id):
        body = DATABASE.get((category, disc_id))
        if body is None:
            return self.send("401 %s %s No such CD entry in database." % (category, disc_id))
        head = "210 %s %s CD database entry follows (until terminating `.')" % (category, disc_id)
        if self.mode == "midentry":  # closes inside the entry
            self.send(head, *body[:len(body) // 2])
            raise ConnectionError
        forever = {"endless": (b"# a comment that goes on and on\r\n" * 64, 0),  # no "." line
                   "flood": (b"x" * 65536, 0),  # a line that never ends, bytes always waiting
                   "drip": (b"TTITLE0=drip\r\n", 0.3)}.get(self.mode)  # a line now and then
        self.send(head, *([] if forever else body))
        while forever:
            self.request.sendall(forever[0])
            time.sleep(forever[1])


MODES = ["good", "nomatch", "inexact", "split", "long", "midentry", "silent", "slow", "late",
         "endless", "flood", "drip"]


class Server(socketserver.ThreadingTCPServer):
    daemon_threads = True

    def handle_error(self, request, client_address):
        pass  # clients hang up mid-reply, and so do some behaviours, on purpose


def start():
    """Starts every behaviour; returns {name: port}; "refuse" is a port where nothing listens."""
    return localservers.start_modes(MODES, Server, lambda mode: Handler)


if __name__ == "__main__":
    localservers.serve_while_parent_lives(start())
