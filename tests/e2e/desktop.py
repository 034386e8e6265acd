"""A real X desktop for driving kavriWebCam from the outside.

Desktop starts Xvfb, the openbox window manager and the trayer system tray, and acts on
them only as a person could: xdotool moves and clicks the mouse and presses keys, xwininfo
and xprop tell what is on the screen, ImageMagick takes screenshots and reads JPEG files.
Program runs the real binary in a directory of its own and keeps its standard error.
"""

import os
import re
import shutil
import signal
import subprocess
import tempfile
import time


class Timeout(AssertionError):
    pass


def wait_until(condition, what, seconds=10.0):
    """Polls condition until it returns something true and returns that, or fails naming what."""
    deadline = time.monotonic() + seconds
    while True:
        value = condition()
        if value:
            return value
        if time.monotonic() > deadline:
            raise Timeout("waited %.0f s for %s" % (seconds, what))
        time.sleep(0.05)


def holds_for(condition, seconds):
    """Whether condition stays true while it is watched for the given time."""
    deadline = time.monotonic() + seconds
    while time.monotonic() < deadline:
        if not condition():
            return False
        time.sleep(0.05)
    return True


def run(*command, env=None, check=True):
    return subprocess.run(command, env=env, check=check, capture_output=True, text=True).stdout


# How far xwininfo -tree indents the root window's own children.
ROOT_CHILD_INDENT = 5


class Window:
    def __init__(self, id, x, y, width, height, name, mapped, popup):
        self.id, self.x, self.y, self.width, self.height = id, x, y, width, height
        # A popup (a menu) is a window of the screen's own that the program places itself,
        # outside the window manager; a tray icon is one too until the tray takes it in.
        self.name, self.mapped, self.popup = name, mapped, popup

    def __repr__(self):
        return "%s %dx%d+%d+%d%s" % (self.name, self.width, self.height, self.x, self.y,
                                     "" if self.mapped else " (unmapped)")


