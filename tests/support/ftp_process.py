"""ftp_server.py as a child process, for Python tests and scripts.

    server = FtpServerProcess(directory, user, password)
    server.start()          # on a free port of 127.0.0.1; server.port tells which
    server.stop()           # the port refuses connections until start() is called again
    server.log_lines()      # the server's event log (see ftp_server.py)
"""

import os
import subprocess

SERVER_SCRIPT = os.path.join(os.path.dirname(os.path.abspath(__file__)), "ftp_server.py")


class FtpServerProcess:
    def __init__(self, directory, user, password, digests=False):
        self.user, self.password, self.digests = user, password, digests
        self.home = os.path.join(directory, "ftp-home")
        self.log = os.path.join(directory, "ftp.log")
        os.makedirs(self.home, exist_ok=True)
        self.port = 0
        self.process = None

    def start(self):
        command = ["/usr/bin/python3", SERVER_SCRIPT, "--port", str(self.port), "--home", self.home,
                   "--user", self.user, "--password", self.password, "--log", self.log]
        if self.digests:
            command.append("--digests")
        self.process = subprocess.Popen(command, stdout=subprocess.PIPE, text=True)
        line = self.process.stdout.readline()
        if not line.startswith("PORT "):
            self.stop()
            raise RuntimeError("the FTP server did not start: %r" % line)
        self.port = int(line.split()[1])

    def stop(self):
        if self.process:
            self.process.kill()
            self.process.wait()
            self.process.stdout.close()
            self.process = None

    def log_lines(self):
        try:
            with open(self.log, encoding="utf-8", errors="replace") as log:
                return log.read().splitlines()
        except FileNotFoundError:
            return []
