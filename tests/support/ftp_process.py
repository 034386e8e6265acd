# Real servers for the tests on 127.0.0.1, each a child process of its own.
#
#     ftp_process.py DIR [key=value...]   serves DIR/home; prints "PORT <n> <pid>" when it listens
#
# Keys: port, user, password; program (0 pyftpdlib, 1 vsftpd, 2 sshd, 3 paramiko, 4 a server
# that never answers, 5 S3 object storage with the bucket "cam", 6 Apache's WebDAV under
# "/cam"); region and skew (seconds its clock is ahead) of the S3 server, which takes the user
# as access key and the password as secret, checks every signature and, like Apache, serves
# HTTPS unless tls is 0; tls (0 none, 1 explicit, 2 implicit); certificate (0 trusted, 1 for
# another name, 2 signed by itself) made with the authority ca.pem in directory ca; throttle
# (upload bytes per second); idle (seconds to an idle connection's end); rename (0 refuses).
# It appends to DIR/log "CONNECTED", "LOGIN <user>", "FAILED <user> <monotonic s>",
# "STORED <path>", "DATA <command>" (EPSV, PASV, EPRT, PORT) and for S3 "TYPE <content type>
# <cache control> <acl>"; vsftpd and sshd log only LOGIN. SIGTERM ends it
# with all it started, connections included, and so does the end of the process that started
# it, also when that was killed (a test at its time-out); SIGUSR1 stops all it started where
# they are.
#

import base64, calendar, contextlib, ctypes, glob, hashlib, hmac, http.server, logging, os, signal
import socket, ssl, subprocess, sys, threading, time
from urllib.parse import parse_qsl, quote, unquote

# What each kind of certificate is valid for.
CERTIFICATES = ("IP:127.0.0.1", "DNS:other.example", "IP:127.0.0.1")


class FtpServerProcess:
    # pyftpdlib on 127.0.0.1 for Python tests and scripts.
    def __init__(self, directory, user, password):
        self.dir = os.path.join(directory, "server-state")
        self.home, self.log = os.path.join(self.dir, "home"), os.path.join(self.dir, "log")
        self.user, self.password, self.port, self.process = user, password, 0, None

    def start(self):
        self.process = subprocess.Popen(
            ["/usr/bin/python3", __file__, self.dir, "port=%d" % self.port, "user=" + self.user,
             "password=" + self.password], stdout=subprocess.PIPE, text=True)
        self.port = int(self.process.stdout.readline().split()[1])

    def stop(self):
        if self.process:
            with self.process:
                self.process.terminate()
            self.process = None

    def log_lines(self):
        with open(self.log, "a+", encoding="utf-8", errors="replace") as log:
            log.seek(0)
            return log.read().splitlines()


def die_with_parent():
    # For Popen's preexec_fn: the child is killed when the thread that started it ends, so a
    # test's servers and programs never outlive a test that was killed.
    ctypes.CDLL(None).prctl(1, signal.SIGKILL)  # PR_SET_PDEATHSIG


def log(args, text):
    with open(os.path.join(args.dir, "log"), "a", errors="surrogateescape") as file:
        file.write(text + "\n")


def run(*command):
    subprocess.run(command, check=True, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)


def ready(port):
    print("PORT %d %d" % (port, os.getpid()), flush=True)


def start_listening(args, command):
    # Runs a server that is to listen on args.port and says when it does.
    server = subprocess.Popen(command, stderr=subprocess.PIPE, text=True,
                              preexec_fn=die_with_parent)
    while True:
        with open("/proc/net/tcp") as table:
            if "0100007F:%04X 00000000:0000 0A" % args.port in table.read():
                ready(args.port)
                return server
        if server.poll() is not None:
            sys.exit(server.stderr.read())
        time.sleep(0.01)


