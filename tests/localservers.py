"""Local test servers: one per behaviour on its own port, told to the test on standard output."""
import os
import socket
import threading
import time


def start_modes(modes, server_class, handler_for):
    """Starts a server of server_class per mode with handler_for(mode) as its handler class
    (its `mode` attribute set); returns {mode: port}, and "refuse": a port where nothing
    listens."""
    ports = {}
    for mode in modes:
        srv = server_class(("127.0.0.1", 0), type(mode, (handler_for(mode),), {"mode": mode}))
        threading.Thread(target=srv.serve_forever, daemon=True).start()
        ports[mode] = srv.server_address[1]
    with socket.socket() as s:
        s.bind(("127.0.0.1", 0))
        ports["refuse"] = s.getsockname()[1]
    return ports


def serve_while_parent_lives(ports):
    """Prints "name port" lines and "ready 0", then serves until the test that started it ends."""
    parent = os.getppid()
    print("".join("%s %d\n" % item for item in ports.items()) + "ready 0", flush=True)
    while os.getppid() == parent:
        time.sleep(0.2)
