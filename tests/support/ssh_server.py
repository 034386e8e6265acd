"""An SFTP server for the tests on 127.0.0.1, run by /usr/bin/python3: Debian's sshd, or
with --user and --password a small server of python3-paramiko's that takes that password
(sshd would check passwords against the machine's accounts).

Everything it needs lives in --dir and is made on the first start and kept for later ones:
an ed25519 host key, and a client directory "client" to be used as HOME by the program,
holding .ssh/id_ed25519 (authorised in sshd for the user running this script, which is root
in the tests) and .ssh/known_hosts with the server's key for the port it listens on. SFTP
sessions start in --home. The log (one "Accepted ..." line per login) goes to
--dir/sshd.log. It prints "PORT <n>" once it accepts connections and runs until killed.
"""

import argparse
import os
import signal
import socket
import subprocess
import sys
import time


def free_port():
    with socket.socket() as probe:
        probe.bind(("127.0.0.1", 0))
        return probe.getsockname()[1]


def listening(port):
    local = "0100007F:%04X" % port
    with open("/proc/net/tcp") as table:
        return any(line.split()[1] == local and line.split()[3] == "0A"
                   for line in table.readlines()[1:])


def key(path):
    if not os.path.exists(path):
        subprocess.run(["ssh-keygen", "-q", "-t", "ed25519", "-N", "", "-C", "kavri-test", "-f",
                        path], check=True)
    with open(path + ".pub") as public:
        return public.read().split()[:2]


def serve_password(args, host_key_file, port, log_file):
    import threading

    import paramiko

    home = os.path.abspath(args.home)
    host_key = paramiko.Ed25519Key(filename=host_key_file)

    def log(text):
        with open(log_file, "a") as log:
            log.write(text + "\n")

    class Login(paramiko.ServerInterface):
        def get_allowed_auths(self, username):
            return "password"

        def check_auth_password(self, username, password):
            if (username, password) != (args.user, args.password):
                return paramiko.AUTH_FAILED
            log("Accepted password for " + username)
            return paramiko.AUTH_SUCCESSFUL

        def check_channel_request(self, kind, channel_id):
            return (paramiko.OPEN_SUCCEEDED if kind == "session"
                    else paramiko.OPEN_FAILED_ADMINISTRATIVELY_PROHIBITED)

    class Handle(paramiko.SFTPHandle):
        def stat(self):
            return paramiko.SFTPAttributes.from_stat(os.fstat(self.readfile.fileno()))

    def errors(action):
        # An error of the file system goes to the client as an SFTP status.
        def wrapped(*arguments):
            try:
                return action(*arguments)
            except OSError as error:
                return paramiko.SFTPServer.convert_errno(error.errno)
        return wrapped

    class Files(paramiko.SFTPServerInterface):
        # The login directory is the root of what the client sees.
        def local(self, path):
            return os.path.join(home, os.path.normpath("/" + path).lstrip("/"))

        def canonicalize(self, path):
            return os.path.normpath("/" + path)

        @errors
        def open(self, path, flags, attributes):
            descriptor = os.open(self.local(path), flags, 0o644)
            handle = Handle(flags)
            handle.readfile = handle.writefile = os.fdopen(
                descriptor, "r+b" if flags & os.O_RDWR else "wb" if flags & os.O_WRONLY else "rb")
            return handle

        @errors
        def stat(self, path):
            return paramiko.SFTPAttributes.from_stat(os.stat(self.local(path)))

        lstat = stat

        @errors
        def remove(self, path):
            os.remove(self.local(path))
            return paramiko.SFTP_OK

        @errors
        def rename(self, old, new):
            os.rename(self.local(old), self.local(new))
            return paramiko.SFTP_OK

    listener = socket.socket()
    listener.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEADDR, 1)
    listener.bind(("127.0.0.1", port))
    listener.listen(16)
    print("PORT %d" % port, flush=True)
    sessions = []
    while True:
        connection, _ = listener.accept()
        session = paramiko.Transport(connection)
        session.add_server_key(host_key)
        session.set_subsystem_handler("sftp", paramiko.SFTPServer, Files)
        threading.Thread(target=session.start_server, kwargs={"server": Login()},
                         daemon=True).start()
        sessions.append(session)


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--dir", required=True)
    parser.add_argument("--home", required=True)
    parser.add_argument("--port", type=int, default=0)
    parser.add_argument("--user")
    parser.add_argument("--password")
    args = parser.parse_args()

    state = os.path.abspath(args.dir)
    client_ssh = os.path.join(state, "client", ".ssh")
    os.makedirs(client_ssh, mode=0o700, exist_ok=True)
    host_type, host_key = key(os.path.join(state, "host_ed25519"))
    client_type, client_key = key(os.path.join(client_ssh, "id_ed25519"))
    authorized = os.path.join(state, "authorized_keys")
    with open(authorized, "w") as text:
        text.write("%s %s\n" % (client_type, client_key))
    # sshd insists on its privilege separation directory.
    os.makedirs("/run/sshd", mode=0o755, exist_ok=True)

    port = args.port or free_port()
    config = os.path.join(state, "sshd_config")
    with open(config, "w") as text:
        text.write("\n".join([
            "Port %d" % port, "ListenAddress 127.0.0.1",
            "HostKey " + os.path.join(state, "host_ed25519"),
            "AuthorizedKeysFile " + authorized, "StrictModes no", "UsePAM no",
            "PidFile " + os.path.join(state, "sshd.pid"), "PasswordAuthentication no",
            "KbdInteractiveAuthentication no", "PermitRootLogin prohibit-password",
            "Subsystem sftp internal-sftp -d " + os.path.abspath(args.home), ""]))
    with open(os.path.join(client_ssh, "known_hosts"), "w") as text:
        text.write("[127.0.0.1]:%d %s %s\n" % (port, host_type, host_key))
    if args.password is not None:
        return serve_password(args, os.path.join(state, "host_ed25519"), port,
                              os.path.join(state, "sshd.log"))

    with open(os.path.join(state, "sshd.log"), "a") as log:
        server = subprocess.Popen(["/usr/sbin/sshd", "-D", "-e", "-f", config], stderr=log)
    signal.signal(signal.SIGTERM, lambda *_: server.terminate())
    deadline = time.monotonic() + 20
    while not listening(port):
        if server.poll() is not None or time.monotonic() > deadline:
            with open(os.path.join(state, "sshd.log")) as log:
                print("ERROR sshd did not start: " + log.read()[-500:], flush=True)
            return 1
        time.sleep(0.01)
    print("PORT %d" % port, flush=True)
    return server.wait()


if __name__ == "__main__":
    sys.exit(main())