def follow(path, start):
    # The lines a server appends to its log at path after start() has started it.
    open(path, "a").close()
    with open(path) as lines:
        lines.seek(0, os.SEEK_END)
        start()
        while True:
            line = lines.readline()
            if line:
                yield line
            else:
                time.sleep(0.01)


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

        @classmethod
        def get_ssl_context(cls):
            if cls.ssl_context is None:
                # Clients resume the control connection's TLS session on the data
                # connections, which OpenSSL allows only with a session id context.
                super().get_ssl_context().set_session_id(b"kavri-test")
            return cls.ssl_context

        # Implicit TLS: the greeting follows the handshake.
        def handle(self):
            self.secure_connection(self.ssl_context) if args.tls == 2 else super().handle()

        def handle_ssl_established(self):
            FTPHandler.handle(self) if args.tls == 2 else None

    class Handler(TlsHandler if args.tls else FTPHandler):
        # A wrong password is answered at once instead of after a 3 s penalty.
        auth_failed_timeout = 0
        permit_foreign_addresses = False
        timeout = args.idle or FTPHandler.timeout
        if args.throttle:
            dtp_handler = type("Throttled", (ThrottledDTPHandler,), {"read_limit": args.throttle})

        def handle(self):
            self.on_connect() if args.program == 4 else super().handle()

        def on_connect(self):
            log(args, "CONNECTED")

        def on_login(self, username):
            log(args, "LOGIN " + username)

        def on_login_failed(self, username, password):
            # Timed when the password came, before the refusal was sent: a later reading
            # would shorten the client's pause that follows by the server's own delays.
            log(args, "FAILED %s %.6f" % (username, self.commandAt))

        def pre_process_command(self, line, cmd, arg):
            self.commandAt = time.monotonic()
            if cmd in ("EPSV", "PASV", "EPRT", "PORT"):
                log(args, "DATA " + cmd)
            super().pre_process_command(line, cmd, arg)

        def on_file_received(self, file):
            log(args, "STORED " + file)

    if args.tls:
        Handler.keyfile = certificate(args) + ".key"
        Handler.certfile = Handler.keyfile[:-3] + "pem"
    Handler.authorizer = DummyAuthorizer()
    Handler.authorizer.add_user(args.user, args.password, args.home, perm="elradmwMT" + "f" * args.rename)
    logging.basicConfig(level=logging.ERROR)
    server = FTPServer(("127.0.0.1", args.port), Handler)
    ready(server.address[1])
    server.serve_forever(timeout=0.05)


def serve_vsftpd(args):
    # Run as the user who starts it, without chroot or privilege separation; anonymous
    # logins may store.
    config, raw = os.path.join(args.dir, "vsftpd.conf"), os.path.join(args.dir, "vsftpd.log")
    with open(config, "w") as text:
        text.write("listen=YES\nlisten_address=127.0.0.1\nlisten_port=%d\nanon_root=%s\n"
                   "run_as_launching_user=YES\nseccomp_sandbox=NO\nisolate=NO\nisolate_network=NO\n"
                   "write_enable=YES\nanon_upload_enable=YES\nanon_other_write_enable=YES\n"
                   "idle_session_timeout=%d\nxferlog_enable=YES\nvsftpd_log_file=%s\n"
                   % (args.port, args.home, args.idle or 300, raw))
        if args.tls:
            # TLS as vsftpd does it by default: the data connections must resume the control
            # connection's session. Its one TLS 1.2 cipher, for an ECDSA key.
            text.write("ssl_enable=YES\nallow_anon_ssl=YES\nforce_anon_logins_ssl=YES\n"
                       "force_anon_data_ssl=YES\nrequire_ssl_reuse=YES\nimplicit_ssl=%s\n"
                       "ssl_ciphers=ECDHE-ECDSA-AES256-GCM-SHA384\nrsa_cert_file=%s.pem\n"
                       "rsa_private_key_file=%s.key\n"
                       % ("YES" if args.tls == 2 else "NO", *[certificate(args)] * 2))
    # A restart tells only the logins after it.
    for line in follow(raw, lambda: start_listening(args, ["/usr/sbin/vsftpd", config])):
        if "] OK LOGIN: " in line:
            log(args, "LOGIN " + args.user)


def serve_ssh(args):
    # sshd, or paramiko's server, which takes args.password for args.user (sshd would check
    # passwords against the machine's accounts). The host key and the client's HOME, DIR/client
    # with .ssh/id_ed25519 (authorised for the user running this) and .ssh/known_hosts, are
    # made once and kept.
    listener = socket.create_server(("127.0.0.1", args.port))
    args.port = listener.getsockname()[1]
    client = os.path.join(args.dir, "client", ".ssh")
    os.makedirs(client, mode=0o700, exist_ok=True)
    keys = [os.path.join(args.dir, "host_ed25519"), os.path.join(client, "id_ed25519")]
    for path in keys:
        if not os.path.exists(path):
            run("ssh-keygen", "-q", "-t", "ed25519", "-N", "", "-f", path)
    with open(os.path.join(client, "known_hosts"), "w") as text, open(keys[0] + ".pub") as key:
        text.write("[127.0.0.1]:%d %s\n" % (args.port, key.read()))
    if args.program == 3:
        return serve_paramiko(args, keys[0], listener)
    config = os.path.join(args.dir, "sshd_config")
    with open(config, "w") as text:
        text.write("Port %d\nListenAddress 127.0.0.1\nHostKey %s\nAuthorizedKeysFile %s.pub\n"
                   "UsePAM no\nStrictModes no\nPidFile none\nPasswordAuthentication no\n"
                   "KbdInteractiveAuthentication no\nSubsystem sftp internal-sftp -d %s\n"
                   % (args.port, keys[0], keys[1], args.home))
    # sshd insists on its privilege separation directory. It serves each connection on the
    # port this process holds (inetd mode), so no other program can take the port between
    # its choice and sshd's start, and the port answers once this says it is ready.
    os.makedirs("/run/sshd", mode=0o755, exist_ok=True)
    ready(args.port)
    while True:
        connection = listener.accept()[0]
        sshd = subprocess.Popen(["/usr/sbin/sshd", "-i", "-e", "-f", config], stdin=connection,
                                stdout=connection, stderr=subprocess.PIPE, text=True,
                                preexec_fn=die_with_parent)
        connection.close()
        start_thread(log_logins, args, sshd)


