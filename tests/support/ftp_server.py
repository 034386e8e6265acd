"""A small FTP server for the tests, run by /usr/bin/python3 (Debian's python3-pyftpdlib).

It listens on 127.0.0.1, prints "PORT <n>" on standard output once it accepts connections,
and appends one line per event to the log file: "CONNECTED" when a client connects,
"LOGIN <user>" after a successful login, "FAILED <user> <seconds>" after a refused one
(the time on a monotonic clock) and
"STORED <path>" when a store ends (the server cannot tell an aborted upload from a
complete one) and "DATA <command>" for each command that sets up a data connection (EPSV or
PASV when the client asks for a passive one, EPRT or PORT for an active one). With
--digests it also logs "RECEIVED <sha256> <path>" for each stored file and
"INCOMPLETE <path>" for a store whose connection broke off. --idle-timeout closes a control
connection that has been idle for that many seconds, as servers do. With --silent it
accepts connections and never answers, like a server that has hung.
"""

import argparse
import hashlib
import socket
import sys
import time


def log_line(path, text):
    with open(path, "a", encoding="utf-8", errors="surrogateescape") as log:
        log.write(text + "\n")


def serve_silent(port, log):
    listener = socket.socket(socket.AF_INET, socket.SOCK_STREAM)
    listener.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEADDR, 1)
    listener.bind(("127.0.0.1", port))
    listener.listen(16)
    print("PORT %d" % listener.getsockname()[1], flush=True)
    held = []
    while True:
        connection, _ = listener.accept()
        held.append(connection)
        log_line(log, "CONNECTED")


def serve_ftp(args):
    from pyftpdlib.authorizers import DummyAuthorizer
    from pyftpdlib.handlers import FTPHandler, ThrottledDTPHandler
    from pyftpdlib.servers import FTPServer

    authorizer = DummyAuthorizer()
    authorizer.add_user(args.user, args.password, args.home, perm="elradfmwMT")

    class Handler(FTPHandler):
        def on_connect(self):
            log_line(args.log, "CONNECTED")

        def on_login(self, username):
            log_line(args.log, "LOGIN " + username)

        def on_login_failed(self, username, password):
            log_line(args.log, "FAILED %s %.6f" % (username, time.monotonic()))

        def pre_process_command(self, line, cmd, arg):
            if cmd in ("EPSV", "PASV", "EPRT", "PORT"):
                log_line(args.log, "DATA " + cmd)
            super().pre_process_command(line, cmd, arg)

        def on_file_received(self, file):
            log_line(args.log, "STORED " + file)
            if args.digests:
                with open(file, "rb") as stored:
                    digest = hashlib.sha256(stored.read()).hexdigest()
                log_line(args.log, "RECEIVED %s %s" % (digest, file))

        def on_incomplete_file_received(self, file):
            if args.digests:
                log_line(args.log, "INCOMPLETE " + file)

    Handler.authorizer = authorizer
    # Answer a wrong password at once instead of after pyftpdlib's 3 s penalty.
    Handler.auth_failed_timeout = 0
    Handler.permit_foreign_addresses = False
    if args.idle_timeout > 0:
        Handler.timeout = args.idle_timeout
    if args.throttle > 0:
        class Throttled(ThrottledDTPHandler):
            read_limit = args.throttle
        Handler.dtp_handler = Throttled

    server = FTPServer(("127.0.0.1", args.port), Handler)
    print("PORT %d" % server.address[1], flush=True)
    server.serve_forever(timeout=0.05)


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--port", type=int, default=0)
    parser.add_argument("--home", required=True)
    parser.add_argument("--user", required=True)
    parser.add_argument("--password", required=True)
    parser.add_argument("--log", required=True)
    parser.add_argument("--throttle", type=int, default=0, help="upload bytes per second")
    parser.add_argument("--idle-timeout", type=float, default=0, help="seconds; 0 keeps the default")
    parser.add_argument("--silent", action="store_true")
    parser.add_argument("--digests", action="store_true", help="log a digest of each stored file")
    args = parser.parse_args()

    import logging
    logging.basicConfig(level=logging.ERROR)
    # A restart on the same port may briefly find it still held by the old process.
    for _ in range(100):
        try:
            if args.silent:
                serve_silent(args.port, args.log)
            else:
                serve_ftp(args)
            return 0
        except OSError as error:
            if args.port == 0:
                raise
            last = error
            time.sleep(0.05)
    print("ERROR %s" % last, flush=True)
    return 1


if __name__ == "__main__":
    sys.exit(main())
