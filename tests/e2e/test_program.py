# kavriWebCam driven end to end on a real desktop, only the way a person can drive it.
#
# Each group of tests shares one desktop (Xvfb, openbox, trayer; weston for Wayland). The tests
# act with xdotool (mouse and keys) and look from the outside with xwininfo, xprop, ImageMagick
# and xclip, and at the files and uploads the program makes.
#
#     KAVRIWEBCAM=path/to/kavriwebcam python3 -m unittest test_program
#
# A failed test leaves a screenshot and the program's standard error in E2E_ARTIFACTS.

import contextlib, functools, os, re, select, shutil, signal, socket, subprocess, sys, tempfile
import time, unittest
from pathlib import Path

sys.path.insert(0, str(Path(__file__).resolve().parent.parent / "support"))
from ftp_process import FtpServerProcess, die_with_parent  # noqa: E402
from settings_text import ftp_settings, settings_file  # noqa: E402

BINARY = os.environ.get("KAVRIWEBCAM", "kavriwebcam")
ARTIFACTS = os.path.abspath(os.environ.get("E2E_ARTIFACTS", "e2e-artifacts"))
# The context menu and its submenus, as keyboard navigation meets them (Source... and
# Display... are greyed for the test source, and the keys pass them by).
MENU = ("Hide|Run|Instant Grab!|Settings...|Camera Settings...|Window Zoom|Select Device...|About|"
        "Exit").split("|")
SUBMENUS = {"Settings...": ["Image...", "FTP...", "Save On Exit", "Save Settings", "Live View...",
                             "Picture...", "Archive...", "Status..."],
            "Camera Settings...": ["Format...", "Preview..."], "Window Zoom": "25% 37% 50% 75% 100% 150% 200% 250% 300% Full".split()}
# The dialogs the menu opens and their titles; the About box has none, so the window system
# names it after the program.
DIALOGS = [("Settings...|Image...", "Image Settings"), ("Settings...|FTP...", "FTP Settings"),
           ("About", "kavriwebcam"), ("Settings...|Picture...", "Picture"),
           ("Settings...|Archive...", "Archive Settings"),
           ("Camera Settings...|Format...", "Test Source - Video Format"),
           ("Camera Settings...|Preview...", "Preview Settings")]
# The test source's frames, the window at the first zoom (75%) and the screen.
FRAME, WINDOW, SCREEN = (320, 240), (240, 180), (1024, 768)
desktop_env, processes = None, []


def run(*command, check=True, env=None):
    return subprocess.run([str(word) for word in command], env=env or desktop_env, check=check,
                          capture_output=True, text=True).stdout


def start(*command, env=None, **options):
    processes.append(subprocess.Popen(command, env=env or desktop_env, stdout=subprocess.DEVNULL,
                                      stderr=subprocess.DEVNULL, preexec_fn=die_with_parent,
                                      **options))
    return processes[-1]


def stop(process):
    process.terminate()
    with contextlib.suppress(subprocess.TimeoutExpired):
        return process.wait(timeout=10)
    process.kill()
    process.wait()


def wait_until(condition, what, seconds=30.0):
    deadline = time.monotonic() + seconds
    while not (value := condition()):
        if time.monotonic() > deadline:
            raise AssertionError("waited %.0f s for %s" % (seconds,
                                                            what() if callable(what) else what))
        time.sleep(0.05)
    return value


# Starts a desktop of that size with the tray along `edge`; returns its environment.
def start_desktop(size, edge="bottom", *tray_options):
    read_end, write_end = os.pipe()
    start("Xvfb", "-displayfd", str(write_end), "-screen", "0", "%dx%dx24" % size, "-nolisten",
          "tcp", "-noreset", pass_fds=[write_end])
    os.close(write_end)
    with os.fdopen(read_end) as display:
        env = {name: value for name, value in os.environ.items() if name not in (
            "WAYLAND_DISPLAY", "QT_QPA_PLATFORM")} | {"DISPLAY": ":" + display.readline().strip()}
    start("openbox", env=env)
    wait_until(lambda: "window id" in run("xprop", "-root", "_NET_SUPPORTING_WM_CHECK",
                                          check=False, env=env), "the window manager")
    start(*("trayer --edge %s --align right --widthtype pixel --width 120 --heighttype pixel "
            "--height 28 --SetDockType true --transparent false" % edge).split(), *tray_options,
          env=env)
    wait_until(lambda: '"panel"' in run("xwininfo", "-root", "-tree", env=env), "the system tray")
    return env


