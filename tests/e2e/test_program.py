"""kavriWebCam driven end to end on a real X server, the way a person drives it.

Each test starts the real program with the test source in a fresh directory on a shared
desktop (Xvfb, openbox, trayer), acts on it with the mouse and the keyboard only, and
checks what can be seen from the outside: windows, files, uploads, screenshots.

    python3 -m unittest test_program      (KAVRIWEBCAM names the binary)

A failed test leaves a screenshot and the program's standard error in E2E_ARTIFACTS
(default: ./e2e-artifacts) and prints the standard error.
"""

import functools
import os
import select
import shutil
import signal
import socket
import sys
import tempfile
import unittest

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, os.path.join(os.path.dirname(HERE), "support"))

from desktop import (Desktop, Program, Timeout, Weston, holds_for, image_size,  # noqa: E402
                     read_pixels, wait_until)
from ftp_process import FtpServerProcess  # noqa: E402
from settings_text import ftp_settings, settings_file  # noqa: E402

BINARY = os.environ.get("KAVRIWEBCAM", "kavriwebcam")
ARTIFACTS = os.path.abspath(os.environ.get("E2E_ARTIFACTS", "e2e-artifacts"))

# The context menu and its submenus, as keyboard navigation meets them.
CONTEXT_MENU = ["Hide", "Run", "Instant Grab!", "Settings...", "Camera Settings...",
                "Window Zoom", "Select Device...", "About", "Exit"]
SUBMENUS = {
    "Settings...": ["Image...", "FTP...", "Save On Exit", "Save Settings"],
    # Source... and Display... are greyed for the test source, and the keys pass them by.
    "Camera Settings...": ["Format...", "Preview..."],
    "Window Zoom": ["25%", "37%", "50%", "75%", "100%", "150%", "200%", "250%", "300%", "Full"],
}
# The test source's frames and the window at its first zoom (75%).
FRAME = (320, 240)
WINDOW = (240, 180)
ERROR_BOX = "kavri WebCam Error"
# The dialogs the menu opens, by the menu items and the title each has.
DIALOGS = [(("Settings...", "Image..."), "Image Settings"),
           (("Settings...", "FTP..."), "FTP Settings"),
           (("Camera Settings...", "Format..."), "Test Source - Video Format"),
           (("Camera Settings...", "Preview..."), "Preview Settings"),
           # The About box has no caption; the window system names it after the program.
           (("About",), "kavriwebcam")]

desktop = None


def setUpModule():
    global desktop
    desktop = Desktop()


def tearDownModule():
    desktop.close()


def luma(pixel):
    r, g, b = pixel
    return (299 * r + 587 * g + 114 * b) // 1000


def differing_pixels(first, second, threshold=60):
    return sum(1 for row_a, row_b in zip(first, second) for a, b in zip(row_a, row_b)
               if max(abs(x - y) for x, y in zip(a, b)) > threshold)


