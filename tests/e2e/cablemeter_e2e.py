#!/usr/bin/env python3
"""Drives the real cablemeter window in a private X server, as a user would.

The simulated meter serves the demo flash image on a pseudo-terminal, COM1 leads to it, and
xdotool clicks the controls at the positions of the window's fixed layout. Pixels are taken from
the window with ImageMagick's import and compared with the pictures in golden/.

    cablemeter_e2e.py --bin BUILD/bin --golden tests/e2e/golden --output DIR session
    cablemeter_e2e.py --bin BUILD/bin --golden tests/e2e/golden --output DIR quit-while-reading
    cablemeter_e2e.py --bin BUILD/bin --golden tests/e2e/golden screenshots --out docs

session:            Open, Read, a click on every listed record, Save As, Quit.
quit-while-reading: a meter that never answers; Quit while Read waits ends the program at once.
screenshots:        the whole window showing a Level, Tilt, Scan and Spectrum record, as PNG.

Exits 0 when every check passed, 1 when one failed, 77 when there is no X server or xdotool.
"""

import argparse
import collections
import ctypes
import os
import select
import shutil
import signal
import struct
import subprocess
import sys
import tempfile
import time
import zlib

SKIP_EXIT_CODE = 77
FAIL_EXIT_CODE = 1
WHOLE_RUN_SECONDS = 180

CAPTION = "Marlo-CABLE METER"
CLIENT_SIZE = (729, 375)
SCREEN_SIZE = (320, 240)
CATALOGUE_FILE = "MeterDat.dat"
SAVED_PICTURE = "shown-picture.bmp"

INDICATOR_CLOSED = (255, 0, 0)
INDICATOR_OPEN = (0, 255, 255)
READ_DONE_STATUS = " OK "

# How long things may take: generous, because the machine may be busy, but bounded.
START_SECONDS = 20
OPEN_SECONDS = 10
READ_SECONDS = 60
DRAW_SECONDS = 20
DIALOG_SECONDS = 15
QUIT_SECONDS = 5
QUIT_WHILE_READING_SECONDS = 1.0
# A picture that has not changed for this long is done drawing.
SETTLED_SECONDS = 1.5
POLL_SECONDS = 0.1
# A Quit this soon after Read falls well inside the wait for the meter's first reply.
QUIT_AFTER_READ_SECONDS = 0.3

# The demo flash image: page p at offset 256 p; slot n's header page is 512 + 16 n. The catalogue
# file keeps page bytes 1 to 254 of each header page as the meter sends them, then two 0 bytes, and
# a single 0 byte after the 32 blocks.
PAGE_SIZE = 256
DELIVERED_PAGE_BYTES = 254
SLOT_COUNT = 32
FIRST_SLOT_PAGE = 512
PAGES_PER_SLOT = 16

# The window's layout in twips (15 twips make a pixel), as the program lays it out: each control
# sits in its frame, and frame and control are each rounded down to whole pixels.
TWIPS_PER_PIXEL = 15
PORT_FRAME = (120, 120)
INDICATOR = (360, 240, 255, 375)
OPEN_BUTTON = (1800, 240, 735, 375)
RECORD_FRAME = (120, 960)
RECORD_LIST = (120, 240, 4815, 2940)
READ_BUTTON = (240, 3360, 1095, 375)
STATUS_LINE = (2640, 3360, 2175, 375)
SCREEN_FRAME = (5280, 120)
PICTURE_BOX = (240, 360, 4935, 3735)
SAVE_AS_BUTTON = (240, 4320, 975, 495)
QUIT_BUTTON = (4200, 4320, 975, 495)
# The picture box's sunken border; the screen is drawn pixel for pixel inside it.
PICTURE_BORDER = 2
# The list's own frame, and the room its vertical scroll bar takes at the right.
LIST_FRAME = 1
SCROLL_BAR_WIDTH = 16
# Where in a list row to look for the selection colour: right of the text, left of the scroll bar.
ROW_SAMPLE_FROM_RIGHT = 24
MIN_ROW_HEIGHT, MAX_ROW_HEIGHT = 8, 40