def log_logins(args, sshd):
    for line in sshd.stderr:
        if line.startswith("Accepted "):
            log(args, "LOGIN " + args.user)
    sshd.wait()


def serve_paramiko(args, host_key, listener):
    import paramiko

    class Login(paramiko.ServerInterface):
        def get_allowed_auths(self, username):
            return "password"

        def check_auth_password(self, username, password):
            if (username, password) != (args.user, args.password):
                return paramiko.AUTH_FAILED
            log(args, "LOGIN " + username)
            return paramiko.AUTH_SUCCESSFUL

        def check_channel_request(self, kind, channel_id):
            return paramiko.OPEN_SUCCEEDED

    class Files(paramiko.SFTPServerInterface):
        # The login directory is the root of what the client sees.
        def local(self, path):
            return os.path.join(args.home, os.path.normpath("/" + path).lstrip("/"))

        def open(self, path, flags, attributes):
            handle = paramiko.SFTPHandle(flags)
            handle.writefile = os.fdopen(os.open(self.local(path), flags, 0o644), "wb")
            return handle

        def stat(self, path):
            return paramiko.SFTPAttributes.from_stat(os.stat(self.local(path)))

        def rename(self, old, new):
            os.rename(self.local(old), self.local(new))
            return paramiko.SFTP_OK

        lstat = stat

    ready(args.port)
    while True:
        session = paramiko.Transport(listener.accept()[0])
        session.add_server_key(paramiko.Ed25519Key(filename=host_key))
        session.set_subsystem_handler("sftp", paramiko.SFTPServer, Files)
        start_thread(session.start_server, None, Login())


def s3_error(handler, status, code, message, **fields):
    extra = "".join("<%s>%s</%s>" % (key, value, key) for key, value in fields.items())
    handler.answer(status, ("<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<Error><Code>%s</Code>"
                            "<Message>%s</Message>%s</Error>" % (code, message, extra)).encode(),
                   "application/xml")


def s3_refusal(handler, args):
    # Checks the request's AWS Signature Version 4 as S3 does; the refusal, or None.
    words = dict(part.strip().split("=", 1) for part in
                 handler.headers.get("Authorization", " x=").split(" ", 1)[1].split(","))
    key, day, region, service, _ = (words.get("Credential", "") + "////").split("/")[:5]
    stamp = handler.headers.get("x-amz-date", "")
    now = time.time() + args.skew
    sent = calendar.timegm(time.strptime(stamp, "%Y%m%dT%H%M%SZ")) if stamp else 0
    if key != args.user:
        return 403, "InvalidAccessKeyId", "The AWS Access Key Id you provided does not exist.", {}
    if abs(now - sent) > 900:
        return 403, "RequestTimeTooSkewed", "The difference between the request time and the " \
            "current time is too large.", {"RequestTime": stamp, "ServerTime": time.strftime(
                "%Y-%m-%dT%H:%M:%SZ", time.gmtime(now)), "MaxAllowedSkewMilliseconds": "900000"}
    if region != args.region:
        return 400, "AuthorizationHeaderMalformed", "The authorization header is malformed; the " \
            "region '%s' is wrong; expecting '%s'" % (region, args.region), {}
    path, _, query = handler.path.partition("?")
    signed = words.get("SignedHeaders", "")
    canonical = "\n".join([handler.command, path, "&".join(sorted(
        "%s=%s" % (quote(k, safe="-_.~"), quote(v, safe="-_.~"))
        for k, v in parse_qsl(query, keep_blank_values=True)))] +
        ["%s:%s" % (name, " ".join(handler.headers.get(name, "").split()))
         for name in signed.split(";")] + ["", signed, handler.headers.get("x-amz-content-sha256", "")])
    scope = "/".join([day, region, service, "aws4_request"])
    text = "\n".join(["AWS4-HMAC-SHA256", stamp, scope, hashlib.sha256(canonical.encode()).hexdigest()])
    secret = ("AWS4" + args.password).encode()
    for part in (day, region, service, "aws4_request"):
        secret = hmac.new(secret, part.encode(), hashlib.sha256).digest()
    if not hmac.compare_digest(hmac.new(secret, text.encode(), hashlib.sha256).hexdigest(),
                               words.get("Signature", "")) or "host" not in signed.split(";"):
        return 403, "SignatureDoesNotMatch", "The request signature we calculated does not " \
            "match the signature you provided.", {}
    return None