def setUpModule():
    global desktop_env
    desktop_env = start_desktop(SCREEN)


def tearDownModule():
    for process in reversed(processes):
        stop(process)


# A rectangle (x, y, width, height) of the screen or of an image file, as rows of (r, g, b).
def pixels(box, path=None):
    data = subprocess.run((["convert", path] if path else ["import", "-window", "root"]) +
                          ["-crop", "%dx%d+%d+%d" % (box[2], box[3], box[0], box[1]), "+repage",
                           "-depth", "8", "rgb:-"], env=desktop_env, check=True,
                          capture_output=True).stdout
    row = box[2] * 3
    return [[tuple(data[i:i + 3]) for i in range(y * row, (y + 1) * row, 3)] for y in range(box[3])]


def differing_pixels(first, second, threshold=60):
    return sum(1 for row_a, row_b in zip(first, second) for a, b in zip(row_a, row_b)
               if max(abs(x - y) for x, y in zip(a, b)) > threshold)


# The darkest luma of each line of dark text on a light background, top to bottom; rows mostly
# dark (a highlighted item) and columns left of `left` (check marks) do not count.
def text_lines(rows, left=20):
    lines, current = [], None
    for row in rows:
        if (darkest := text_row(row, left)) is not None:
            current = darkest if current is None else min(current, darkest)
        elif current is not None:
            lines, current = lines + [current], None
    return lines