Rect = collections.namedtuple("Rect", "x y width height")


def pixels(twips):
    return twips // TWIPS_PER_PIXEL


def control(frame, place):
    left, top, width, height = place
    return Rect(pixels(frame[0]) + pixels(left), pixels(frame[1]) + pixels(top),
                pixels(width), pixels(height))


def centre(rect):
    return rect.x + rect.width // 2, rect.y + rect.height // 2


def screen_area():
    box = control(SCREEN_FRAME, PICTURE_BOX)
    return Rect(box.x + PICTURE_BORDER, box.y + PICTURE_BORDER, *SCREEN_SIZE)


def list_viewport():
    box = control(RECORD_FRAME, RECORD_LIST)
    return Rect(box.x + LIST_FRAME, box.y + LIST_FRAME, box.width - 2 * LIST_FRAME,
                box.height - 2 * LIST_FRAME)


class Failure(Exception):
    """A check that did not hold."""


class Skip(Exception):
    """The run cannot take place on this machine."""


class Image:
    """An RGB picture, three bytes a pixel, rows top to bottom."""

    def __init__(self, width, height, rgb):
        if len(rgb) != width * height * 3:
            raise ValueError("%dx%d picture with %d bytes" % (width, height, len(rgb)))
        self.width, self.height, self.rgb = width, height, bytes(rgb)

    def pixel(self, x, y):
        at = (y * self.width + x) * 3
        return tuple(self.rgb[at:at + 3])

    def crop(self, rect):
        if rect.x + rect.width > self.width or rect.y + rect.height > self.height:
            raise Failure("the window (%dx%d) does not hold %s" % (self.width, self.height, rect))
        rows = []
        for y in range(rect.y, rect.y + rect.height):
            at = (y * self.width + rect.x) * 3
            rows.append(self.rgb[at:at + rect.width * 3])
        return Image(rect.width, rect.height, b"".join(rows))

    def __eq__(self, other):
        return (isinstance(other, Image) and (self.width, self.height, self.rgb) ==
                (other.width, other.height, other.rgb))

    def differing_pixels(self, other):
        if (self.width, self.height) != (other.width, other.height):
            return self.width * self.height
        return sum(1 for at in range(0, len(self.rgb), 3)
                   if self.rgb[at:at + 3] != other.rgb[at:at + 3])

    def save_png(self, path):
        stride = self.width * 3
        raw = b"".join(b"\0" + self.rgb[y * stride:(y + 1) * stride] for y in range(self.height))

        def chunk(kind, data):
            body = kind + data
            return struct.pack(">I", len(data)) + body + struct.pack(">I", zlib.crc32(body))

        header = struct.pack(">IIBBBBB", self.width, self.height, 8, 2, 0, 0, 0)
        with open(path, "wb") as out:
            out.write(b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", header) +
                      chunk(b"IDAT", zlib.compress(raw)) + chunk(b"IEND", b""))


def read_ppm(data):
    """A binary PPM (P6, 8 bits) as ImageMagick writes it."""
    fields, at = [], 0
    while len(fields) < 4:
        while data[at:at + 1].isspace():
            at += 1
        if data[at:at + 1] == b"#":
            at = data.index(b"\n", at)
            continue
        end = at
        while not data[end:end + 1].isspace():
            end += 1
        fields.append(data[at:end])
        at = end
    if fields[0] != b"P6" or fields[3] != b"255":
        raise Failure("not an 8-bit binary PPM: %r" % fields)
    width, height = int(fields[1]), int(fields[2])
    return Image(width, height, data[at + 1:at + 1 + width * height * 3])