def text_lines(rows, left):
    """The darkest value of each line of dark text on a light background, top to bottom.

    Rows mostly dark (a highlighted item) are no text line; columns left of `left` (check
    marks) are not looked at.
    """
    lines = []
    current = None
    for row in rows:
        values = [luma(p) for p in row[left:-8]]
        dark = min(values) < 230 and sorted(values)[len(values) // 2] > 200
        if dark:
            current = min(values) if current is None else min(current, min(values))
        elif current is not None:
            lines.append(current)
            current = None
    return lines


def dialog_drawn(rows):
    """Whether most of a rectangle shows a dialog's light grey or white, which the test
    source's picture has little of."""
    light = sum(1 for row in rows for p in row if min(p) >= 220 and max(p) - min(p) <= 8)
    return light > sum(len(row) for row in rows) // 2


def highlighted(rows):
    """Whether a menu shows a highlighted item: a band of the selection colour."""
    return sum(1 for row in rows for r, g, b in row if b > 150 and r < 100) > 200


def saving_artifacts(test):
    """Makes a failing test leave a screenshot and the program's standard error behind."""
    @functools.wraps(test)
    def wrapper(self):
        try:
            test(self)
        except BaseException:
            os.makedirs(ARTIFACTS, exist_ok=True)
            name = os.path.join(ARTIFACTS, self.id().split(".", 1)[-1])
            desktop.screenshot(name + ".png")
            print("\nscreenshot: %s.png" % name)
            if self.program:
                shutil.copy(self.program.stderr_path, name + ".stderr.txt")
                print("standard error of the program:\n" + self.program.stderr())
            raise
    return wrapper


class ProgramTest(unittest.TestCase):
    def __init_subclass__(cls, **kwargs):
        super().__init_subclass__(**kwargs)
        for name, member in list(vars(cls).items()):
            if name.startswith("test") and callable(member):
                setattr(cls, name, saving_artifacts(member))

    def setUp(self):
        self.dir = tempfile.mkdtemp(prefix="kavri-e2e-")
        self.program = None
        self.server = None
        self.others = []

    def tearDown(self):
        for process in self.others:
            process.kill()
            process.wait()
        if self.program:
            self.program.stop()
        if self.server:
            self.server.stop()
        shutil.rmtree(self.dir, ignore_errors=True)

    # Setting up.

    def ftp_server(self):
        self.server = FtpServerProcess(self.dir, "webcam", "e2e pass")
        self.server.start()
        return self.server

    def start(self, *arguments, settings=None, on=None, **sections):
        """Starts the program with the test source and a settings file made of sections, on
        the shared X desktop or another one."""
        if settings is None:
            sections.setdefault("network", {"active": 0})
            settings = settings_file(**sections)
        with open(os.path.join(self.dir, "kavriWebCam.ini"), "w", newline="") as ini:
            ini.write(settings)
        self.program = Program(BINARY, on or desktop, self.dir, "/testsource", *arguments)
        return self.program

    # Acting.

    def window(self):
        return desktop.geometry(self.program.window())

    def wait_for_window(self, geometry):
        """Waits until the window has this (x, y, width, height)."""
        try:
            wait_until(lambda: self.window() == geometry, "the window")
        except Timeout:
            raise Timeout("the window is at %s, not %s" % (self.window(), geometry)) from None

    def popups(self):
        return {w.id for w in desktop.visible_windows("kavriwebcam") if w.popup}

    def open_menu(self):
        """Right-clicks the window and moves to the menu's first item."""
        x, y, width, height = self.window()
        before = self.popups()
        desktop.click(x + width // 2, y + height // 2, button=3)
        menu = wait_until(lambda: self.popups() - before, "the context menu")
        self.highlight_first_item(self.popup(menu))

    def highlight_first_item(self, menu):
        # A key pressed before the menu has taken the keyboard is lost: press again until
        # the first item lights up.
        for _ in range(20):
            desktop.key("Down")
            try:
                wait_until(lambda: highlighted(desktop.pixels(menu.x, menu.y, menu.width, menu.height)),
                           "a highlighted menu item", seconds=0.5)
                return
            except AssertionError:
                pass
        raise AssertionError("the menu does not take keys")

    def popup(self, ids):
        return next(w for w in desktop.windows("kavriwebcam") if w.id in ids)

    def open_submenu(self, name):
        """Opens the context menu and one of its submenus; returns the submenu's window."""
        self.open_menu()
        before = self.popups()
        desktop.key(*["Down"] * CONTEXT_MENU.index(name), "Right")
        return self.popup(wait_until(lambda: self.popups() - before, "the submenu " + name))

    def close_menus(self):
        desktop.key("Escape", "Escape")
        wait_until(lambda: not self.popups(), "the menus to close")

    def choose(self, item, subitem=None):
        """Chooses an item of the context menu (and of its submenu) by keyboard."""
        if subitem is None:
            self.open_menu()
            desktop.key(*["Down"] * CONTEXT_MENU.index(item), "Return")
        else:
            self.open_submenu(item)
            desktop.key(*["Down"] * SUBMENUS[item].index(subitem), "Return")
        wait_until(lambda: not self.popups(), "the menu to close")

    def exit_and_read_settings(self):
        """Chooses Exit, expects a clean end and returns the settings file it left."""
        self.choose("Exit")
        self.assertEqual(self.program.wait_exit(), 0)
        with open(self.program.path("kavriWebCam.ini"), encoding="latin-1", newline="") as ini:
            return ini.read()

    def double_click(self):
        x, y, width, height = self.window()
        desktop.click(x + width // 2, y + height // 2, repeat=2)

    def dialog(self, title):
        return wait_until(lambda: desktop.top_level(title), "the dialog " + title)

    def see_and_close_dialog(self, title):
        """Waits for the dialog, sees it above the main window and on the screen, and
        closes it with Esc."""
        dialog = self.dialog(title)
        window = self.program.window()
        wait_until(lambda: [w for w in desktop.stacking() if w in (window, dialog)]
                   == [window, dialog], "the dialog %s above the window" % title)
        wait_until(lambda: dialog_drawn(desktop.pixels(*desktop.rect(dialog))),
                   "the dialog %s on the screen" % title)
        desktop.key("Escape")
        wait_until(lambda: not desktop.is_mapped(dialog), "the dialog %s to close" % title)

    # Looking.

    def image(self):
        """The JPEG file's identity and bytes, or None while there is none."""
        try:
            with open(self.program.path("image.jpg"), "rb") as image:
                info = os.fstat(image.fileno())
                return (info.st_ino, info.st_mtime_ns), image.read()
        except FileNotFoundError:
            return None

    def next_image(self, after=None, seconds=10):
        """Waits for a JPEG file other than `after` and keeps a copy; returns (identity, path)."""
        def changed():
            current = self.image()
            return current if current and (after is None or current[0] != after[0]) else None
        identity, contents = wait_until(changed, "a new image.jpg", seconds)
        path = os.path.join(self.dir, "grab-%d.jpg" % len(os.listdir(self.dir)))
        with open(path, "wb") as copy:
            copy.write(contents)
        return identity, path

    def tray_icon(self):
        return wait_until(desktop.tray_icons, "the tray icon")[0]

    def main_window_visible(self):
        id = desktop.top_level("kavriWebCam")
        return id is not None and desktop.is_mapped(id)


class WindowTest(ProgramTest):
    def test_window_appears_at_its_stored_place_borderless_and_above_others(self):
        self.start(program={"windowpositionX": 100, "windowpositionY": 80})
        window = self.program.window()
        self.wait_for_window((100, 80) + WINDOW)

        hints = desktop.property(window, "_MOTIF_WM_HINTS").split("=")[1].split(",")
        self.assertTrue(int(hints[0], 16) & 2, "decorations are set")
        self.assertEqual(int(hints[2], 16), 0, "no decorations")
        self.assertIn("_NET_WM_STATE_ABOVE", desktop.property(window, "_NET_WM_STATE"))

        other = desktop.start("xmessage", "-geometry", "300x300+50+50", "in front?")
        self.others.append(other)
        other_window = wait_until(lambda: desktop.top_level("xmessage"), "another window")
        desktop.xdotool("windowactivate", "--sync", other_window)
        stacking = wait_until(lambda: [w for w in desktop.stacking() if w in (window, other_window)],
                              "both windows stacked")
        self.assertEqual(stacking[-1], window, "the program's window is on top")
        self.tray_icon()

    def test_a_right_click_opens_the_menu_at_the_cursor(self):
        self.start(program={"windowpositionX": 40, "windowpositionY": 40})
        self.wait_for_window((40, 40) + WINDOW)
        x, y, width, height = self.window()
        before = self.popups()
        desktop.click(x + 150, y + 100, button=3)
        menu = self.popup(wait_until(lambda: self.popups() - before, "the context menu"))
        self.assertEqual((menu.x, menu.y), (x + 150, y + 100))
        # Drawn: a line of text for each item at least (underlined letters add some).
        wait_until(lambda: len(text_lines(desktop.pixels(menu.x, menu.y, menu.width, menu.height),
                                          left=20)) >= len(CONTEXT_MENU), "the menu's items")
        # The picture of the window and its menu that the README shows.
        os.makedirs(ARTIFACTS, exist_ok=True)
        desktop.screenshot(os.path.join(ARTIFACTS, "context-menu.png"),
                           crop=(x, y, menu.x + menu.width + 1 - x, menu.y + menu.height + 1 - y))
        self.close_menus()

    def test_zoom_100_percent_and_full_resize_the_window(self):
        self.start(program={"windowpositionX": 30, "windowpositionY": 40})
        self.wait_for_window((30, 40) + WINDOW)
        self.choose("Window Zoom", "100%")
        wait_until(lambda: self.window() == (30, 40) + FRAME, "a 320x240 window")
        self.choose("Window Zoom", "Full")
        wait_until(lambda: self.window() == (0, 0, Desktop.WIDTH, Desktop.HEIGHT),
                   "a window filling the screen")
        # The window stays above other windows, but not above its own dialogs.
        for items, title in DIALOGS:
            self.choose(*items)
            self.see_and_close_dialog(title)
        self.choose("Window Zoom", "25%")
        wait_until(lambda: self.window()[2:] == (80, 60), "an 80x60 window")

    def test_a_drag_snaps_the_window_to_the_left_edge(self):
        self.start(program={"windowpositionX": 300, "windowpositionY": 200})
        self.wait_for_window((300, 200) + WINDOW)
        x, y, width, height = self.window()
        grip = (x + width // 2, y + height // 2)
        # The window follows the cursor until its left edge is 12 pixels from the screen's;
        # the next move snaps it there.
        desktop.drag(grip, (grip[0] - 288, grip[1] + 40), (grip[0] - 290, grip[1] + 40))
        self.wait_for_window((0, 240) + WINDOW)

    def test_hide_and_a_click_on_the_tray_icon_brings_the_window_back(self):
        self.start(program={"windowpositionX": 200, "windowpositionY": 150})
        self.wait_for_window((200, 150) + WINDOW)
        self.choose("Hide")
        wait_until(lambda: not self.main_window_visible(), "the window to hide")
        icon = self.tray_icon()
        desktop.click(icon.x + icon.width // 2, icon.y + icon.height // 2)
        wait_until(self.main_window_visible, "the window to come back")
        self.wait_for_window((200, 150) + WINDOW)


class GrabTest(ProgramTest):
    def test_run_grabs_every_interval_with_the_time_and_uploads_each_image(self):
        server = self.ftp_server()
        self.start(image={"update": 2}, network=ftp_settings(server, "live.jpg"))
        self.wait_for_window((0, 0) + WINDOW)
        self.choose("Run")
        first = self.next_image()
        second = self.next_image(first)
        third = self.next_image(second)
        self.assertEqual(image_size(third[1]), FRAME)
        # Two intervals of 2 seconds apart, give or take the half-second timer tick and how
        # long each grab takes on a busy machine.
        between = (third[0][1] - first[0][1]) / 1e9
        self.assertTrue(3 <= between < 8, "%.2f s for two intervals" % between)
        # The date and time line sits at the bottom, below the test card's moving block, so
        # the band changes only with the text; a last digit going from 5 to 9 changes few
        # pixels, but they change a lot.
        band = (0, FRAME[1] - 16, FRAME[0], 16)
        self.assertGreater(differing_pixels(read_pixels(first[1], band),
                                            read_pixels(third[1], band), threshold=40), 2,
                           "the time in the first and third image differs")

        grabbed = set()
        for _, path in (first, second, third):
            with open(path, "rb") as image:
                grabbed.add(image.read())

        def uploaded():
            try:
                with open(os.path.join(server.home, "live.jpg"), "rb") as upload:
                    return upload.read() in grabbed
            except FileNotFoundError:
                return False
        wait_until(uploaded, "an upload of a grabbed image")
        log = server.log_lines()
        self.assertEqual(log.count("LOGIN webcam"), 1, "one login for all uploads")

    def test_a_double_click_grabs_at_once(self):
        self.start()
        self.wait_for_window((0, 0) + WINDOW)
        self.assertIsNone(self.image())
        self.double_click()
        _, path = self.next_image()
        self.assertEqual(image_size(path), FRAME)

    def test_the_image_dialog_changes_the_text_on_the_next_image(self):
        self.start()
        self.wait_for_window((0, 0) + WINDOW)
        # The text line is at the top, right of the test card's frame counter.
        band = (80, 0, FRAME[0] - 80, 8)
        self.double_click()
        first = self.next_image()
        self.double_click()
        second = self.next_image(first)
        self.assertEqual(differing_pixels(read_pixels(first[1], band),
                                          read_pixels(second[1], band)), 0)

        self.choose("Settings...", "Image...")
        dialog = self.dialog("Image Settings")
        # Centred on the pointer, which is on the window in the screen's corner, as far as
        # it stays on the screen.
        wait_until(lambda: desktop.frame(dialog)[:2] == (0, 0), "the dialog in the corner")
        # From OK to the text field: Cancel, quality, file, interval, date check box, text.
        desktop.key(*["Tab"] * 6, "ctrl+a")
        desktop.type("WWWWWWWWWWWWWWWWWWWWWWWWWWWWWW")
        desktop.key("Return")
        wait_until(lambda: not desktop.is_mapped(dialog), "the dialog to close")

        self.double_click()
        third = self.next_image(second)
        self.assertGreater(differing_pixels(read_pixels(second[1], band),
                                            read_pixels(third[1], band)), 50)

    def test_the_ftp_settings_are_greyed_while_running(self):
        self.start()
        self.wait_for_window((0, 0) + WINDOW)

        def ftp_item_greyed():
            submenu = self.open_submenu("Settings...")
            # "Image..." is highlighted; then "FTP...", "Save On Exit", "Save Settings".

            def drawn_lines():
                rows = desktop.pixels(submenu.x, submenu.y, submenu.width, submenu.height)
                lines = text_lines(rows, left=20)
                return lines if len(lines) == 3 else None

            lines = wait_until(drawn_lines, "the submenu to be drawn")
            self.close_menus()
            return lines[0] - lines[2] > 50

        self.assertFalse(ftp_item_greyed())
        self.choose("Run")
        self.next_image()
        self.assertTrue(ftp_item_greyed())
        self.choose("Run")
        self.assertFalse(ftp_item_greyed())
        self.choose("Settings...", "FTP...")
        dialog = self.dialog("FTP Settings")
        desktop.key("Escape")
        wait_until(lambda: not desktop.is_mapped(dialog), "the dialog to close")

    def test_stop_on_ftp_errors_stops_the_grabber_with_a_message(self):
        server = self.ftp_server()
        # The box shows above the window even when the window fills the screen.
        self.start(image={"update": 1}, program={"windowzoom": 9},
                   network=ftp_settings(server, "live.jpg", stoponerror=1))
        self.wait_for_window((0, 0, Desktop.WIDTH, Desktop.HEIGHT))
        self.choose("Run")
        wait_until(lambda: any(line.startswith("STORED") for line in server.log_lines()),
                   "the first upload")
        server.stop()
        box = wait_until(lambda: desktop.top_level(ERROR_BOX), "the error box", seconds=30)
        # Select the message with a click into it and Ctrl+A, and copy it.
        x, y, width, _ = desktop.geometry(box)
        desktop.click(x + width // 2, y + 40)
        desktop.key("ctrl+a", "ctrl+c")
        wait_until(lambda: "Webcam has been stopped." in desktop.clipboard(),
                   "the box's text on the clipboard")
        desktop.key("Return")
        wait_until(lambda: desktop.top_level(ERROR_BOX) is None, "the box to close")
        current = self.image()
        self.assertTrue(holds_for(lambda: self.image()[0] == current[0], 3.0),
                        "no grabs after the stop")


class StartAndExitTest(ProgramTest):
    def test_exit_saves_the_settings_and_removes_the_frame_file(self):
        self.start(program={"windowpositionX": 120, "windowpositionY": 90})
        self.wait_for_window((120, 90) + WINDOW)
        self.choose("Window Zoom", "100%")
        self.choose("Run")
        self.next_image()
        self.assertTrue(os.path.exists(self.program.path("_temp.dib")))
        saved = self.exit_and_read_settings()
        for line in ("windowzoom = '4'", "windowpositionX = '120'", "windowpositionY = '90'",
                     "active = '0'"):
            self.assertIn(line, saved)
        self.assertFalse(os.path.exists(self.program.path("_temp.dib")))

    def test_run_minimized_grabs_without_a_window_and_shows_the_tray_icon(self):
        self.start(program={"windowpositionX": 120, "windowpositionY": 90})
        self.wait_for_window((120, 90) + WINDOW)
        self.exit_and_read_settings()

        self.program = Program(BINARY, desktop, self.dir, "/testsource", "/run", "/minimized")
        first = self.next_image()
        self.tray_icon()
        self.next_image(first)
        self.assertFalse(self.main_window_visible())

    def test_an_ending_signal_during_an_instant_grab_on_a_silent_server_ends_it_at_once(self):
        # A server that takes the connection and never says a word.
        silent = socket.create_server(("127.0.0.1", 0))
        self.addCleanup(silent.close)
        self.start(network={"host": "127.0.0.1", "port": silent.getsockname()[1],
                            "saveto": "live.jpg", "user": "webcam", "active": 1,
                            "usepassive": 1})
        self.wait_for_window((0, 0) + WINDOW)
        self.double_click()
        self.assertTrue(select.select([silent], [], [], 10)[0], "no upload reached the server")
        self.program.process.send_signal(signal.SIGTERM)
        self.assertEqual(self.program.wait_exit(seconds=1), 0)
        self.assertTrue(os.path.exists(self.program.path("image.jpg")))

    def test_a_settings_file_cut_short_starts_with_the_defaults_for_the_rest(self):
        cut = settings_file(program={"windowpositionX": 150, "windowpositionY": 120},
                            image={"jpegquality": 50, "update": 9})
        self.start(settings=cut[:cut.index("update")])
        self.wait_for_window((150, 120) + WINDOW)
        saved = self.exit_and_read_settings()
        for line in ("windowpositionX = '150'", "jpegfile = 'image.jpg'", "update = '5'",
                     "host = 'ftp.example.com'"):
            self.assertIn(line, saved)
        self.assertTrue(saved.endswith("</kavriwebcam>\r\n"))

    def test_markup_errors_in_the_settings_file_do_not_stop_the_program(self):
        broken = ("<kavriwebcam version='1.2.99'>\r\n"
                  "  <program windowpositionX = '150' windowpositionY = '120'>\r\n"
                  "  </capture>\r\n"
                  "  <image jpegquality = '50' update = <<< \x01 ''\r\n"
                  "  <network active='0' </kavriwebcam> &&& <")
        self.start(settings=broken)
        self.wait_for_window((150, 120) + WINDOW)
        self.double_click()
        self.next_image()


class WaylandTest(ProgramTest):
    def test_on_wayland_it_takes_xwayland_where_there_is_one_and_else_says_what_it_lacks(self):
        lacks = ("kavriWebCam: running on Wayland without X11: the window goes where the "
                 "desktop puts it and does not stay on top\n")
        for xwayland, windows, stderr in ((True, Weston.x11_windows, ""),
                                          (False, Weston.wayland_windows, lacks)):
            with self.subTest(xwayland=xwayland):
                weston = Weston(xwayland)
                try:
                    self.start("/run", on=weston)
                    self.next_image(seconds=20)
                    wait_until(lambda: "kavriWebCam" in windows(weston), "the program's window")
                    self.assertEqual(self.program.stderr(), stderr)
                    self.program.stop()
                    self.assertEqual(self.program.process.returncode, 0)
                finally:
                    if self.program:
                        self.program.stop()
                    weston.close()
                os.remove(self.program.path("image.jpg"))


if __name__ == "__main__":
    unittest.main()
