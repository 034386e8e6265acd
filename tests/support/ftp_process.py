"""ftp_server.py or ssh_server.py as a child process, for Python tests and scripts.

    server = FtpServerProcess(directory, user, password)   # plain FTP
    server = FtpServerProcess(directory, user, password, protocol="sftp")
    server.start()          # on a free port of 127.0.0.1; server.port tells which
    server.stop()           # the port refuses connections until start() is called again
    server.log_lines()      # the server's event log (see ftp_server.py), or sshd's log
    server.host             # what the program's host setting says, scheme included
    server.environment      # what the program's environment needs to trust the server

The protocols are the program's: "ftp", "ftpes" and "ftps" (pyftpdlib, with TLS for the
last two and a certificate authority that `environment` names in SSL_CERT_FILE), and "sftp"
(sshd, logging in as the user running this with a key; `environment` points HOME at a
directory holding the key and the server's host key, and the password is not used).
"""

import os
import pwd
import signal
import subprocess

SUPPORT = os.path.dirname(os.path.abspath(__file__))
SERVER_SCRIPT = os.path.join(SUPPORT, "ftp_server.py")
SSH_SERVER_SCRIPT = os.path.join(SUPPORT, "ssh_server.py")
PROTOCOLS = ("ftp", "ftpes", "ftps", "sftp")


def descendants(root):
    children = {}
    for entry in os.listdir("/proc"):
        try:
            with open("/proc/%s/stat" % entry) as stat:
                parent = int(stat.read().rsplit(")", 1)[1].split()[1])
            children.setdefault(parent, []).append(int(entry))
        except (ValueError, OSError, IndexError):
            continue
    found, waiting = [], [root]
    while waiting:
        for child in children.get(waiting.pop(), []):
            found.append(child)
            waiting.append(child)
    return found


class FtpServerProcess:
    def __init__(self, directory, user, password, digests=False, protocol="ftp"):
        self.protocol = protocol
        self.digests = digests
        self.home = os.path.join(directory, "ftp-home")
        self.log = os.path.join(directory, "ftp.log")
        self.state = os.path.join(directory, "server-state")
        os.makedirs(self.home, exist_ok=True)
        if protocol == "sftp":
            self.user, self.password = pwd.getpwuid(os.geteuid()).pw_name, ""
            self.log = os.path.join(self.state, "sshd.log")
            self.environment = {"HOME": os.path.join(self.state, "client")}
        else:
            self.user, self.password = user, password
            self.environment = ({"SSL_CERT_FILE": os.path.join(self.state, "ca.pem")}
                                if protocol != "ftp" else {})
        self.host = ("" if protocol == "ftp" else protocol + "://") + "127.0.0.1"
        self.port = 0
        self.process = None

    def start(self):
        if self.protocol == "sftp":
            command = ["/usr/bin/python3", SSH_SERVER_SCRIPT, "--dir", self.state, "--home",
                       self.home, "--port", str(self.port)]
        else:
            command = ["/usr/bin/python3", SERVER_SCRIPT, "--port", str(self.port), "--home",
                       self.home, "--user", self.user, "--password", self.password, "--log",
                       self.log]
            if self.protocol != "ftp":
                command += ["--tls", "explicit" if self.protocol == "ftpes" else "implicit",
                            "--tls-dir", self.state]
            if self.digests:
                command.append("--digests")
        self.process = subprocess.Popen(command, stdout=subprocess.PIPE, text=True,
                                        start_new_session=True)
        line = self.process.stdout.readline()
        if not line.startswith("PORT "):
            self.stop()
            raise RuntimeError("the server did not start: %r" % line)
        self.port = int(line.split()[1])

    def stop(self):
        if self.process:
            # sshd serves each connection from a process in a session of its own.
            for pid in descendants(self.process.pid):
                try:
                    os.kill(pid, signal.SIGKILL)
                except ProcessLookupError:
                    pass
            os.killpg(self.process.pid, signal.SIGKILL)
            self.process.wait()
            self.process.stdout.close()
            self.process = None

    def log_lines(self):
        try:
            with open(self.log, encoding="utf-8", errors="replace") as log:
                return log.read().splitlines()
        except FileNotFoundError:
            return []