def serve_s3(args):
    # Path-style S3 for the bucket "cam", whose objects are the files under home; an object
    # is received beside its name (".<name>.part") and takes the name once whole.

    class Handler(http.server.BaseHTTPRequestHandler):
        protocol_version = "HTTP/1.1"
        timeout = args.idle or None
        logged_in = False

        def setup(self):
            super().setup()
            log(args, "CONNECTED")

        def log_message(self, *_):
            pass

        def answer(self, status, body=b"", kind=None):
            self.send_response(status)
            if kind:
                self.send_header("Content-Type", kind)
            self.send_header("Content-Length", str(len(body)))
            self.end_headers()
            self.wfile.write(body)

        def checked(self):
            refusal = s3_refusal(self, args)
            if refusal:
                log(args, "FAILED %s %.6f" % (args.user, time.monotonic()))
                self.rfile.read(int(self.headers.get("Content-Length", 0)))
                s3_error(self, *refusal[:3], **refusal[3])
                return None
            if not self.logged_in:
                self.logged_in = True
                log(args, "LOGIN " + args.user)
            path = unquote(self.path.partition("?")[0])
            if path != "/cam" and not path.startswith("/cam/"):
                s3_error(self, 404, "NoSuchBucket", "The bucket does not exist")
                return None
            return path[5:]

        def do_GET(self):
            if self.checked() is not None:
                self.answer(200, b"<ListBucketResult><Name>cam</Name></ListBucketResult>")

        def do_PUT(self):
            key = self.checked()
            if key is None:
                return
            name = os.path.join(args.home, key)
            os.makedirs(os.path.dirname(name), exist_ok=True)
            part = os.path.join(os.path.dirname(name), "." + os.path.basename(name) + ".part")
            left = int(self.headers["Content-Length"])
            with open(part, "wb") as file:
                while left > 0:
                    chunk = self.rfile.read(min(left, 65536))
                    if not chunk:
                        return
                    file.write(chunk)
                    left -= len(chunk)
            os.replace(part, name)
            log(args, "TYPE %s %s %s" % (self.headers.get("Content-Type"), self.headers.get(
                "Cache-Control"), self.headers.get("x-amz-acl", "private")))
            log(args, "STORED " + name)
            self.answer(200)

    server = http.server.ThreadingHTTPServer(("127.0.0.1", args.port), Handler)
    server.daemon_threads = True
    if args.tls:
        context = ssl.SSLContext(ssl.PROTOCOL_TLS_SERVER)
        context.load_cert_chain(certificate(args) + ".pem", certificate(args) + ".key")
        server.socket = context.wrap_socket(server.socket, server_side=True)
    ready(server.server_address[1])
    server.serve_forever(0.05)