class Desktop:
    WIDTH, HEIGHT = 1024, 768

    def __init__(self):
        self.processes = []
        self.dir = tempfile.mkdtemp(prefix="kavri-e2e-desktop-")
        read_end, write_end = os.pipe()
        xvfb = subprocess.Popen(
            ["Xvfb", "-displayfd", str(write_end), "-screen", "0",
             "%dx%dx24" % (self.WIDTH, self.HEIGHT), "-nolisten", "tcp", "-noreset"],
            pass_fds=[write_end], stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        os.close(write_end)
        self.processes.append(xvfb)
        with os.fdopen(read_end) as display:
            number = display.readline().strip()
        if not number:
            raise RuntimeError("Xvfb did not start")
        self.env = dict(os.environ, DISPLAY=":" + number)
        self.env.pop("WAYLAND_DISPLAY", None)
        self.env.pop("QT_QPA_PLATFORM", None)

        self.start("openbox")
        wait_until(lambda: "window id" in run("xprop", "-root", "_NET_SUPPORTING_WM_CHECK",
                                              env=self.env, check=False),
                   "the window manager")
        self.start("trayer", "--edge", "bottom", "--align", "right", "--widthtype", "pixel",
                   "--width", "120", "--heighttype", "pixel", "--height", "28",
                   "--SetDockType", "true", "--transparent", "false")
        wait_until(lambda: self.tray_owner(), "the system tray")

    def start(self, *command):
        process = subprocess.Popen(command, env=self.env, stdout=subprocess.DEVNULL,
                                   stderr=subprocess.DEVNULL)
        self.processes.append(process)
        return process

    def close(self):
        for process in reversed(self.processes):
            process.terminate()
            try:
                process.wait(timeout=5)
            except subprocess.TimeoutExpired:
                process.kill()
                process.wait()
        shutil.rmtree(self.dir, ignore_errors=True)

    def tray_owner(self):
        return "panel" in run("xwininfo", "-root", "-tree", env=self.env, check=False)

    # What is on the screen.

    def windows(self, pattern="kavriwebcam"):
        """The windows whose name or class matches pattern, mapped or not, top to bottom."""
        tree = run("xwininfo", "-root", "-tree", env=self.env)
        found = []
        line_pattern = re.compile(r'^\s*(0x[0-9a-f]+) (.*?): \((.*?)\)\s+(\d+)x(\d+)\+-?\d+\+-?\d+'
                                  r'\s+\+(-?\d+)\+(-?\d+)')
        for line in tree.splitlines():
            match = line_pattern.match(line)
            if match and re.search(pattern, match.group(2) + match.group(3)):
                id = int(match.group(1), 16)
                info = run("xwininfo", "-id", str(id), env=self.env, check=False)
                found.append(Window(id, int(match.group(6)), int(match.group(7)),
                                    int(match.group(4)), int(match.group(5)),
                                    match.group(2).strip('"'), "IsViewable" in info,
                                    "Override Redirect State: yes" in info
                                    and len(line) - len(line.lstrip()) == ROOT_CHILD_INDENT))
        return found

    def is_mapped(self, id):
        return "IsViewable" in run("xwininfo", "-id", str(id), env=self.env, check=False)

    def visible_windows(self, pattern):
        return [w for w in self.windows(pattern) if w.mapped]

    def top_level(self, name):
        """The window the window manager manages with exactly this title, or None."""
        text = run("xprop", "-root", "_NET_CLIENT_LIST", env=self.env)
        for id in re.findall(r"0x[0-9a-f]+", text):
            titles = run("xprop", "-id", id, "WM_NAME", "_NET_WM_NAME", env=self.env, check=False)
            if any(line.split(" = ", 1)[-1] == '"%s"' % name for line in titles.splitlines()):
                return int(id, 16)
        return None

    def geometry(self, id):
        """(x, y, width, height) of a window, as xdotool tells it."""
        text = run("xdotool", "getwindowgeometry", str(id), env=self.env)
        x, y = map(int, re.search(r"Position: (-?\d+),(-?\d+)", text).groups())
        width, height = map(int, re.search(r"Geometry: (\d+)x(\d+)", text).groups())
        return x, y, width, height

    def rect(self, id):
        """(x, y, width, height) of a window on the screen, without the frame around it."""
        text = run("xwininfo", "-id", str(id), env=self.env)
        return tuple(int(re.search(label + r":\s+(-?\d+)", text).group(1))
                     for label in ("Absolute upper-left X", "Absolute upper-left Y", "Width",
                                   "Height"))

    def frame(self, id):
        """(x, y, width, height) of a window with the window manager's frame around it."""
        while True:
            text = run("xwininfo", "-children", "-id", str(id), env=self.env)
            parent = int(re.search(r"Parent window id: (0x[0-9a-f]+)", text).group(1), 16)
            if "(the root window)" in text.split("Parent window id:")[1].splitlines()[0]:
                return self.rect(id)
            id = parent

    def property(self, id, name):
        return run("xprop", "-id", str(id), name, env=self.env, check=False)

    def stacking(self):
        text = run("xprop", "-root", "_NET_CLIENT_LIST_STACKING", env=self.env)
        return [int(id, 16) for id in re.findall(r"0x[0-9a-f]+", text)]

    def tray_icons(self):
        """The icons docked in the tray, as windows."""
        tree = run("xwininfo", "-root", "-tree", env=self.env).splitlines()
        icons = []
        inside = None
        for line in tree:
            indent = len(line) - len(line.lstrip())
            if '"panel"' in line:
                inside = indent
            elif inside is not None:
                if indent <= inside:
                    inside = None
                elif "kavriwebcam" in line:
                    icons.extend(w for w in self.windows("kavriwebcam")
                                 if w.id == int(line.split()[0], 16))
        return icons

    def screenshot(self, path, crop=None):
        """Saves the screen, or a rectangle (x, y, width, height) of it, to an image file."""
        command = ["import", "-window", "root"]
        if crop:
            command += ["-crop", "%dx%d+%d+%d" % (crop[2], crop[3], crop[0], crop[1]), "+repage"]
        run(*command, path, env=self.env)
        return path

    def pixels(self, x, y, width, height):
        """The screen's pixels in a rectangle, as rows of (r, g, b)."""
        path = os.path.join(self.dir, "part.png")
        self.screenshot(path, (x, y, width, height))
        return read_pixels(path)

    def clipboard(self):
        return run("xclip", "-o", "-selection", "clipboard", env=self.env, check=False)

    # What a person does.

    def xdotool(self, *args):
        run("xdotool", *map(str, args), env=self.env)

    def move(self, x, y):
        # --sync waits for the pointer to move, which it never does when it is there already.
        here = run("xdotool", "getmouselocation", env=self.env)
        if "x:%d y:%d " % (x, y) not in here:
            self.xdotool("mousemove", "--sync", x, y)

    def click(self, x, y, button=1, repeat=1):
        self.move(x, y)
        self.xdotool("click", "--repeat", repeat, "--delay", 80, button)

    def key(self, *keys):
        self.xdotool("key", "--delay", 60, *keys)

    def type(self, text):
        self.xdotool("type", "--delay", 30, text)

    def drag(self, start, *points, steps=12):
        """Presses the left button at start, moves through the points and lets go."""
        self.move(*start)
        self.xdotool("mousedown", 1)
        here = start
        for point in points:
            for step in range(1, steps + 1):
                self.move(here[0] + (point[0] - here[0]) * step // steps,
                          here[1] + (point[1] - here[1]) * step // steps)
            here = point
        self.xdotool("mouseup", 1)


class Weston:
    """A Wayland desktop without a screen: the weston compositor with its headless back end,
    and XWayland for X11 programs when asked for. Programs started with its env find it
    as they find a Wayland session's compositor."""

    SOCKET = "wayland-kavri-e2e"

    def __init__(self, xwayland):
        self.dir = tempfile.mkdtemp(prefix="kavri-e2e-weston-")
        os.chmod(self.dir, 0o700)
        log = os.path.join(self.dir, "weston.log")
        self.env = dict(os.environ, XDG_RUNTIME_DIR=self.dir, WAYLAND_DISPLAY=self.SOCKET,
                        XDG_SESSION_TYPE="wayland")
        for name in ("DISPLAY", "QT_QPA_PLATFORM"):
            self.env.pop(name, None)
        # Under AddressSanitizer: full stacks for what is allocated, so that the leaks of
        # Qt's Wayland platform can be told by their callers (tests/lsan.supp).
        self.env["ASAN_OPTIONS"] = ":".join(filter(None, [os.environ.get("ASAN_OPTIONS"),
                                                          "fast_unwind_on_malloc=0"]))
        command = ["weston", "--backend=headless-backend.so", "--socket=" + self.SOCKET,
                   "--idle-time=0", "--debug", "--log=" + log]
        if xwayland:
            command.append("--xwayland")
        self.process = subprocess.Popen(command, env=self.env, stdout=subprocess.DEVNULL,
                                        stderr=subprocess.DEVNULL)
        wait_until(lambda: os.path.exists(os.path.join(self.dir, self.SOCKET)), "weston")
        if xwayland:
            def display():
                with open(log) as text:
                    return re.search(r"xserver listening on display (:\d+)", text.read())
            self.env["DISPLAY"] = wait_until(display, "XWayland").group(1)

    def close(self):
        self.process.terminate()
        try:
            self.process.wait(timeout=5)
        except subprocess.TimeoutExpired:
            self.process.kill()
            self.process.wait()
        shutil.rmtree(self.dir, ignore_errors=True)

    def wayland_windows(self):
        """The titles of the Wayland programs' top-level windows the compositor shows."""
        return re.findall(r"top-level window '([^']*)'",
                          run("weston-debug", "scene-graph", env=self.env))

    def x11_windows(self):
        """The titles of the X11 programs' windows on XWayland."""
        return re.findall(r'^\s*0x[0-9a-f]+ "([^"]*)"',
                          run("xwininfo", "-root", "-tree", env=self.env), re.MULTILINE)


def read_pixels(path, box=None):
    """The pixels of an image file (or a rectangle (x, y, width, height) of it) as rows of (r, g, b)."""
    command = ["convert", path]
    if box:
        command += ["-crop", "%dx%d+%d+%d" % (box[2], box[3], box[0], box[1]), "+repage"]
    size = run("identify", "-format", "%w %h", path)
    width, height = (box[2], box[3]) if box else map(int, size.split())
    data = subprocess.run(command + ["-depth", "8", "rgb:-"], check=True,
                          capture_output=True).stdout
    rows = []
    for y in range(height):
        row = data[y * width * 3:(y + 1) * width * 3]
        rows.append([tuple(row[i:i + 3]) for i in range(0, len(row), 3)])
    return rows


def image_size(path):
    return tuple(map(int, run("identify", "-format", "%w %h", path).split()))


class Program:
    """kavriWebCam running on the desktop in a directory of its own."""

    def __init__(self, binary, desktop, directory, *arguments):
        self.desktop = desktop
        self.dir = directory
        self.stderr_path = os.path.join(directory, "stderr.txt")
        with open(self.stderr_path, "wb") as stderr:
            self.process = subprocess.Popen([binary, *arguments], cwd=directory,
                                            env=desktop.env, stderr=stderr,
                                            stdout=subprocess.DEVNULL)

    def path(self, name):
        return os.path.join(self.dir, name)

    def stderr(self):
        with open(self.stderr_path, encoding="utf-8", errors="replace") as stderr:
            return stderr.read()

    def window(self):
        """The program's main window once it is on the screen."""
        def find():
            id = self.desktop.top_level("kavriWebCam")
            return id if id and self.desktop.is_mapped(id) else None
        return wait_until(find, "the program's window")

    def running(self):
        return self.process.poll() is None

    def wait_exit(self, seconds=10):
        return self.process.wait(timeout=seconds)

    def stop(self):
        if self.running():
            self.process.send_signal(signal.SIGTERM)
            try:
                self.process.wait(timeout=10)
            except subprocess.TimeoutExpired:
                self.process.kill()
                self.process.wait()
