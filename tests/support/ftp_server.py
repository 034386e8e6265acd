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
accepts connections and never answers, like a server that has hung. --tls explicit asks
for AUTH TLS before the login and encrypted data connections (python3-openssl), --tls
implicit speaks TLS from the first byte. Its certificate is made with openssl in
--tls-dir, which also holds the certificate authority "ca.pem" that clients are to trust
(made once and kept for further servers): --certificate trusted is valid for 127.0.0.1
and localhost, other-name is signed by the same authority for another name only, and
untrusted is valid for 127.0.0.1 but signed by itself. --no-rename refuses RNFR, as some
hosting servers do.
"""

import argparse
import hashlib
import os
import socket
import subprocess
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


CERTIFICATE_NAMES = {
    "trusted": "IP:127.0.0.1,DNS:localhost",
    "other-name": "DNS:other.example",
    "untrusted": "IP:127.0.0.1,DNS:localhost",
}


def openssl(*arguments):
    subprocess.run(["openssl"] + list(arguments), check=True, stdout=subprocess.DEVNULL,
                   stderr=subprocess.DEVNULL)


def new_key(path):
    openssl("genpkey", "-algorithm", "EC", "-pkeyopt", "ec_paramgen_curve:prime256v1", "-out", path)


def server_certificate(directory, kind):
    """The PEM file (key and certificate) of a server certificate of the kind asked for."""
    os.makedirs(directory, exist_ok=True)
    ca_key, ca = os.path.join(directory, "ca.key"), os.path.join(directory, "ca.pem")
    if not os.path.exists(ca):
        new_key(ca_key)
        openssl("req", "-x509", "-new", "-key", ca_key, "-subj", "/CN=kavriWebCam test CA",
                "-days", "2", "-out", ca)
    pem = os.path.join(directory, kind + ".pem")
    if not os.path.exists(pem):
        key, request, certificate = (os.path.join(directory, kind + suffix)
                                     for suffix in (".key", ".csr", ".crt"))
        new_key(key)
        subject = "/CN=" + CERTIFICATE_NAMES[kind].split(",")[0].split(":")[1]
        extensions = os.path.join(directory, kind + ".ext")
        with open(extensions, "w") as text:
            text.write("subjectAltName=%s\n" % CERTIFICATE_NAMES[kind])
        if kind == "untrusted":
            openssl("req", "-x509", "-new", "-key", key, "-subj", subject, "-days", "2",
                    "-addext", "subjectAltName=" + CERTIFICATE_NAMES[kind], "-out", certificate)
        else:
            openssl("req", "-new", "-key", key, "-subj", subject, "-out", request)
            openssl("x509", "-req", "-in", request, "-CA", ca, "-CAkey", ca_key,
                    "-CAcreateserial", "-days", "2", "-extfile", extensions, "-out", certificate)
        with open(pem + ".tmp", "w") as joined:
            for part in (key, certificate):
                with open(part) as text:
                    joined.write(text.read())
        os.rename(pem + ".tmp", pem)
    return pem


def serve_ftp(args):
    from pyftpdlib.authorizers import DummyAuthorizer
    from pyftpdlib.handlers import FTPHandler, ThrottledDTPHandler
    from pyftpdlib.servers import FTPServer

    authorizer = DummyAuthorizer()
    authorizer.add_user(args.user, args.password, args.home,
                        perm="elradmwMT" if args.no_rename else "elradfmwMT")

    base = FTPHandler
    if args.tls:
        from pyftpdlib.handlers import TLS_DTPHandler, TLS_FTPHandler

        class TlsDataHandler(TLS_DTPHandler):
            # A client may begin the data connection's handshake as soon as it connects,
            # before the command that uses it; pyftpdlib would take that as a hang-up.
            def readable(self):
                return self._ssl_accepting or super().readable()

            # One read takes one TLS record; the records the TLS library has already taken
            # off the socket raise no further event, and a hang-up would drop them.
            def handle_read(self):
                super().handle_read()
                while (self.receive and self.connected and self._ssl_established
                       and self.socket.pending() > 0):
                    super().handle_read()

        class TlsHandler(TLS_FTPHandler):
            dtp_handler = TlsDataHandler
            certfile = server_certificate(args.tls_dir, args.certificate)
            tls_control_required = True
            tls_data_required = True

            @classmethod
            def get_ssl_context(cls):
                if cls.ssl_context is None:
                    super().get_ssl_context()
                    # Clients resume the control connection's TLS session on the data
                    # connections, which OpenSSL allows only with a session id context.
                    cls.ssl_context.set_session_id(b"kavri-test")
                return cls.ssl_context

            if args.tls == "implicit":
                def handle(self):
                    self.secure_connection(self.ssl_context)

                def handle_ssl_established(self):
                    FTPHandler.handle(self)

        base = TlsHandler

    class Handler(base):
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
    parser.add_argument("--tls", choices=["explicit", "implicit"])
    parser.add_argument("--tls-dir", help="where the certificates are made and kept")
    parser.add_argument("--certificate", default="trusted", choices=sorted(CERTIFICATE_NAMES))
    parser.add_argument("--no-rename", action="store_true", help="refuse renames")
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