def serve_apache(args):
    # Apache's mod_dav_fs serving home as /cam to args.user with args.password (basic login),
    # keeping idle connections for args.idle seconds. Its access log is told as events.
    modules = "/usr/lib/apache2/modules/"
    state = os.path.join(args.dir, "apache")
    os.makedirs(state, exist_ok=True)
    os.chmod(args.dir, 0o755)
    for directory in (args.home, state):
        os.chmod(directory, 0o777)
    with open(os.path.join(state, "users"), "w") as users:
        users.write("%s:{SHA}%s\n" % (args.user, base64.b64encode(
            hashlib.sha1(args.password.encode()).digest()).decode()))
    loads = ["mpm_event", "authz_core", "authn_core", "authn_file", "auth_basic", "authz_user",
             "dav", "dav_fs", "alias"] + ["ssl"] * bool(args.tls)
    raw = os.path.join(state, "access.log")
    config = "".join("LoadModule %s_module %smod_%s.so\n" % (name, modules, name) for name in loads)
    config += ("ServerName 127.0.0.1\nListen 127.0.0.1:%d\nPidFile %s/pid\nDefaultRuntimeDir %s\n"
               "ErrorLog %s/error.log\nDAVLockDB %s/locks\nKeepAlive On\nKeepAliveTimeout %d\n"
               "MaxKeepAliveRequests 0\nDocumentRoot %s\nAlias /cam %s\n"
               "LogFormat \"%%k %%>s %%m %%{Destination}i %%U\" events\nCustomLog %s events\n"
               "<Directory %s>\nDav On\nAuthType Basic\nAuthName cam\nAuthUserFile %s/users\n"
               "Require valid-user\n</Directory>\n"
               % (args.port, state, state, state, state, args.idle or 300, args.home, args.home,
                  raw, args.home, state))
    if args.tls:
        config += "SSLEngine on\nSSLCertificateFile %s.pem\nSSLCertificateKeyFile %s.key\n" % (
            (certificate(args),) * 2)
    if os.geteuid() == 0:
        config += "User www-data\nGroup www-data\n"
    with open(os.path.join(state, "apache.conf"), "w") as text:
        text.write(config)
    # The pid file of an instance ended before would be taken for one still running.
    if os.path.exists(os.path.join(state, "pid")):
        os.remove(os.path.join(state, "pid"))
    for line in follow(raw, lambda: start_listening(args, [
            "/usr/sbin/apache2", "-f", os.path.join(state, "apache.conf"), "-DFOREGROUND"])):
        kept, status, method, path = line.split(" ", 4)[:4]
        if kept == "0":
            log(args, "CONNECTED")
        if status == "401":
            log(args, "FAILED %s %.6f" % (args.user, time.monotonic()))
        elif kept == "0":
            log(args, "LOGIN " + args.user)
        if method == "MOVE" and status in ("201", "204"):
            log(args, "STORED " + path)


def descendants(pid):
    # Those that end meanwhile are left out.
    for tasks in glob.glob("/proc/%d/task/*/children" % pid):
        with contextlib.suppress(OSError), open(tasks) as children:
            for child in map(int, children.read().split()):
                yield child
                yield from descendants(child)


def end_all(*_):
    # Connections end too: sshd serves each from a process in a session of its own. Stopped
    # first, so that none starts another while the others are killed.
    found = set()
    while new := set(descendants(os.getpid())) - found:
        signal_all(new, signal.SIGSTOP)
        found |= new
    signal_all(found, signal.SIGKILL)
    os._exit(0)


def signal_all(pids, kind):
    for pid in pids:
        with contextlib.suppress(OSError):
            os.kill(pid, kind)


def start_thread(target, *arguments):
    # SIGTERM and SIGUSR1 are left to the main thread: Python runs their handlers there, and a
    # signal another thread took would wait for a main thread blocked in accept().
    def run():
        signal.pthread_sigmask(signal.SIG_BLOCK, {signal.SIGTERM, signal.SIGUSR1})
        target(*arguments)
    threading.Thread(target=run, daemon=True).start()


def end_with_parent(parent):
    while os.getppid() == parent:
        time.sleep(0.05)
    end_all()


def freeze(*_):
    # A server that has hung: vsftpd and sshd, connections included, stop where they are.
    for pid in list(descendants(os.getpid())):
        os.kill(pid, signal.SIGSTOP)


def main():
    args = type("Args", (), dict(dir=sys.argv[1], port=0, user="", password="", program=0, tls=0,
                                 certificate=0, ca=sys.argv[1], throttle=0, idle=0, rename=1,
                                 region="us-east-1", skew=0))()
    for word in sys.argv[2:]:
        key, value = word.split("=", 1)
        setattr(args, key, value if isinstance(getattr(args, key), str) else int(value))
    args.home = os.path.join(args.dir, "home")
    os.makedirs(args.home, exist_ok=True)
    signal.signal(signal.SIGTERM, end_all)
    start_thread(end_with_parent, os.getppid())
    signal.signal(signal.SIGUSR1, freeze)
    if args.program in (1, 6) and not args.port:
        args.port = socket.create_server(("127.0.0.1", 0)).getsockname()[1]
    # A restart on the same port may briefly find it held by the connections just ended.
    for _ in range(100):
        try:
            return [serve_pyftpdlib, serve_vsftpd, serve_ssh, serve_ssh, serve_pyftpdlib, serve_s3,
                    serve_apache][args.program](args)
        except OSError:
            time.sleep(0.05)
    return "the port stays taken"


if __name__ == "__main__":
    sys.exit(main())
