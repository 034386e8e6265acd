"""An SFTP server for the tests: Debian's sshd on 127.0.0.1, run by /usr/bin/python3.

Everything it needs lives in --dir and is made on the first start and kept for later ones:
an ed25519 host key, and a client directory "client" to be used as HOME by the program,
holding .ssh/id_ed25519 (authorised for the user running this script, which is root in
the tests) and .ssh/known_hosts with the server's key for the port it listens on. SFTP
sessions start in --home. sshd's log (one "Accepted publickey ..." line per login) goes to
--dir/sshd.log. It prints "PORT <n>" once sshd accepts connections and ends with sshd.
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


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--dir", required=True)
    parser.add_argument("--home", required=True)
    parser.add_argument("--port", type=int, default=0)
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