# The darkest luma of a row of dark text on a light background, or None for another row.
def text_row(row, left=20):
    values = sorted((299 * r + 587 * g + 114 * b) // 1000 for r, g, b in row[left:-8])
    return values[0] if values[0] < 230 and values[len(values) // 2] > 200 else None


# Where a menu's highlight is: None while there is none, else how many rows of text lie above
# it (0 for the first item).
def highlight(menu):
    above = 0
    for row in pixels(menu):
        if sum(1 for r, g, b in row if b > 150 and r < 100) > len(row) // 2:
            return above
        above += text_row(row) is not None
    return None


def move(x, y):
    # --sync waits for the pointer to move, which it never does when it is there already.
    if "x:%d y:%d " % (x, y) not in run("xdotool", "getmouselocation"):
        run("xdotool", "mousemove", "--sync", x, y)


def click(box, button=1, repeat=1):
    move(box[0] + box[2] // 2, box[1] + box[3] // 2)
    run("xdotool", "click", "--repeat", repeat, "--delay", 80, button)


def key(*keys):
    run("xdotool", "key", "--delay", 60, *keys)


# The window the window manager manages with exactly this title, or None.
def top_level(title):
    for id in re.findall(r"0x[0-9a-f]+", run("xprop", "-root", "_NET_CLIENT_LIST")):
        if '= "%s"\n' % title in run("xprop", "-id", id, "WM_NAME", "_NET_WM_NAME", check=False):
            return int(id, 16)
    return None


def mapped(id):
    return id is not None and "IsViewable" in run("xwininfo", "-id", id, check=False)


def geometry(id):
    return tuple(map(int, re.search(r"Position: (-?\d+),(-?\d+).*Geometry: (\d+)x(\d+)", run(
        "xdotool", "getwindowgeometry", id), re.DOTALL).groups()))


# These windows in the window manager's stacking order, bottom to top.
def stacked(*ids):
    return [id for id in (int(word, 16) for word in re.findall(
        r"0x[0-9a-f]+", run("xprop", "-root", "_NET_CLIENT_LIST_STACKING"))) if id in ids]


# (x, y, width, height) of a window's inside on the screen, from xwininfo.
def rect(id, info=None):
    info = info or run("xwininfo", "-id", id)
    return tuple(int(re.search(label + r":\s+(-?\d+)", info).group(1))
                 for label in ("upper-left X", "upper-left Y", "Width", "Height"))


# Where the window manager's frame around a window, its ancestor just below the root, begins.
def frame_corner(id):
    while not (parent := re.search(r"Parent window id: (\S+)( \(the root)?",
                                   run("xwininfo", "-children", "-id", id))).group(2):
        id = parent.group(1)
    return rect(id)[:2]


# The program's menus on the screen, windows of its own that it places itself outside the
# window manager, as {id: (x, y, width, height)}.
def popups():
    found = {}
    for id in re.findall(r"^ {5}(0x[0-9a-f]+) .*kavriwebcam", run("xwininfo", "-root", "-tree"),
                         re.MULTILINE):
        info = run("xwininfo", "-id", id, check=False)
        if "IsViewable" in info and "Override Redirect State: yes" in info:
            found[id] = rect(id, info)
    return found


# The program's icons shown in the tray's panel, as (x, y, width, height).
def tray_icons():
    panel = re.search(r'(0x[0-9a-f]+) "panel"', run("xwininfo", "-root", "-tree")).group(1)
    return [rect(id, info) for id in re.findall(r"(0x[0-9a-f]+) .*kavriwebcam", run(
        "xwininfo", "-tree", "-id", panel)) if "IsViewable" in (info := run("xwininfo", "-id", id,
                                                                            check=False))]


class ProgramTest(unittest.TestCase):
    def __init_subclass__(cls):
        for name, test in list(vars(cls).items()):
            if name.startswith("test"):
                setattr(cls, name, functools.wraps(test)(
                    lambda self, test=test: self.saving_artifacts(test)))

    def saving_artifacts(self, test):
        try:
            test(self)
        except BaseException:
            name = os.path.join(ARTIFACTS, self.id().split(".", 1)[-1])
            os.makedirs(ARTIFACTS, exist_ok=True)
            run("import", "-window", "root", name + ".png", check=False)
            print("\nscreenshot: %s.png" % name)
            if self.program:
                shutil.copy(self.dir / "stderr.txt", name + ".stderr.txt")
                print("standard error of the program:\n" +
                      (self.dir / "stderr.txt").read_text(errors="replace"))
            raise

    def setUp(self):
        self.dir, self.program = Path(tempfile.mkdtemp(prefix="kavri-e2e-")), None

    def tearDown(self):
        if self.program:
            stop(self.program)
        shutil.rmtree(self.dir, ignore_errors=True)

    # Starts the program with the test source and a settings file of these sections.
    def start(self, *arguments, settings=None, env=None, **sections):
        (self.dir / "kavriWebCam.ini").write_bytes(
            (settings or settings_file(**{"network": {"active": 0}, **sections})).encode("latin-1"))
        with open(self.dir / "stderr.txt", "wb") as stderr:
            self.program = subprocess.Popen([BINARY, "/testsource", *arguments], cwd=self.dir,
                                            env=env or desktop_env, stderr=stderr,
                                            stdout=subprocess.DEVNULL, preexec_fn=die_with_parent)

    def window(self):
        return wait_until(lambda: (id := top_level("kavriWebCam")) and mapped(id) and id,
                          "the program's window")

    def wait_for_window(self, place):
        wait_until(lambda: geometry(self.window()) == place,
                   lambda: "the window at %s, not %s" % (place, geometry(self.window())))
        return self.window()

    def new_popup(self, before, what):
        return wait_until(lambda: [box for id, box in popups().items() if id not in before],
                          what)[0]

    # Right-clicks the window, highlights the menu's first item and opens the submenu `item`;
    # returns the rectangle of the menu open last.
    def open_menu(self, item=None):
        before = popups()
        click(geometry(self.window()), button=3)
        menu = self.new_popup(before, "the context menu")
        # A key pressed before the menu has taken the keyboard is lost, and one it took may be
        # drawn late: Down while nothing is highlighted, Up while a later item is, until the
        # first item is highlighted, whatever the keys pressed meanwhile did.
        wait_until(lambda: self.towards_first_item(menu), "the menu's first item highlighted", 30)
        if item:
            before = popups()
            key(*["Down"] * MENU.index(item), "Right")
            return self.new_popup(before, "the submenu " + item)
        return menu

    # One step towards the menu's first item: True once it is highlighted; else a key, and up
    # to a second for the highlight to move.
    @staticmethod
    def towards_first_item(menu):
        if (at := highlight(menu)) == 0:
            return True
        key("Up" if at else "Down")
        for _ in range(10):
            if highlight(menu) != at:
                break
            time.sleep(0.1)
        return False

    def close_menus(self):
        key("Escape", "Escape")
        wait_until(lambda: not popups(), "the menus to close")

    def choose(self, item, subitem=None):
        self.open_menu(subitem and item)
        key(*["Down"] * (SUBMENUS[item].index(subitem) if subitem else MENU.index(item)), "Return")
        wait_until(lambda: not popups(), "the menu to close")

    def ftp_item_greyed(self):
        # With "Image..." highlighted, the lines are "FTP...", "Save On Exit", "Save Settings",
        # "Live View...", "Picture...", "Archive...", "Status...".
        submenu = self.open_menu("Settings...")
        lines = wait_until(lambda: len(lines := text_lines(pixels(submenu))) == 7 and lines,
                           "the submenu to be drawn")
        self.close_menus()
        return lines[0] - lines[2] > 50

    def close_dialog(self, dialog, keys=("Escape",)):
        key(*keys)
        wait_until(lambda: not mapped(dialog), "the dialog to close")

    # The JPEG file's (inode, modification time) and bytes, or None while there is none.
    def image(self):
        with contextlib.suppress(FileNotFoundError), open(self.dir / "image.jpg", "rb") as image:
            info = os.fstat(image.fileno())
            return (info.st_ino, info.st_mtime_ns), image.read()

    # Waits for a JPEG file other than `after`; returns its identity and a copy's path.
    def next_image(self, after=None, seconds=30):
        identity, contents = wait_until(lambda: (image := self.image()) and (
            after is None or image[0] != after[0]) and image, "a new image.jpg", seconds)
        path = self.dir / ("grab-%d.jpg" % len(os.listdir(self.dir)))
        path.write_bytes(contents)
        return identity, path


class WindowTest(ProgramTest):
    def test_the_window_its_menu_zoom_and_dialogs(self):
        # Where it was left, without a frame, above other windows, with its icon in the tray.
        self.start(program={"windowpositionX": 40, "windowpositionY": 40})
        window = self.wait_for_window((40, 40) + WINDOW)
        hints = run("xprop", "-id", window, "_MOTIF_WM_HINTS").split("=")[1].split(",")
        self.assertTrue(int(hints[0], 16) & 2 and int(hints[2], 16) == 0, "no decorations")
        self.assertIn("_NET_WM_STATE_ABOVE", run("xprop", "-id", window, "_NET_WM_STATE"))
        other = start("xmessage", "-geometry", "300x300+50+50", "in front?")
        other_window = wait_until(lambda: top_level("xmessage"), "another window")
        run("xdotool", "windowactivate", "--sync", other_window)
        wait_until(lambda: stacked(window, other_window) == [other_window, window],
                   "the program's window on top")
        stop(other)
        wait_until(tray_icons, "the tray icon")

        click((40 + 150, 40 + 100, 0, 0), button=3)
        menu = self.new_popup({}, "the context menu")
        self.assertEqual(menu[:2], (40 + 150, 40 + 100))
        # Drawn: a line of text for each item at least (underlined letters add some).
        wait_until(lambda: len(text_lines(pixels(menu))) >= len(MENU), "the menu's items")
        # The picture of the window and its menu that the README shows.
        os.makedirs(ARTIFACTS, exist_ok=True)
        run("import", "-window", "root", "-crop", "%dx%d+40+40" % (menu[0] + menu[2] - 39, menu[1] +
            menu[3] - 39), "+repage", os.path.join(ARTIFACTS, "context-menu.png"))
        self.close_menus()

        self.choose("Window Zoom", "100%")
        self.wait_for_window((40, 40) + FRAME)
        self.choose("Window Zoom", "Full")
        self.wait_for_window((0, 0) + SCREEN)
        # The window stays above other windows, but not above its own dialogs.
        for items, title in DIALOGS:
            self.choose(*items.split("|"))
            dialog = wait_until(lambda: top_level(title), "the dialog " + title)
            wait_until(lambda: stacked(window, dialog) == [window, dialog], title + " above")
            # Drawn: mostly a dialog's light grey or white, which the test picture has little of.
            wait_until(lambda: (rows := pixels(rect(dialog))) and sum(
                1 for row in rows for p in row if min(p) >= 220 and max(p) - min(p) <= 8) >
                len(rows) * len(rows[0]) // 2, "the dialog %s on the screen" % title)
            self.close_dialog(dialog)
        self.choose("Window Zoom", "25%")
        self.wait_for_window((0, 0, 80, 60))

    def test_a_broken_settings_file_drag_hide_exit_and_a_minimized_start(self):
        # Markup errors, then the file ends in the middle: what comes before them is taken.
        self.start(settings="<kavriwebcam version='1.2.99'>\r\n  <program windowpositionX = '300'"
                   " windowpositionY = '200'>\r\n  </capture>\r\n  <image jpegquality = '50' "
                   "<<< \x01 &&& ''\r\n  </kavriwebcam> <network active='0' upd")
        self.wait_for_window((300, 200) + WINDOW)
        # The window follows the cursor until its left edge is 12 pixels from the screen's;
        # the next motion the program sees, which may come before ours, snaps it there.
        move(300 + 120, 200 + 90)
        run("xdotool", "mousedown", 1, *[word for step in range(1, 13) for word in (
            "mousemove", "--sync", 420 - 24 * step, 330)])
        wait_until(lambda: geometry(self.window())[0] in (12, 0), "the window at the edge")
        run("xdotool", "mousemove", "--sync", 420 - 290, 330, "mouseup", 1)
        self.wait_for_window((0, 240) + WINDOW)

        self.choose("Hide")
        wait_until(lambda: not mapped(top_level("kavriWebCam")), "the window to hide")
        click(wait_until(tray_icons, "the tray icon")[0])
        self.wait_for_window((0, 240) + WINDOW)

        self.choose("Window Zoom", "100%")
        self.choose("Run")
        self.next_image()
        self.assertTrue((self.dir / "_temp.dib").exists())
        self.choose("Exit")
        self.assertEqual(self.program.wait(timeout=10), 0)
        saved = (self.dir / "kavriWebCam.ini").read_bytes().decode("latin-1")
        for line in ("windowzoom = '4'", "windowpositionX = '0'", "windowpositionY = '240'",
                     "active = '0'", "jpegfile = 'image.jpg'", "update = '5'",
                     "host = 'ftp.example.com'"):
            self.assertIn(line, saved)
        self.assertTrue(saved.endswith("</kavriwebcam>\r\n"))
        self.assertFalse((self.dir / "_temp.dib").exists())

        # Started running and minimized: it grabs with its icon in the tray and no window,
        # which a click on the icon brings where it was left.
        self.start("/run", "/minimized", settings=saved)
        self.next_image(self.next_image())
        self.assertFalse(mapped(top_level("kavriWebCam")))
        click(wait_until(tray_icons, "the tray icon")[0])
        self.wait_for_window((0, 240) + FRAME)


    def test_the_format_chosen_is_the_cameras_again_after_a_restart(self):
        self.start()
        self.wait_for_window((0, 0) + WINDOW)
        self.choose("Camera Settings...", "Format...")
        # The sizes listed, 320 x 240 chosen: the next one down is 640 x 480.
        self.close_dialog(wait_until(lambda: top_level("Test Source - Video Format"),
                                     "the Format dialog"), ("Down", "Return"))
        self.wait_for_window((0, 0, 480, 360))
        self.choose("Exit")
        self.assertEqual(self.program.wait(timeout=10), 0)
        saved = (self.dir / "kavriWebCam.ini").read_bytes().decode("latin-1")
        self.assertIn("</archive>\r\n  <camera\r\n    card = 'Test Source'\r\n", saved)
        self.assertIn("    width = '640'\r\n    height = '480'\r\n", saved)
        self.start(settings=saved)
        self.wait_for_window((0, 0, 480, 360))


class GrabTest(ProgramTest):
    def test_running_with_uploads_until_an_ftp_error_stops_it(self):
        server = FtpServerProcess(self.dir, "webcam", "e2e pass")
        server.start()
        self.addCleanup(server.stop)
        # The error box shows above the window even when the window fills the screen.
        self.start(image={"update": 2}, program={"windowzoom": 9},
                   network=ftp_settings(server, "live.jpg", stoponerror=1))
        self.wait_for_window((0, 0) + SCREEN)
        self.assertFalse(self.ftp_item_greyed())
        self.choose("Run")
        images = [self.next_image()]
        while len(images) < 3:
            images.append(self.next_image(images[-1]))
        self.assertEqual(run("identify", "-format", "%w %h", images[2][1]), "320 240")
        # Two intervals of 2 seconds, give or take the half-second tick and a busy machine.
        between = (images[2][0][1] - images[0][0][1]) / 1e9
        self.assertTrue(3 <= between < 8, "%.2f s for two intervals" % between)
        # The date and time line at the bottom, below the test card's moving block: a last
        # digit going from 5 to 9 changes few pixels, but they change a lot.
        band = (0, FRAME[1] - 16, FRAME[0], 16)
        self.assertGreater(differing_pixels(pixels(band, images[0][1]), pixels(band, images[2][1]),
                                            threshold=40), 2, "the time differs")
        wait_until(lambda: (live := Path(server.home, "live.jpg")).exists() and live.read_bytes()
                   in {path.read_bytes() for _, path in images}, "an upload of a grabbed image")
        self.assertTrue(self.ftp_item_greyed())
        self.assertEqual(server.log_lines().count("LOGIN webcam"), 1, "one login for all uploads")

        server.stop()
        box = wait_until(lambda: top_level("kavri WebCam Error"), "the error box", seconds=30)
        # The message can be selected with a click into it and Ctrl+A, and copied.
        click(geometry(box)[:2] + (geometry(box)[2], 80))
        key("ctrl+a", "ctrl+c")
        wait_until(lambda: "Webcam has been stopped." in run(
            "xclip", "-o", "-selection", "clipboard", check=False), "the box's text copied")
        self.close_dialog(box, ("Return",))
        last = self.image()[0]
        time.sleep(3)
        self.assertEqual(self.image()[0], last, "no grabs after the stop")
        self.assertFalse(self.ftp_item_greyed())
        self.choose("Settings...", "FTP...")
        self.close_dialog(wait_until(lambda: top_level("FTP Settings"), "the FTP dialog"))

    def test_a_double_click_grabs_the_image_dialog_changes_the_text_and_an_ending_signal(self):
        # The uploads go to a server that takes the connection and never says a word.
        silent = socket.create_server(("127.0.0.1", 0))
        self.addCleanup(silent.close)
        self.start(network={"host": "127.0.0.1", "port": silent.getsockname()[1],
                            "saveto": "live.jpg", "user": "webcam", "active": 1, "usepassive": 1})
        self.wait_for_window((0, 0) + WINDOW)
        self.assertIsNone(self.image())
        # The text line is at the top, right of the test card's frame counter.
        band = (80, 0, FRAME[0] - 80, 8)
        click(geometry(self.window()), repeat=2)
        first = self.next_image()
        self.assertEqual(run("identify", "-format", "%w %h", first[1]), "320 240")
        self.assertTrue(select.select([silent], [], [], 10)[0], "no upload reached the server")
        click(geometry(self.window()), repeat=2)
        second = self.next_image(first)
        self.assertEqual(differing_pixels(pixels(band, first[1]), pixels(band, second[1])), 0)

        self.choose("Settings...", "Image...")
        dialog = wait_until(lambda: top_level("Image Settings"), "the image dialog")
        # Centred on the pointer, which is on the window in the screen's corner, as far as it
        # stays on the screen: its frame starts in the corner.
        wait_until(lambda: frame_corner(dialog) == (0, 0), "the dialog in the corner")
        # From OK to the text field: Cancel, quality, file, interval, date check box, text.
        key(*["Tab"] * 6, "ctrl+a")
        run("xdotool", "type", "--delay", 30, "W" * 30)
        self.close_dialog(dialog, ("Return",))
        click(geometry(self.window()), repeat=2)
        third = self.next_image(second)
        self.assertGreater(differing_pixels(pixels(band, second[1]), pixels(band, third[1])), 50)
        # An upload still waiting for the server does not hold up the end.
        self.program.send_signal(signal.SIGTERM)
        self.assertEqual(self.program.wait(timeout=1), 0)


class HealthTest(ProgramTest):
    # The Status window's text, copied, once it holds `text`; the window stays open and follows.
    def status(self, text, seconds=10):
        if not mapped(top_level("kavriWebCam Status")):
            # The last item, up from the first (FTP... is passed by while running).
            self.open_menu("Settings...")
            key("Up", "Return")
        window = wait_until(lambda: top_level("kavriWebCam Status"), "the Status window")

        def copied():
            click(geometry(window))
            key("ctrl+a", "ctrl+c")
            return run("xclip", "-o", "-selection", "clipboard", check=False)
        return wait_until(lambda: text in (now := copied()) and now, "%r in the Status window" %
                          text, seconds)

    def test_a_refused_login_and_its_end_show_in_the_status_window_within_a_grab(self):
        server = FtpServerProcess(self.dir, "webcam", "right")
        server.start()
        self.addCleanup(server.stop)
        self.start("/run", image={"update": 1},
                   network=ftp_settings(server, "live.jpg", password="wrong"))
        self.window()
        self.assertRegex(self.status("upload failing", seconds=4),
                         r"\d\d:\d\d:\d\d  upload failing: .*530")
        server.stop()
        server.password = "wrong"
        server.start()
        # After the worker's pause between attempts, which doubles from 1 s.
        text = self.status("upload working again", seconds=20)
        self.assertRegex(text.split("newest first:")[1], r"^\n\S+  upload working again\n"
                         r"\S+  upload failing: connect to 127.0.0.1:\d+: 530")

    def test_without_a_tray_hide_minimises_a_second_start_raises_and_no_server_is_set_up(self):
        trayer = next(process for process in processes if process.args[0] == "trayer")
        stop(trayer)
        processes.remove(trayer)
        restart = lambda: start(*trayer.args) and wait_until(
            lambda: '"panel"' in run("xwininfo", "-root", "-tree"), "the system tray again")
        self.addCleanup(lambda: any(process.args[0] == "trayer" for process in processes) or
                        restart())
        # FTP on with the placeholder host, stopping at the first error: nothing is tried.
        self.start("/run", image={"update": 1}, network={"active": 1, "stoponerror": 1})
        run("xdotool", "windowactivate", "--sync", self.window(), "key", "shift+F10")
        self.new_popup({}, "the menu opened by Shift+F10")
        self.close_menus()
        for again in (False, True):
            self.choose("Hide")
            wait_until(lambda: "_NET_WM_STATE_HIDDEN" in run("xprop", "-id", top_level(
                "kavriWebCam"), "_NET_WM_STATE"), "the window minimised")
            # The files of the directory but those the running grabber writes, also while
            # they are written under a temporary name.
            files = lambda: {(name, (self.dir / name).read_bytes()) for name in os.listdir(
                self.dir) if name not in ("_temp.dib", "image.jpg") and
                not name.startswith(".kavri-")}
            before = files()
            if again:
                self.assertEqual(subprocess.run([BINARY, "/testsource"], cwd=self.dir,
                                                env=desktop_env, timeout=10).returncode, 0)
                self.assertEqual(files(), before)
            else:
                run("xdotool", "search", "--name", "^kavriWebCam$", "windowactivate", "%@")
            self.window()
        self.assertIn("upload: FTP not set up", self.status("Now:"))
        self.assertNotIn("upload", (self.dir / "stderr.txt").read_text())
        # A tray that comes later gets the icon.
        restart()
        wait_until(tray_icons, "the tray icon")


class WaylandTest(ProgramTest):
    def test_on_wayland_it_takes_xwayland_where_there_is_one_and_else_says_what_it_lacks(self):
        for xwayland in (True, False):
            runtime = tempfile.mkdtemp(prefix="weston-", dir=self.dir)
            # Under AddressSanitizer: full stacks for what is allocated, so that the leaks of
            # Qt's Wayland platform can be told by their callers (tests/lsan.supp).
            env = dict(desktop_env, XDG_RUNTIME_DIR=runtime, WAYLAND_DISPLAY="wayland-kavri-e2e",
                       XDG_SESSION_TYPE="wayland", ASAN_OPTIONS=":".join(filter(None, [
                           os.environ.get("ASAN_OPTIONS"), "fast_unwind_on_malloc=0"])))
            del env["DISPLAY"]
            log = Path(runtime, "weston.log")
            weston = start("weston", "--backend=headless-backend.so", "--idle-time=0",
                           "--socket=wayland-kavri-e2e", "--debug", "--log=%s" % log,
                           *["--xwayland"] * xwayland, env=env)
            wait_until(lambda: Path(runtime, "wayland-kavri-e2e").exists(), "weston")
            if xwayland:
                env["DISPLAY"] = wait_until(lambda: re.search(
                    r"xserver listening on display (:\d+)", log.read_text()), "XWayland").group(1)
            self.start("/run", env=env)
            self.next_image(self.image(), seconds=20)
            # The X11 windows on XWayland, or the Wayland windows weston shows.
            wait_until(lambda: '"kavriWebCam"' in run("xwininfo", "-root", "-tree", env=env)
                       if xwayland else "top-level window 'kavriWebCam'" in run(
                           "weston-debug", "scene-graph", env=env), "the program's window")
            self.assertEqual((self.dir / "stderr.txt").read_text(), "" if xwayland else (
                "kavriWebCam: running on Wayland without X11: the window goes where the desktop "
                "puts it and does not stay on top\n"))
            stop(self.program)
            self.assertEqual(self.program.returncode, 0)
            stop(weston)



# A 1280 x 800 screen with a 28-pixel panel at its top, and a 1080p picture.
class ScreenTest(ProgramTest):
    AREA = (0, 28, 1280, 772)

    @classmethod
    def setUpClass(cls):
        global desktop_env
        cls.module_env = desktop_env
        desktop_env = start_desktop((1280, 800), "top", "--SetPartialStrut", "true")
        wait_until(lambda: "= 0, 28, 1280, 772" in run("xprop", "-root", "_NET_WORKAREA"),
                   "the panel's room kept free")

    @classmethod
    def tearDownClass(cls):
        global desktop_env
        desktop_env = cls.module_env

    # The test source remembered at 1920 x 1080.
    def start_1080p(self, **sections):
        self.start(camera={"card": "Test Source", "bus": "", "byid": "", "width": 1920,
                           "height": 1080, "controls": ""}, **sections)

    def test_a_1080p_window_fits_the_work_area_at_every_zoom(self):
        self.start_1080p()
        # 75% of 1920 x 1080 is too large: as large as fits, under the panel.
        self.wait_for_window((0, 28, 1280, 720))
        x, y, width, height = self.AREA
        for item, size in zip(SUBMENUS["Window Zoom"], [(480, 270), (720, 405), (960, 540)] +
                              [(1280, 720)] * 7):
            self.choose("Window Zoom", item)
            wait_until(lambda: geometry(self.window())[2:] == size,
                       lambda: "%s at %s: %s" % (size, item, geometry(self.window())))
            left, top, w, h = geometry(self.window())
            self.assertTrue(x <= left and left + w <= x + width and y <= top and
                            top + h <= y + height, (item, geometry(self.window())))
        self.assertEqual(geometry(self.window()), (0, 54, 1280, 720), "Full, in the middle")

    def test_a_snap_to_each_edge_lands_on_it(self):
        self.start_1080p(program={"windowzoom": 0, "windowpositionX": 400,
                                  "windowpositionY": 300})
        self.wait_for_window((400, 300, 480, 270))
        for axis, direction, edge in ((0, -1, 0), (0, 1, 1280 - 480), (1, -1, 28),
                                      (1, 1, 800 - 270)):
            self.drag_until(axis, direction, edge)
            self.assertEqual(geometry(self.window())[axis], edge, (axis, direction))

    # Drags the window by its middle in 6-pixel steps along axis until it snaps to edge, waiting
    # at each step for the program to have followed the cursor (or held where it was snapped).
    def drag_until(self, axis, direction, edge):
        box = geometry(self.window())
        cursor = [box[0] + box[2] // 2, box[1] + box[3] // 2]
        grab = cursor[axis] - box[axis]
        move(*cursor)
        run("xdotool", "mousedown", 1)
        while cursor[axis] - grab != edge:
            cursor[axis] += 6 * direction
            run("xdotool", "mousemove", "--sync", *cursor)
            if wait_until(lambda: (at := geometry(self.window())[axis]) in (
                    cursor[axis] - grab, edge, box[axis]) and [at],
                    "the window to follow the cursor")[0] == edge:
                break
        run("xdotool", "mouseup", 1)
