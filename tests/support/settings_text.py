# Settings files for Python tests and scripts, written as the program writes them.

# The shift the settings file applies to each password byte, by position.
PASSWORD_KEY = [1, -1, 0, 1, -1, 1, 1, 0, -1, -1, 0, 1, 1, -1, 0, -1, 1, 1, 0, -1, 1, 0, -1, 1, -1]


# A kavriWebCam.ini with the given keys, e.g. settings_file(image={"update": 1}).
def settings_file(**sections):
    lines = ["<kavriwebcam version='1.2.99'>"]
    for section, keys in sections.items():
        lines += ["  <" + section] + ["    %s = '%s'" % (key, "".join(
            chr((ord(c) + PASSWORD_KEY[i % 25]) % 256) for i, c in enumerate(value))
            if key == "password" else value) for key, value in keys.items()]
        lines += ["  >", "  </%s>" % section]
    return "".join(line + "\r\n" for line in lines + ["</kavriwebcam>"])


# The network section that uploads to a FtpServerProcess.
def ftp_settings(server, saveto, **keys):
    return {"host": "127.0.0.1", "port": server.port, "saveto": saveto, "user": server.user,
            "password": server.password, "active": 1, "stoponerror": 0, "usepassive": 1, **keys}
