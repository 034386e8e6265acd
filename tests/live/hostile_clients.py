#!/usr/bin/env python3
"""Hostile clients of a web server on 127.0.0.1:PORT, for SECONDS: three downloads of
/image.jpg that never read, COUNT connections that never send, then bad requests, each on a
connection of its own, over and over. Prints how many bad requests went out."""
import resource
import socket
import sys
import time

port, count, seconds = int(sys.argv[1]), int(sys.argv[2]), float(sys.argv[3])
hard = resource.getrlimit(resource.RLIMIT_NOFILE)[1]
resource.setrlimit(resource.RLIMIT_NOFILE, (hard, hard))


def connect(receive_buffer=0):
    client = socket.socket()
    if receive_buffer:
        client.setsockopt(socket.SOL_SOCKET, socket.SO_RCVBUF, receive_buffer)
    client.connect(("127.0.0.1", port))
    return client


end = time.monotonic() + seconds
held = []
for _ in range(3):
    held.append(connect(4096))
    held[-1].sendall(b"GET /image.jpg HTTP/1.1\r\nHost: 127.0.0.1\r\n\r\n")
held += [connect() for _ in range(count)]
BAD = [b"\x00\xff" * 512, b"GET /" + b"a" * 65536 + b" HTTP/1.1\r\n\r\n",
       b"GET / HTTP/1.1\r\n" + b"X-Many: header\r\n" * 4096 + b"\r\n",
       b"BREW /pot HTTP/1.1\r\nHost: 127.0.0.1\r\n\r\n",
       b"GET /stream HTTP/1.1\r\nAuthorization: Basic !!!\r\n\r\n",
       b"POST / HTTP/1.1\r\nContent-Length: 999999999\r\n\r\n" + b"x" * 4096,
       b"GET /../../etc/passwd HTTP/1.1\r\n\r\n", b"GET / HTTP/9.9\r\n\r\n", b"G"]
sent = 0
while time.monotonic() < end:
    for bad in BAD:
        try:
            with connect() as client:
                client.sendall(bad)
            sent += 1
        except OSError:
            pass
print(sent)
