# Real servers for the tests on 127.0.0.1, each a child process of its own.
#
#     ftp_process.py DIR [key=value...]   serves DIR/home; prints "PORT <n> <pid>" when it listens
#
# Keys: port, user, password; program (0 pyftpdlib, 2 sshd, 4 a server that never answers);
# tls (0 none, 1 explicit, 2 implicit); certificate (0 trusted, 1 for another name, 2 signed by
# itself) made with the authority ca.pem in directory ca; throttle (upload bytes per second);
# rename (0 refuses); digests. It appends to DIR/log "CONNECTED", "LOGIN <user>", "FAILED
# <user> <monotonic s>", "STORED <path>", "DATA <command>" (EPSV, PASV, EPRT, PORT) and with
# digests "RECEIVED <sha256> <path>" and "INCOMPLETE <path>"; sshd logs only LOGIN. SIGTERM
# ends it with all it started, connections included.

import hashlib, logging, os, pwd, signal, socket, subprocess, sys, time

PROTOCOLS = ("ftp", "ftpes", "ftps", "sftp")
# What each kind of certificate is valid for.
CERTIFICATES = ("IP:127.0.0.1", "DNS:other.example", "IP:127.0.0.1")


class FtpServerProcess:
    # A server for Python tests and scripts: pyftpdlib for "ftp", "ftpes" and "ftps" (whose
    # authority `environment` names in SSL_CERT_FILE), sshd for "sftp" (which the user running
    # this logs in to by the key under the HOME that `environment` names).
    def __init__(self, directory, user, password, digests=False, protocol="ftp"):
        self.dir = os.path.join(directory, "server-state")
        self.home, self.log = os.path.join(self.dir, "home"), os.path.join(self.dir, "log")
        sftp, self.port, self.process = protocol == "sftp", 0, None
        self.words = ["program=%d" % (2 * sftp), "digests=%d" % digests,
                      "tls=%d" % (PROTOCOLS.index(protocol) % 3)]
        self.user, self.password = (pwd.getpwuid(os.geteuid()).pw_name, "") if sftp else (user, password)
        self.environment = ({"HOME": os.path.join(self.dir, "client")} if sftp else
                            {"SSL_CERT_FILE": os.path.join(self.dir, "ca.pem")})
        self.host = ("" if protocol == "ftp" else protocol + "://") + "127.0.0.1"

    def start(self):
        self.process = subprocess.Popen(
            ["/usr/bin/python3", __file__, self.dir, "port=%d" % self.port, "user=" + self.user,
             "password=" + self.password] + self.words, stdout=subprocess.PIPE, text=True)
        self.port = int(self.process.stdout.readline().split()[1])

    def stop(self):
        if self.process:
            self.process.terminate()
            self.process.communicate()
            self.process = None

    def log_lines(self):
        with open(self.log, "a+", encoding="utf-8", errors="replace") as log:
            log.seek(0)
            return log.read().splitlines()


def log(args, text):
    with open(os.path.join(args.dir, "log"), "a", errors="surrogateescape") as file:
        file.write(text + "\n")


def run(*command):
    subprocess.run(command, check=True, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)


def certificate(args):
    # The key and certificate of the kind asked for, and of the authority, made once.
    def make(name, *extra):
        path = os.path.join(args.ca, name)
        if not os.path.exists(path + ".pem"):
            run("openssl", "req", "-x509", "-newkey", "ec", "-pkeyopt",
                "ec_paramgen_curve:prime256v1", "-nodes", "-keyout", path + ".key", "-out",
                path + ".pem", "-days", "2", "-subj", "/CN=" + name, *extra)
        return path
    ca = make("ca")
    signed = ["-CA", ca + ".pem", "-CAkey", ca + ".key"] * (args.certificate < 2)
    return make("server%d" % args.certificate,
                "-addext", "subjectAltName=" + CERTIFICATES[args.certificate], *signed)


