"""Settings files for Python tests and scripts, written as the program writes them."""

# The shift the settings file applies to each password byte, by position.
PASSWORD_KEY = [1, -1, 0, 1, -1, 1, 1, 0, -1, -1, 0, 1, 1, -1, 0, -1, 1, 1, 0, -1, 1, 0, -1, 1, -1]


def stored_password(text):
    return "".join(chr((ord(c) + PASSWORD_KEY[i % 25]) % 256) for i, c in enumerate(text))


def settings_file(**sections):
    """A kavriWebCam.ini with the given keys, e.g. settings_file(image={"update": 1})."""
    lines = ["<kavriwebcam version='1.2.99'>"]
    for section, keys in sections.items():
        lines.append("  <" + section)
        for key, value in keys.items():
            if key == "password":
                value = stored_password(value)
            lines.append("    %s = '%s'" % (key, value))
        lines += ["  >", "  </%s>" % section]
    lines.append("</kavriwebcam>")
    return "".join(line + "\r\n" for line in lines)


def ftp_settings(server, saveto, **keys):
    """The network section that uploads to a FtpServerProcess."""
    network = {"host": "127.0.0.1", "port": server.port, "saveto": saveto, "user": server.user,
               "password": server.password, "active": 1, "stoponerror": 0, "usepassive": 1}
    network.update(keys)
    return network