def read_png(path):
    """An 8-bit RGB or RGBA PNG without interlacing, as Qt writes the golden pictures."""
    with open(path, "rb") as source:
        data = source.read()
    if data[:8] != b"\x89PNG\r\n\x1a\n":
        raise Failure("%s is not a PNG file" % path)
    at, header, compressed = 8, None, []
    while at < len(data):
        length, kind = struct.unpack(">I4s", data[at:at + 8])
        body = data[at + 8:at + 8 + length]
        if kind == b"IHDR":
            header = struct.unpack(">IIBBBBB", body)
        elif kind == b"IDAT":
            compressed.append(body)
        at += 12 + length
    width, height, depth, colour_type, _, _, interlace = header
    channels = {2: 3, 6: 4}.get(colour_type)
    if depth != 8 or channels is None or interlace:
        raise Failure("%s: unsupported PNG layout %r" % (path, header))
    raw = zlib.decompress(b"".join(compressed))
    stride = width * channels
    previous = bytearray(stride)
    rgb = bytearray()
    for y in range(height):
        row_start = y * (stride + 1)
        kind = raw[row_start]
        row = bytearray(raw[row_start + 1:row_start + 1 + stride])
        for i in range(stride):
            left = row[i - channels] if i >= channels else 0
            up = previous[i]
            up_left = previous[i - channels] if i >= channels else 0
            if kind == 1:
                row[i] = (row[i] + left) & 0xFF
            elif kind == 2:
                row[i] = (row[i] + up) & 0xFF
            elif kind == 3:
                row[i] = (row[i] + (left + up) // 2) & 0xFF
            elif kind == 4:
                guess = left + up - up_left
                nearest = min((abs(guess - left), 0, left), (abs(guess - up), 1, up),
                              (abs(guess - up_left), 2, up_left))[2]
                row[i] = (row[i] + nearest) & 0xFF
        previous = row
        for x in range(width):
            rgb += row[x * channels:x * channels + 3]
    return Image(width, height, rgb)


def read_bmp(path):
    """A Windows bitmap with 24 or 32 bits a pixel, uncompressed."""
    with open(path, "rb") as source:
        data = source.read()
    if data[:2] != b"BM":
        raise Failure("%s is not a Windows bitmap (it starts with %r)" % (path, data[:2]))
    pixel_offset = struct.unpack("<I", data[10:14])[0]
    width, height, _, bits, compression = struct.unpack("<iiHHI", data[18:34])
    if bits not in (24, 32) or compression not in (0, 3):
        raise Failure("%s: %d bits a pixel, compression %d" % (path, bits, compression))
    step = bits // 8
    stride = (width * step + 3) & ~3
    rows = range(height) if height < 0 else range(height - 1, -1, -1)
    rgb = bytearray()
    for y in rows:
        row = data[pixel_offset + y * stride:pixel_offset + y * stride + width * step]
        for x in range(0, width * step, step):
            blue, green, red = row[x:x + 3]
            rgb += bytes((red, green, blue))
    return Image(width, abs(height), rgb)


def expected_catalogue(image):
    blocks = []
    for slot in range(SLOT_COUNT):
        start = (FIRST_SLOT_PAGE + PAGES_PER_SLOT * slot) * PAGE_SIZE
        block = image[start:start + DELIVERED_PAGE_BYTES]
        blocks.append(block + bytes(PAGE_SIZE - len(block)))
    return b"".join(blocks) + b"\0"


ListRow = collections.namedtuple("ListRow", "row slot kind name picture")


def read_record_list(golden):
    """The list the window shows, from golden/records.txt: row slot kind name picture."""
    rows = []
    with open(os.path.join(golden, "records.txt"), encoding="latin-1") as source:
        for line in source:
            if line.startswith("#") or not line.strip():
                continue
            row, slot, kind, name, picture = line.split()
            rows.append(ListRow(int(row), int(slot), int(kind), name,
                                None if picture == "-" else os.path.join(golden, picture)))
    return rows


def wait_until(condition, seconds, what):
    deadline = time.monotonic() + seconds
    while True:
        result = condition()
        if result:
            return result
        if time.monotonic() > deadline:
            raise Failure("%s: not within %g s" % (what, seconds))
        time.sleep(POLL_SECONDS)


def end_with_this_driver():
    """Runs in each child before it starts: it gets SIGTERM should the driver itself be killed, so
    no X server or meter outlives a test stopped from outside."""
    set_parent_death_signal = 1  # prctl's PR_SET_PDEATHSIG
    ctypes.CDLL(None, use_errno=True).prctl(set_parent_death_signal, signal.SIGTERM)


def run(command, **options):
    return subprocess.run(command, check=True, stdout=subprocess.PIPE, **options).stdout


class Session:
    """A private X server, the simulated meter and the program, ended together."""

    def __init__(self, bin_dir, output, work):
        self.bin_dir, self.output, self.work = bin_dir, output, work
        self.processes = []
        self.logs = []
        self.env = None
        self.program = None
        self.window = None
        self.meter_log = os.path.join(output, "meter.log")

    # --- processes -----------------------------------------------------------------------

    def start_x_server(self):
        for tool in ("Xvfb", "xdotool"):
            if shutil.which(tool) is None:
                raise Skip("%s is not installed (Debian packages xvfb and xdotool; "
                           "scripts/install-deps.sh installs them)" % tool)
        if shutil.which("import") is None:
            raise Failure("ImageMagick's import is missing (Debian package imagemagick)")
        if shutil.which("xclip") is None:
            raise Failure("xclip is missing (Debian package xclip)")
        # Xvfb picks a free display itself and tells its number on this pipe.
        reader, writer = os.pipe()
        xvfb_log = self._log("xvfb.log")
        server = subprocess.Popen(
            ["Xvfb", "-displayfd", str(writer), "-screen", "0", "1024x768x24", "-dpi", "96",
             "-nolisten", "tcp"], pass_fds=(writer,), stdout=xvfb_log, stderr=xvfb_log,
            preexec_fn=end_with_this_driver)
        os.close(writer)
        self.processes.append(server)
        number = self._read_line(reader, START_SECONDS, "the X server's display number")
        os.close(reader)
        self.env = dict(os.environ)
        for name in ("WAYLAND_DISPLAY", "QT_SCALE_FACTOR", "QT_SCREEN_SCALE_FACTORS",
                     "QT_AUTO_SCREEN_SCALE_FACTOR", "QT_FONT_DPI", "QT_STYLE_OVERRIDE",
                     "XAUTHORITY"):
            self.env.pop(name, None)
        runtime = os.path.join(os.path.dirname(self.work), "runtime")
        os.mkdir(runtime, 0o700)
        self.env.update(DISPLAY=":" + number, QT_QPA_PLATFORM="xcb", XDG_RUNTIME_DIR=runtime)

    def start_meter(self, *options):
        simulator = subprocess.Popen(
            [os.path.join(self.bin_dir, "cablemeter-sim"), "--image", self.demo_image(),
             *options], stdout=subprocess.PIPE, stderr=self._log("meter.log"),
            preexec_fn=end_with_this_driver)
        self.processes.append(simulator)
        return self._read_line(simulator.stdout.fileno(), START_SECONDS, "the meter's device")

    def start_program(self, device):
        # The program takes its serial ports from a list: it must not probe this computer's.
        env = dict(self.env, CABLEMETER_COM1=device,
                   CABLEMETER_TEST_PORTS=self.env.get("CABLEMETER_TEST_PORTS", "none"))
        self.program = subprocess.Popen(
            [os.path.join(self.bin_dir, "cablemeter")], cwd=self.work, env=env,
            stdin=subprocess.DEVNULL, stdout=self._log("program.log"),
            stderr=subprocess.STDOUT, preexec_fn=end_with_this_driver)
        self.processes.append(self.program)
        self.window = wait_until(self._find_window, START_SECONDS, "the window " + CAPTION)
        size = self._window_size()
        if size != CLIENT_SIZE:
            raise Failure("the window is %dx%d, not %dx%d" % (size + CLIENT_SIZE))
        # Painted once the indicator shows the closed port's colour.
        wait_until(lambda: self.indicator() == INDICATOR_CLOSED, START_SECONDS,
                   "the indicator shows a closed port (red)")

    def stop(self):
        for process in reversed(self.processes):
            if process.poll() is None:
                process.terminate()
        for process in reversed(self.processes):
            try:
                process.wait(timeout=5)
            except subprocess.TimeoutExpired:
                process.kill()
                process.wait()
            if process.stdout:
                process.stdout.close()
        self.processes = []
        for log in self.logs:
            log.close()
        self.logs = []

    def _log(self, name):
        """A log file in the output folder, closed when the session stops."""
        log = open(os.path.join(self.output, name), "wb")
        self.logs.append(log)
        return log

    def demo_image(self):
        return os.path.join(self.bin_dir, "demo-meter.bin")

    @staticmethod
    def _read_line(fd, seconds, what):
        deadline = time.monotonic() + seconds
        text = b""
        while not text.endswith(b"\n"):
            left = deadline - time.monotonic()
            if left <= 0 or not select.select([fd], [], [], left)[0]:
                raise Failure("%s did not come within %g s" % (what, seconds))
            chunk = os.read(fd, 256)
            if not chunk:
                raise Failure("%s: the process ended before telling it" % what)
            text += chunk
        return text.decode().strip()

    # --- the window ----------------------------------------------------------------------

    def xdotool(self, *arguments):
        return run(["xdotool", *arguments], env=self.env).decode()

    def _find_window(self):
        if self.program.poll() is not None:
            raise Failure("the program ended with status %d before its window showed"
                          % self.program.returncode)
        found = subprocess.run(["xdotool", "search", "--onlyvisible", "--name",
                                "^%s$" % CAPTION], env=self.env, stdout=subprocess.PIPE,
                               stderr=subprocess.DEVNULL).stdout.split()
        return found[0].decode() if found else None

    def _window_size(self):
        geometry = dict(line.split("=") for line in
                        self.xdotool("getwindowgeometry", "--shell", self.window).split())
        return int(geometry["WIDTH"]), int(geometry["HEIGHT"])

    def other_windows(self):
        """Visible windows besides the main one: dialogs and message boxes."""
        found = subprocess.run(["xdotool", "search", "--onlyvisible", "--name", "."],
                               env=self.env, stdout=subprocess.PIPE,
                               stderr=subprocess.DEVNULL).stdout.decode().split()
        return [window for window in found if window != self.window]

    def grab(self):
        """The window's pixels as the X server holds them."""
        return read_ppm(run(["import", "-silent", "-window", self.window, "-depth", "8",
                             "ppm:-"], env=self.env))

    def click(self, x, y):
        self.xdotool("mousemove", "--window", self.window, str(x), str(y), "click", "1")

    def click_control(self, rect):
        self.click(*centre(rect))

    def indicator(self):
        return self.grab().pixel(*centre(control(PORT_FRAME, INDICATOR)))

    def screen(self):
        return self.grab().crop(screen_area())

    def status_text(self):
        """The status line's text, selected and read back from the X selection as a user
        would copy it."""
        self.click_control(control(RECORD_FRAME, STATUS_LINE))
        self.xdotool("key", "ctrl+a")
        time.sleep(POLL_SECONDS)
        return run(["xclip", "-o", "-selection", "primary"], env=self.env,
                   timeout=DIALOG_SECONDS).decode("latin-1")

    def save_window(self, name):
        path = os.path.join(self.output, name)
        self.grab().save_png(path)
        return path

    # --- steps a user takes ---------------------------------------------------------------

    def open_port(self):
        self.click_control(control(PORT_FRAME, OPEN_BUTTON))
        wait_until(lambda: self.indicator() == INDICATOR_OPEN, OPEN_SECONDS,
                   "the indicator turns cyan after Open")

    def read_catalogue(self):
        path = os.path.join(self.work, CATALOGUE_FILE)
        self.click_control(control(RECORD_FRAME, READ_BUTTON))
        wait_until(lambda: os.path.exists(path), READ_SECONDS, CATALOGUE_FILE + " is written")
        self.wait_settled(lambda: self.grab().crop(list_viewport()), "the record list")
        self.check_no_other_window("after Read")
        status = self.status_text()
        if status != READ_DONE_STATUS:
            raise Failure("after Read the status line says %r, not %r"
                          % (status, READ_DONE_STATUS))
        with open(path, "rb") as written, open(self.demo_image(), "rb") as image:
            actual, expected = written.read(), expected_catalogue(image.read())
        if actual != expected:
            shutil.copy(path, self.output)
            first = next((i for i, (a, b) in enumerate(zip(actual, expected)) if a != b),
                         min(len(actual), len(expected)))
            raise Failure("%s (%d bytes) differs from the demo image's header pages (%d bytes) "
                          "first at offset %d; kept in %s"
                          % (CATALOGUE_FILE, len(actual), len(expected), first, self.output))

    def wait_settled(self, look, what, seconds=DRAW_SECONDS):
        """Waits until `look()` has stayed the same for SETTLED_SECONDS; returns it."""
        deadline = time.monotonic() + seconds
        last, since = look(), time.monotonic()
        while time.monotonic() - since < SETTLED_SECONDS:
            if time.monotonic() > deadline:
                raise Failure("%s kept changing for %g s" % (what, seconds))
            time.sleep(POLL_SECONDS)
            now = look()
            if now != last:
                last, since = now, time.monotonic()
        return last

    def check_no_other_window(self, when):
        others = self.other_windows()
        if others:
            names = [self.xdotool("getwindowname", window).strip() for window in others]
            shot = self._grab_root("unexpected-window.png")
            raise Failure("%s a window showed up: %s (the screen is in %s)"
                          % (when, ", ".join(names), shot))

    def _grab_root(self, name):
        path = os.path.join(self.output, name)
        run(["import", "-silent", "-window", "root", path], env=self.env)
        return path

    def quit(self, seconds):
        """Presses Quit; returns how long the program took to end, counted from just before the
        click."""
        pressed = time.monotonic()
        self.click_control(control(SCREEN_FRAME, QUIT_BUTTON))
        try:
            status = self.program.wait(timeout=seconds)
        except subprocess.TimeoutExpired:
            raise Failure("the program was still running %g s after Quit" % seconds) from None
        took = time.monotonic() - pressed
        if status != 0:
            raise Failure("the program ended with status %d after Quit" % status)
        return took


class RecordList:
    """The record list as the user scrolls and clicks it."""

    def __init__(self, session):
        self.session = session
        self.viewport = list_viewport()
        self.row_height = None
        self.ground = None  # the colour of an unselected line where no text reaches
        self.top_row = 0
        self.sample_x = self.viewport.x + self.viewport.width - SCROLL_BAR_WIDTH - \
            ROW_SAMPLE_FROM_RIGHT

    def click_row(self, row):
        """Clicks the list line `row`, scrolling it into view with the scroll bar's down arrow
        first. The first click must go to the first line: its selection shows the lines' height."""
        if self.row_height is None:
            if row != 0:
                raise ValueError("the first click goes to the first line")
            self.ground = self.session.grab().pixel(self.sample_x, self.viewport.y)
            self.session.click(self.sample_x, self.viewport.y + MIN_ROW_HEIGHT // 2)
            return
        visible = self.viewport.height // self.row_height
        while row >= self.top_row + visible:
            self.session.click(self.viewport.x + self.viewport.width - SCROLL_BAR_WIDTH // 2,
                               self.viewport.y + self.viewport.height - SCROLL_BAR_WIDTH // 2)
            self.top_row += 1
        self.session.click(self.sample_x, self._row_centre(row))

    def check_selected(self, row):
        """Once the click's work is done and the list is enabled again: the clicked line shows
        selected. The list is greyed while a record is drawn, so this waits until then."""
        bottom = (self.sample_x, self.viewport.y + self.viewport.height - 2)
        wait_until(lambda: self.session.grab().pixel(*bottom) == self.ground, DRAW_SECONDS,
                   "the record list is enabled again after the click on line %d" % row)
        if self.row_height is None:
            self.row_height = self._measure_row_height()
        if self.session.grab().pixel(self.sample_x, self._row_centre(row)) == self.ground:
            raise Failure("list line %d does not show selected after its click" % row)

    def _row_centre(self, row):
        return self.viewport.y + (row - self.top_row) * self.row_height + self.row_height // 2

    def _measure_row_height(self):
        window = self.session.grab()
        top = self.viewport.y
        height = 0
        while (height <= MAX_ROW_HEIGHT and
               window.pixel(self.sample_x, top + height) != self.ground):
            height += 1
        if not MIN_ROW_HEIGHT <= height <= MAX_ROW_HEIGHT:
            raise Failure("the first list line shows selected %d px high after its click"
                          % height)
        return height


def compare_screen(session, rows, failures):
    """Clicks every listed record and compares the drawn screen with its golden picture."""
    record_list = RecordList(session)
    shown = session.screen()
    for entry in rows:
        record_list.click_row(entry.row)
        what = "list line %d (slot %d, %s, kind %d)" % (entry.row, entry.slot, entry.name,
                                                        entry.kind)
        if entry.picture is None:
            # No screen for this kind: the picture stays as it was.
            actual = session.wait_settled(session.screen, what)
            record_list.check_selected(entry.row)
            if actual != shown:
                failures.append("%s changed the picture although its kind has no screen"
                                % what)
            continue
        expected = read_png(entry.picture)
        actual = wait_for_picture(session, expected, what)
        record_list.check_selected(entry.row)
        if actual != expected:
            kept = os.path.join(session.output, "slot%02d-actual.png" % entry.slot)
            actual.save_png(kept)
            failures.append("%s: %d pixels differ from %s; the window showed %s"
                            % (what, expected.differing_pixels(actual), entry.picture, kept))
        shown = actual
    session.check_no_other_window("after the record clicks")
    return shown


def wait_for_picture(session, expected, what):
    """The screen once it shows `expected`, or once it has stopped changing without."""
    deadline = time.monotonic() + DRAW_SECONDS
    last, since = None, time.monotonic()
    while True:
        actual = session.screen()
        if actual == expected:
            return actual
        if actual != last:
            last, since = actual, time.monotonic()
        elif time.monotonic() - since > SETTLED_SECONDS or time.monotonic() > deadline:
            return actual
        time.sleep(POLL_SECONDS)


def save_as(session, shown, failures):
    """Save As through the dialog; the bitmap must hold exactly the picture shown."""
    session.click_control(control(SCREEN_FRAME, SAVE_AS_BUTTON))
    dialog = wait_until(lambda: (session.other_windows() or [None])[0], DIALOG_SECONDS,
                        "the Save As dialog opens")
    # Without a window manager nobody hands the dialog the keyboard: the user clicks into it.
    session.xdotool("windowfocus", "--sync", dialog)
    session.xdotool("key", "ctrl+a")
    session.xdotool("type", "--delay", "20", SAVED_PICTURE)
    session.xdotool("key", "Return")
    path = os.path.join(session.work, SAVED_PICTURE)
    wait_until(lambda: os.path.exists(path), DIALOG_SECONDS, SAVED_PICTURE + " is written")
    wait_until(lambda: not session.other_windows(), DIALOG_SECONDS, "the Save As dialog closes")
    saved = read_bmp(path)
    now_shown = session.screen()
    if now_shown != shown:
        failures.append("the picture changed during Save As")
    if saved != now_shown:
        kept = os.path.join(session.output, "saved-picture.png")
        saved.save_png(kept)
        failures.append("the saved bitmap (%dx%d, shown as %s) is not the picture shown: %d "
                        "pixels differ" % (saved.width, saved.height, kept,
                                           now_shown.differing_pixels(saved)))


def session_case(session, golden):
    failures = []
    session.start_x_server()
    device = session.start_meter("--pacing", "uart")
    session.start_program(device)
    session.open_port()
    session.read_catalogue()
    rows = read_record_list(golden)
    shown = compare_screen(session, rows, failures)
    save_as(session, shown, failures)
    took = session.quit(QUIT_SECONDS)
    print("Quit ended the program in %.2f s" % took)
    if failures:
        raise Failure("\n".join(failures))


def quit_while_reading_case(session, golden):
    session.start_x_server()
    device = session.start_meter("--fault", "silent")
    session.start_program(device)
    session.open_port()
    session.click_control(control(RECORD_FRAME, READ_BUTTON))
    time.sleep(QUIT_AFTER_READ_SECONDS)
    took = session.quit(QUIT_WHILE_READING_SECONDS)
    print("Quit during the read ended the program in %.2f s" % took)
    with open(session.meter_log, encoding="utf-8", errors="replace") as log:
        requests = [line for line in log if line.startswith("page ")]
    if not requests:
        raise Failure("the meter got no page request: Quit did not come during a read")
    if os.path.exists(os.path.join(session.work, CATALOGUE_FILE)):
        raise Failure("a read cut short by Quit wrote " + CATALOGUE_FILE)


SCREENSHOTS = (("level", 3), ("tilt", 8), ("scan", 7), ("spectrum", 6))


def screenshots_case(session, golden, out):
    session.start_x_server()
    device = session.start_meter("--pacing", "uart")
    session.start_program(device)
    session.open_port()
    session.read_catalogue()
    rows = read_record_list(golden)
    record_list = RecordList(session)
    for name, kind in SCREENSHOTS:
        entry = next(row for row in rows if row.kind == kind)
        if record_list.row_height is None and entry.row != 0:
            record_list.click_row(0)
            wait_for_picture(session, read_png(rows[0].picture), "the first record")
            record_list.check_selected(0)
        record_list.click_row(entry.row)
        expected = read_png(entry.picture)
        if wait_for_picture(session, expected, name) != expected:
            raise Failure("the %s record (list line %d) was not drawn as expected"
                          % (name, entry.row))
        record_list.check_selected(entry.row)
        path = os.path.join(out, "screenshot-%s.png" % name)
        run(["import", "-silent", "-window", session.window, "png:" + path], env=session.env)
        print("wrote", path)
    session.quit(QUIT_SECONDS)


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--bin", required=True, help="folder of cablemeter and cablemeter-sim")
    parser.add_argument("--golden", required=True, help="folder of the expected pictures")
    parser.add_argument("--output", help="folder for logs and, on a mismatch, what was seen")
    cases = parser.add_subparsers(dest="case", required=True)
    cases.add_parser("session")
    cases.add_parser("quit-while-reading")
    shots = cases.add_parser("screenshots")
    shots.add_argument("--out", required=True, help="folder for the PNG screenshots")
    arguments = parser.parse_args()

    work = tempfile.mkdtemp(prefix="cablemeter-e2e-")
    output = arguments.output or os.path.join(work, "output")
    os.makedirs(output, exist_ok=True)
    for name in os.listdir(output):
        if os.path.isfile(os.path.join(output, name)):
            os.remove(os.path.join(output, name))
    program_work = os.path.join(work, "run")
    os.mkdir(program_work)

    def give_up(signum, _frame):
        raise Failure("stopped by signal %d" % signum)

    def too_long(_signum, _frame):
        raise Failure("the whole run took longer than %d s" % WHOLE_RUN_SECONDS)

    signal.signal(signal.SIGTERM, give_up)
    signal.signal(signal.SIGINT, give_up)
    signal.signal(signal.SIGALRM, too_long)
    signal.alarm(WHOLE_RUN_SECONDS)

    session = Session(os.path.abspath(arguments.bin), output, program_work)
    started = time.monotonic()
    status = 0
    try:
        if arguments.case == "session":
            session_case(session, arguments.golden)
        elif arguments.case == "quit-while-reading":
            quit_while_reading_case(session, arguments.golden)
        else:
            os.makedirs(arguments.out, exist_ok=True)
            screenshots_case(session, arguments.golden, arguments.out)
        print("%s passed in %.1f s" % (arguments.case, time.monotonic() - started))
    except Skip as reason:
        print("SKIPPED: %s" % reason)
        status = SKIP_EXIT_CODE
    except Failure as reason:
        if session.window and session.program and session.program.poll() is None:
            try:
                print("The window at the failure: %s" % session.save_window("window.png"))
            except (subprocess.CalledProcessError, Failure):
                pass
        print("FAILED (%s): %s\nLogs are in %s" % (arguments.case, reason, output))
        status = FAIL_EXIT_CODE
    finally:
        signal.alarm(0)
        session.stop()
        shutil.rmtree(work, ignore_errors=True)
    return status


if __name__ == "__main__":
    sys.exit(main())