def serve_pyftpdlib(args):
    from pyftpdlib.authorizers import DummyAuthorizer
    from pyftpdlib.handlers import FTPHandler, ThrottledDTPHandler, TLS_DTPHandler, TLS_FTPHandler
    from pyftpdlib.servers import FTPServer

    class TlsDataHandler(TLS_DTPHandler):
        # A client may begin the data connection's handshake as soon as it connects, before
        # the command that uses it; pyftpdlib would take that as a hang-up.
        def readable(self):
            return self._ssl_accepting or super().readable()

        # One read takes one TLS record; the records the TLS library has already taken off
        # the socket raise no further event, and a hang-up would drop them.
        def handle_read(self):
            super().handle_read()
            while (self.receive and self.connected and self._ssl_established
                   and self.socket.pending() > 0):
                super().handle_read()

    class TlsHandler(TLS_FTPHandler):
        dtp_handler = TlsDataHandler
        tls_control_required = tls_data_required = True

        # Implicit TLS: the greeting follows the handshake.
        def handle(self):
            self.secure_connection(self.ssl_context) if args.tls == 2 else super().handle()

        def handle_ssl_established(self):
            FTPHandler.handle(self) if args.tls == 2 else None

    class Handler(TlsHandler if args.tls else FTPHandler):
        # A wrong password is answered at once instead of after a 3 s penalty.
        auth_failed_timeout = 0
        if args.throttle:
            dtp_handler = type("Throttled", (ThrottledDTPHandler,), {"read_limit": args.throttle})

        def handle(self):
            log(args, "CONNECTED")
            super().handle() if args.program != 4 else None

        def on_login(self, username):
            log(args, "LOGIN " + username)

        def on_login_failed(self, username, password):
            # Timed when the password came, before the refusal was sent: a later reading
            # would shorten the client's pause that follows by the server's own delays.
            log(args, "FAILED %s %.6f" % (username, self.commandAt))

        def pre_process_command(self, line, cmd, arg):
            self.commandAt = time.monotonic()
            log(args, "DATA " + cmd) if cmd in ("EPSV", "PASV", "EPRT", "PORT") else None
            super().pre_process_command(line, cmd, arg)

        def on_file_received(self, file):
            log(args, "STORED " + file)
            if args.digests:
                with open(file, "rb") as stored:
                    log(args, "RECEIVED %s %s" % (hashlib.sha256(stored.read()).hexdigest(), file))

        def on_incomplete_file_received(self, file):
            log(args, "INCOMPLETE " + file) if args.digests else None

    if args.tls:
        Handler.certfile, Handler.keyfile = (certificate(args) + end for end in (".pem", ".key"))
        # Clients resume the control connection's TLS session on the data connections, which
        # OpenSSL allows only with a session id context.
        Handler.get_ssl_context().set_session_id(b"kavri-test")
    Handler.authorizer = DummyAuthorizer()
    Handler.authorizer.add_user(args.user, args.password, args.home,
                                perm="elradmwMT" + "f" * args.rename)
    logging.basicConfig(level=logging.ERROR)
    server = FTPServer(("127.0.0.1", args.port), Handler)
    print("PORT %d %d" % (server.address[1], os.getpid()), flush=True)
    server.serve_forever(timeout=0.05)


def serve_sshd(args):
    # The host key and the client's HOME, DIR/client with .ssh/id_ed25519 (authorised for the
    # user running this) and .ssh/known_hosts, are made once and kept.
    client = os.path.join(args.dir, "client", ".ssh")
    os.makedirs(client, mode=0o700, exist_ok=True)
    keys = [os.path.join(args.dir, "host_ed25519"), os.path.join(client, "id_ed25519")]
    for path in keys:
        if not os.path.exists(path):
            run("ssh-keygen", "-q", "-t", "ed25519", "-N", "", "-f", path)
    with open(os.path.join(client, "known_hosts"), "w") as text, open(keys[0] + ".pub") as key:
        text.write("[127.0.0.1]:%d %s\n" % (args.port, key.read()))
    config = os.path.join(args.dir, "sshd_config")
    with open(config, "w") as text:
        text.write("Port %d\nListenAddress 127.0.0.1\nHostKey %s\nAuthorizedKeysFile %s.pub\n"
                   "UsePAM no\nStrictModes no\nPidFile none\nPasswordAuthentication no\n"
                   "KbdInteractiveAuthentication no\nSubsystem sftp internal-sftp -d %s\n"
                   % (args.port, keys[0], keys[1], args.home))
    # sshd insists on its privilege separation directory.
    os.makedirs("/run/sshd", mode=0o755, exist_ok=True)
    server = subprocess.Popen(["/usr/sbin/sshd", "-D", "-e", "-f", config],
                              stderr=subprocess.PIPE, text=True)
    while "0100007F:%04X 00000000:0000 0A" % args.port not in open("/proc/net/tcp").read():
        if server.poll() is not None:
            sys.exit(server.stderr.read())
        time.sleep(0.01)
    print("PORT %d %d" % (args.port, os.getpid()), flush=True)
    for line in server.stderr:
        log(args, "LOGIN " + args.user) if line.startswith("Accepted ") else None


def descendants(pid):
    for task in os.listdir("/proc/%d/task" % pid):
        with open("/proc/%d/task/%s/children" % (pid, task)) as children:
            for child in map(int, children.read().split()):
                yield child
                yield from descendants(child)


def end_all(*_):
    # Connections end too: sshd serves each from a process in a session of its own.
    for pid in list(descendants(os.getpid())):
        os.kill(pid, signal.SIGKILL)
    os._exit(0)


def main():
    args = type("Args", (), dict(dir=sys.argv[1], port=0, user="", password="", program=0, tls=0,
                                 certificate=0, ca=sys.argv[1], throttle=0, rename=1, digests=0))()
    for word in sys.argv[2:]:
        key, value = word.split("=", 1)
        setattr(args, key, value if isinstance(getattr(args, key), str) else int(value))
    args.home = os.path.join(args.dir, "home")
    os.makedirs(args.home, exist_ok=True)
    signal.signal(signal.SIGTERM, end_all)
    if args.program == 2 and not args.port:
        args.port = socket.create_server(("127.0.0.1", 0)).getsockname()[1]
    # A restart on the same port may briefly find it held by the connections just ended.
    for _ in range(100):
        try:
            return (serve_sshd if args.program == 2 else serve_pyftpdlib)(args)
        except OSError:
            time.sleep(0.05)
    return "the port stays taken"


if __name__ == "__main__":
    sys.exit(main())
