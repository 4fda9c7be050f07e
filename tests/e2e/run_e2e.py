#!/usr/bin/env python3
"""End-to-end tests of Quillmere.exe: the real program under Wine on a private
Xvfb display, driven as a user drives it. Mouse input goes through xdotool;
windows, controls and the open/save dialogs are handled by a small Win32
automation driver (driver.exe) that runs under the same Wine server; the
preview is read back from the screen and compared with what quillmere-cli
renders for the same state.

Writes a GoogleTest-style XML report (--xml) so that the test script counts
every case, and keeps the screenshots in --artefacts. Exit status: 0 when no
case failed, 1 when one did, 77 when the environment cannot run the program
(no Xvfb, no Wine for this kind of executable)."""

import argparse
import os
import shutil
import struct
import subprocess
import sys
import time
import traceback
import xml.sax.saxutils as saxutils

SKIP_STATUS = 77

# Control and command ids (app/ui_ids.h).
RADIUS_VALUE, RADIUS_SCROLL, STRETCH_VALUE, STRETCH_SCROLL = 1030, 1031, 1032, 1033
ONLY_DYNAMIC, REDUCE, CREATE = 1034, 1056, 1040
WIREFRAME, BACKCULLED, TEXTURED, ORIGINAL, HAIR, INVERT = 1050, 1051, 1052, 1053, 1054, 1055
STATISTICS = [1060, 1061, 1062, 1063, 1064, 1065]
EXIT, ABOUT, OPEN_MESH, EXPORT_OBJ, LOAD_TEXTURE, SAVE_IMAGE = 101, 102, 104, 108, 110, 111
RESET_VIEW, GREY1, GREY2 = 140, 336, 337
TEXTURE_WOOD, TEXTURE_METAL, TEXTURE_PATTERN, TEXTURE_USER = 160, 161, 162, 163
LIGHT1, LIGHT2, LIGHT3 = 200, 201, 202
MATERIAL_BRASS, MATERIAL_PROP = 300, 310
ABOUT_OK = 200


class Skip(Exception):
    pass


class Failure(Exception):
    pass


def check(condition, message):
    if not condition:
        raise Failure(message)


def equal(actual, expected, what):
    if actual != expected:
        raise Failure("%s: expected %r, got %r" % (what, expected, actual))


# ----------------------------------------------------------------------------
# Environment: Xvfb, Wine, the program and the driver


def start_xvfb():
    """Starts a private Xvfb and returns it with its display number. Xvfb
    itself picks a free number (-displayfd) and says it when it is ready, so
    test runs started at the same moment never share a display."""
    read_end, write_end = os.pipe()
    xvfb = subprocess.Popen(["Xvfb", "-displayfd", str(write_end), "-screen", "0",
                             "1280x1024x24", "-nolisten", "tcp"],
                            pass_fds=(write_end,), stdout=subprocess.DEVNULL,
                            stderr=subprocess.DEVNULL)
    os.close(write_end)
    with os.fdopen(read_end) as answer:
        number = answer.readline().strip()
    if not number.isdigit():
        xvfb.kill()
        xvfb.wait()
        raise Skip("Xvfb did not start")
    return xvfb, int(number)


def windows_path(path):
    return "Z:" + os.path.abspath(path).replace("/", "\\")


def pe_machine(path):
    with open(path, "rb") as f:
        data = f.read(4096)
    offset = struct.unpack_from("<I", data, 60)[0]
    return struct.unpack_from("<H", data, offset + 4)[0]


class Environment:
    def __init__(self, args):
        self.args = args
        self.wine_run = os.path.join(args.source_dir, "cmake", "wine-run")
        self.artefacts = args.artefacts
        self.work = os.path.join(args.artefacts, "work")
        shutil.rmtree(args.artefacts, ignore_errors=True)
        os.makedirs(self.work)
        self.xvfb = None
        self.env = dict(os.environ)
        self.env["WINEDEBUG"] = "-all"
        self.env["WINEDLLOVERRIDES"] = "mscoree=;mshtml="
        # A private prefix (and with it a private Wine server): a program left
        # running elsewhere must not count as "the first instance".
        self.env["WINEPREFIX64"] = os.path.join(args.build_dir, "e2e-wineprefix64")
        self.env["WINEPREFIX32"] = os.path.join(args.build_dir, "e2e-wineprefix32")
        self.programs = []
        self.driver = None
        self.shot_count = 0

    def start(self):
        for tool in ("Xvfb", "xdotool", "import"):
            if not shutil.which(tool):
                raise Skip("%s is not installed" % tool)
        # A 32-bit program runs under 32-bit Wine or, where this machine has
        # none, in the 64-bit Wine's WoW64 mode (cmake/wine-run decides).
        loaders = ["/usr/lib/wine/wine64"]
        if pe_machine(self.args.exe) == 0x14C:
            loaders.insert(0, "/usr/lib/wine/wine")
        if not any(os.access(l, os.X_OK) and
                   subprocess.run([l, "--version"], capture_output=True).returncode == 0
                   for l in loaders):
            raise Skip("this machine cannot run %s under Wine" % os.path.basename(self.args.exe))
        self.stop_wine()  # a program left from an earlier run would count as the first
        self.xvfb, number = start_xvfb()
        self.env["DISPLAY"] = ":%d" % number
        self.driver = Driver(self)

    def stop(self):
        if self.driver:
            self.driver.close()
        for program in self.programs:
            if program.poll() is None:
                program.kill()
                program.wait()
        self.stop_wine()
        if self.xvfb:
            self.xvfb.terminate()
            self.xvfb.wait()

    def stop_wine(self):
        """Ends the private prefixes' Wine servers (and their programs), nothing else."""
        for key in ("WINEPREFIX64", "WINEPREFIX32"):
            prefix = self.env[key]
            if os.path.isdir(prefix):
                env = dict(self.env, WINEPREFIX=prefix)
                subprocess.run(["wineserver", "-k"], env=env, capture_output=True)

    def wine(self, *arguments, **kwargs):
        return subprocess.Popen([self.wine_run] + list(arguments), env=self.env, **kwargs)

    def launch(self):
        """Starts Quillmere.exe and waits for its main window."""
        # Output goes to files: Wine's helper processes inherit the program's
        # handles and would keep a pipe open after the program has ended.
        self.launches = getattr(self, "launches", 0) + 1
        errors = os.path.join(self.work, "program-%d.stderr" % self.launches)
        with open(errors, "wb") as error_file:
            program = self.wine(self.args.exe, stdout=subprocess.DEVNULL, stderr=error_file)
        program.error_path = errors
        self.programs.append(program)
        reply = self.driver.ask("wait Quillmere - 60000")
        if not reply.startswith("ok"):
            raise Failure("the main window did not appear (%s); the program %s"
                          % (reply, "ended with status %s" % program.poll()
                             if program.poll() is not None else "is still running"))
        # The display is made after the main window: wait for all three.
        for _ in range(300):
            if self.driver.ask("attach").startswith("ok"):
                break
            time.sleep(0.1)
        self.driver.ok("attach")
        self.driver.ok("sync")
        time.sleep(0.5)
        return program

    def cli(self, *arguments):
        """Runs quillmere-cli (the same build) and returns its exit status and stderr."""
        done = subprocess.run([self.wine_run, self.args.cli] + list(arguments), env=self.env,
                              capture_output=True, timeout=120)
        return done.returncode, done.stderr.decode(errors="replace")

    def xdotool(self, *arguments):
        subprocess.run(["xdotool"] + [str(a) for a in arguments], env=self.env, check=True)

    def screenshot(self, name):
        """Saves the whole screen as NAME.png among the artefacts."""
        self.shot_count += 1
        path = os.path.join(self.artefacts, "%02d-%s.png" % (self.shot_count, name))
        subprocess.run(["import", "-window", "root", path], env=self.env, check=True)
        return path

    def grab(self, x, y, width, height):
        """The screen's pixels in a rectangle, as rows of RGB bytes, top row first."""
        done = subprocess.run(["import", "-window", "root", "-crop",
                               "%dx%d+%d+%d" % (width, height, x, y), "+repage", "-depth", "8",
                               "rgb:-"], env=self.env, capture_output=True, check=True)
        return done.stdout


class Driver:
    def __init__(self, environment):
        self.process = environment.wine(environment.args.driver, stdin=subprocess.PIPE,
                                        stdout=subprocess.PIPE, stderr=subprocess.DEVNULL,
                                        text=True, encoding="utf-8", bufsize=1)

    def ask(self, line):
        self.process.stdin.write(line + "\n")
        self.process.stdin.flush()
        reply = self.process.stdout.readline()
        if not reply:
            raise Failure("the automation driver stopped (command %r)" % line)
        return reply.rstrip("\r\n")

    def ok(self, line):
        reply = self.ask(line)
        if not reply.startswith("ok"):
            raise Failure("%s: %s" % (line, reply))
        return reply[3:]

    def close(self):
        try:
            self.ask("quit")
            self.process.wait(timeout=10)
        except Exception:
            self.process.kill()


# ----------------------------------------------------------------------------
# Pictures


def read_bmp(path):
    """A 24-bit BMP as (width, height, RGB rows top first)."""
    with open(path, "rb") as f:
        data = f.read()
    check(data[:2] == b"BM", "%s is not a BMP file" % path)
    offset = struct.unpack_from("<I", data, 10)[0]
    width, height = struct.unpack_from("<ii", data, 18)
    bits = struct.unpack_from("<H", data, 28)[0]
    check(bits == 24, "%s is not a 24-bit BMP" % path)
    row_bytes = (width * 3 + 3) & ~3
    out = bytearray()
    for r in range(abs(height)):
        row = r if height < 0 else abs(height) - 1 - r
        start = offset + row * row_bytes
        line = data[start:start + width * 3]
        for x in range(width):
            b, g, r_ = line[3 * x], line[3 * x + 1], line[3 * x + 2]
            out += bytes((r_, g, b))
    return width, abs(height), bytes(out)


def write_ppm(path, width, height, rgb):
    with open(path, "wb") as f:
        f.write(b"P6\n%d %d\n255\n" % (width, height))
        f.write(rgb)


def differing_pixels(a, b):
    return sum(1 for i in range(0, min(len(a), len(b)), 3) if a[i:i + 3] != b[i:i + 3])


# ----------------------------------------------------------------------------
# The session: one running program and what the tests know about it


class Session:
    def __init__(self, environment):
        self.env = environment
        self.driver = environment.driver
        self.layout = {}
        self.view = (0, 0)
        self.origin = (0, 0)
        # quillmere-cli render arguments describing the current state
        self.file = None
        self.view_args = []
        self.have_render = None
        self.have_commands = None

    def read_layout(self):
        reply = self.driver.ok("layout")
        fields = dict(item.split("=", 1) for item in reply.split())
        self.layout = fields
        w, h = fields["view"].split("x")
        self.view = (int(w), int(h))
        x, y = fields["origin"].split(",")
        self.origin = (int(x), int(y))
        return fields

    def text(self, control):
        return self.driver.ok("text %d" % control)

    def checked(self, control):
        return int(self.driver.ok("check %d" % control))

    def enabled(self, control):
        return int(self.driver.ok("enabled %d" % control))

    def statistics(self):
        return [self.text(c) for c in STATISTICS]

    def title(self):
        return self.driver.ok("title")

    def menu(self, command):
        self.driver.ok("menu %d" % command)
        self.settle()

    def control_rect(self, control):
        at, size = self.driver.ok("rect %d" % control).rsplit(",", 1)
        x, y = (int(v) for v in at.split(","))
        w, h = (int(v) for v in size.split("x"))
        return x, y, w, h

    def click(self, control):
        """Clicks a tool bar button or check box with the mouse."""
        x, y, w, h = self.control_rect(control)
        self.env.xdotool("mousemove", x + min(w // 2, 8), y + h // 2, "click", "1")
        self.settle()

    def press_arrow(self, scroll_bar, up):
        """One click on the upper or lower arrow of a tool bar scroll bar."""
        x, y, w, h = self.control_rect(scroll_bar)
        self.env.xdotool("mousemove", x + w // 2, y + 2 if up else y + h - 3, "click", "1")

    def settle(self):
        """Lets the program draw the frames its last command asked for."""
        self.driver.ok("sync")
        time.sleep(0.3)
        self.driver.ok("sync")

    def require_commands(self):
        if self.have_commands is None:
            self.have_commands = self.text(STATISTICS[0]) != ""
        if not self.have_commands:
            raise Skip("the application commands are not in this build")

    def require_render(self):
        if self.have_render is None:
            probe = os.path.join(self.env.work, "probe.bmp")
            status, _ = self.env.cli("render", "-o", windows_path(probe), "--size", "32x32")
            self.have_render = status == 0 and os.path.exists(probe)
        if not self.have_render:
            raise Skip("quillmere-cli render is not in this build")

    def preview(self):
        w, h = self.view
        return self.env.grab(self.origin[0], self.origin[1], w, h)

    def compare_preview(self, name):
        """The preview on screen equals quillmere-cli render of the same state."""
        self.require_commands()
        self.require_render()
        self.settle()
        w, h = self.view
        expected_path = os.path.join(self.env.work, name + "-expected.bmp")
        arguments = ["render"]
        if self.file:
            arguments.append(windows_path(self.file))
        arguments += ["-o", windows_path(expected_path), "--size", "%dx%d" % (w, h)]
        arguments += self.view_args
        status, errors = self.env.cli(*arguments)
        check(status == 0, "quillmere-cli %s failed: %s" % (" ".join(arguments), errors))
        ew, eh, expected = read_bmp(expected_path)
        equal((ew, eh), (w, h), "rendered size")
        # The frame may still be on its way to the screen on a loaded machine:
        # look again for a few seconds before calling it a difference.
        actual = self.preview()
        deadline = time.time() + 8
        while actual != expected and time.time() < deadline:
            time.sleep(0.4)
            actual = self.preview()
        if actual != expected:
            write_ppm(os.path.join(self.env.artefacts, name + "-screen.ppm"), w, h, actual)
            write_ppm(os.path.join(self.env.artefacts, name + "-expected.ppm"), w, h, expected)
            raise Failure("%s: %d of %d preview pixels differ from quillmere-cli render %s"
                          % (name, differing_pixels(actual, expected), w * h,
                             " ".join(arguments[1:])))

    # -- the menu's check marks, read from the screen --------------------------
    # Menus belong to the program's process, so their states are read the way
    # a user reads them: open the popup with a click on its title and look.

    def menu_titles(self):
        """Screen x centres of the menu bar's titles, and the bar's y centre."""
        client_x, client_y = self.origin[0] - 3, self.origin[1] - 3
        width = int(self.layout["client"].split("x")[0])
        height = 19
        band = self.env.grab(client_x, client_y - height, width, height)
        def pixel(x, y):
            return band[(y * width + x) * 3:(y * width + x) * 3 + 3]
        background = pixel(width - 8, height // 2)
        dark = [any(pixel(x, y) != background for y in range(2, height - 2))
                for x in range(width - 4)]
        runs, start, end = [], None, None
        for x, d in enumerate(dark):
            if d:
                if start is None:
                    start = x
                end = x
            elif start is not None and x - end > 6:
                runs.append((start, end))
                start = None
        if start is not None:
            runs.append((start, end))
        runs = [r for r in runs if r[1] - r[0] > 4]  # titles, not the frame
        return [client_x + (a + b) // 2 for a, b in runs], client_y - height // 2

    def menu_states(self, index, separators=(), keep=None):
        """(checked, greyed) of every item of menu INDEX (0 = "&File"); the
        popup's picture is kept among the artefacts as KEEP.ppm when given."""
        if not getattr(self, "titles", None):
            self.read_layout()
            self.titles = self.menu_titles()
        titles, y = self.titles
        check(len(titles) >= 6, "menu bar titles not found (%d)" % len(titles))
        self.env.xdotool("mousemove", titles[index], y, "click", "1")
        # A loaded machine (a fresh Wine prefix still setting itself up) can
        # take a while to open the popup; clicking the title again before it
        # shows would leave it open over the preview for the following cases.
        reply = self.driver.ask("popup 5000")
        if not reply.startswith("ok"):
            reply = self.driver.ask("popup 10000")
        if not reply.startswith("ok"):
            raise Failure("popup of menu %d: %s" % (index, reply))
        try:
            rect = reply[3:]
            at, size = rect.rsplit(",", 1)[0], rect.rsplit(",", 1)[1]
            px, py = (int(v) for v in at.split(","))
            w, h = (int(v) for v in size.split("x"))
            time.sleep(0.3)
            data = self.env.grab(px, py, w, h)
            self.popup_width = w
            if keep:
                write_ppm(os.path.join(self.env.artefacts, keep + ".ppm"), w, h, data)
        finally:
            self.env.xdotool("mousemove", titles[index], y, "click", "1")
            self.settle()

        def pixel(x, yy):
            i = (yy * w + x) * 3
            return data[i:i + 3]
        background = pixel(w // 2, 2)
        inked = [any(pixel(x, yy) != background for x in range(3, w - 3)) for yy in range(h)]
        bands, start = [], None
        for yy in range(1, h - 1):
            if inked[yy] and start is None:
                start = yy
            elif not inked[yy] and start is not None:
                bands.append((start, yy - 1))
                start = None
        items = [b for b in bands if b[1] - b[0] >= 4]
        states = []
        for top, bottom in items:
            rows = range(max(0, top - 3), min(h, bottom + 4))
            checked = any(sum(pixel(x, yy)) < 200 for yy in rows for x in range(2, 15))
            text_dark = any(sum(pixel(x, yy)) < 200 for yy in rows for x in range(16, w - 3))
            states.append((int(checked), int(not text_dark)))
        return states

    def set_arg(self, option, value=None):
        """Sets OPTION (with VALUE, if any) in the render arguments."""
        self.drop_arg(option)
        self.view_args += [option] if value is None else [option, value]

    def drop_arg(self, option):
        args = self.view_args
        if option in args:
            i = args.index(option)
            has_value = i + 1 < len(args) and not args[i + 1].startswith("--")
            del args[i:i + (2 if has_value else 1)]


class FullDisk:
    """A file system of SIZE bytes mounted at PATH for the length of a with
    block: writes past it fail as on a disk that is really full. It needs
    root (as CI is); the harness runs in the Wine root's own mount namespace
    there, so the program sees it and nothing stays mounted."""

    def __init__(self, path, size):
        self.path, self.size = path, size

    def __enter__(self):
        os.makedirs(self.path, exist_ok=True)
        if os.geteuid() != 0 or not shutil.which("mount"):
            raise Skip("mounting a small file system needs root")
        done = subprocess.run(["mount", "-t", "tmpfs", "-o", "size=%d,mode=0777" % self.size, "tmpfs",
                               self.path], capture_output=True, text=True)
        if done.returncode != 0:
            raise Skip("cannot mount a small file system: " + done.stderr.strip())
        return self

    def __exit__(self, *unused):
        subprocess.run(["umount", self.path], capture_output=True)

    def files(self):
        return sorted(os.listdir(self.path))


def fill_disk(disk):
    """Takes the last free byte of DISK with a file named filler."""
    with open(os.path.join(disk.path, "filler"), "wb", buffering=0) as filler:
        try:
            while True:
                filler.write(b"\0" * 4096)
        except OSError:
            pass


def page_rounded(size):
    return (size + 4095) // 4096 * 4096


def expect_write_error(s, path):
    """The message box that names PATH under "Error cannot write", answered."""
    reply = s.driver.ask('dialog "Error cannot write" 15000')
    check(reply.startswith("ok"), 'no "Error cannot write" message for ' + path)
    texts = s.driver.ok('texts "Error cannot write"')
    check(windows_path(path) in texts, "message %r does not name %s" % (texts, windows_path(path)))
    s.driver.ok('press "Error cannot write" 1')
    s.driver.ok('gone #32770 "Error cannot write" 10000')
    s.settle()


# ----------------------------------------------------------------------------
# Test data made at run time


STRANDS_OBJ = """# a scalp patch with four strands
v -1 0 -1
v 1 0 -1
v 1 0 1
v -1 0 1
vt 0 0
vt 1 0
vt 1 1
vt 0 1
g scalp
f 1/1 2/2 3/3 4/4
v -0.5 0 0
v -0.5 -0.6 0.1
v -0.4 -1.2 0.3
v -0.3 -1.8 0.6
v 0.5 0 0
v 0.5 -0.7 0.1
v 0.6 -1.3 0.2
v 0.0 0 0.5
v 0.1 -0.8 0.7
v 0.2 -1.5 1.0
v 0.3 -2.0 1.4
v 0.0 0 -0.5
v 0.0 -0.9 -0.6
g strands
l 5 6 7 8
l 9 10 11
l 12 13 14 15
l 16 17
"""


def make_test_files(environment):
    work = environment.work
    # A folder path longer than 128 characters, as ordinary modern paths are.
    deep = os.path.join(work, "a-folder-with-a-rather-long-name-for-testing-the-open-dialog",
                        "and-another-long-folder-name-below-it-to-pass-the-limit")
    os.makedirs(deep, exist_ok=True)
    strands = os.path.join(deep, "strands.obj")
    with open(strands, "w", newline="\r\n") as f:
        f.write(STRANDS_OBJ)
    check(len(windows_path(strands)) > 128, "test path is not long enough")
    files = {"strands": strands}
    # A user texture and a progressive one, made with cjpeg when it is there.
    if shutil.which("cjpeg"):
        width, height = 96, 64
        pixels = bytearray()
        for y in range(height):
            for x in range(width):
                pixels += bytes(((x * 255) // width, (y * 255) // height, 255 - (x * y) % 256))
        ppm = os.path.join(work, "user.ppm")
        write_ppm(ppm, width, height, bytes(pixels))
        user = os.path.join(work, "UserPicture.JPG")
        progressive = os.path.join(work, "progressive.jpg")
        subprocess.run(["cjpeg", "-baseline", "-outfile", user, ppm], check=True)
        subprocess.run(["cjpeg", "-progressive", "-outfile", progressive, ppm], check=True)
        files["user"] = user
        files["progressive"] = progressive
    # Names outside every single-byte code page.
    files["strands-named"] = os.path.join(work, "M\u00e4hne_\u9aea.obj")
    shutil.copyfile(strands, files["strands-named"])
    files["user-named"] = os.path.join(work, "Fell_\u6bdb.jpg")
    shutil.copyfile(os.path.join(environment.args.source_dir, "resources", "pattern.jpg"),
                    files["user-named"])
    return files


# ----------------------------------------------------------------------------
# The cases, in the order a user would meet them; they share one program run
# up to the shutdown cases.

CASES = []


def case(function):
    CASES.append(function)
    return function


@case
def startup_window(s):
    equal(s.driver.ok("count Quillmere"), "1", "top-level windows of class Quillmere")
    equal(s.driver.ok("class"), "Quillmere", "main window class")
    equal(s.title(), "Quillmere", "main window title")
    equal(s.driver.ok("displaytitle"), "hola", "display title")


@case
def startup_layout(s):
    layout = s.read_layout()
    tool_x, tool_y, tool_size = layout["toolbar"].split(",")
    tool_w, tool_h = (int(v) for v in tool_size.split("x"))
    equal(layout["client"], "%dx%d" % (620 + tool_w + 4, 520 + 2), "main client size")
    equal((int(tool_x), int(tool_y), tool_h), (623, 1, 520), "tool bar position and height")
    equal(layout["display"], "2,2,620x520", "display position and size")
    equal(layout["view"], "618x518", "view size (display client area)")
    # Centred in the work area, with integer halves.
    ox, oy, osize = layout["outer"].split(",")
    ow, oh = (int(v) for v in osize.split("x"))
    wx, wy, wsize = layout["workarea"].split(",")
    ww, wh = (int(v) for v in wsize.split("x"))
    equal((int(ox), int(oy)), (int(wx) + (ww - ow) // 2, int(wy) + (wh - oh) // 2),
          "main window position")


@case
def startup_toolbar(s):
    equal(s.enabled(CREATE), 0, "Create enabled")
    equal((s.enabled(ORIGINAL), s.enabled(HAIR)), (0, 0), "Original/Hair enabled")
    equal((s.checked(ORIGINAL), s.checked(HAIR)), (1, 0), "Original/Hair ticks")
    equal((s.checked(WIREFRAME), s.checked(BACKCULLED), s.checked(TEXTURED)), (0, 1, 0),
          "Wireframe/Backculled/Textured ticks")


@case
def startup_statistics(s):
    s.require_commands()
    equal(s.statistics(), ["286", "286", "329", "0", "1", "7"], "statistics")
    equal(s.text(RADIUS_VALUE), "0.000500", "radius field")
    equal(s.text(STRETCH_VALUE), "0.000", "stretch field")
    equal((s.checked(ONLY_DYNAMIC), s.checked(REDUCE)), (1, 0), "Only dynamic/Reduce ticks")


@case
def startup_menu_marks(s):
    s.require_commands()
    equal(s.menu_states(1), [(1, 0), (0, 0), (0, 0), (0, 1)], "Texture menu (Wood checked, User greyed)")
    s.texture_menu_width = s.popup_width
    equal(s.menu_states(2), [(1, 0), (0, 0), (0, 0)], "Lights menu")
    equal(s.menu_states(3), [(0, 0)] * 10 + [(1, 0)], "Material menu (Prop Material checked)")
    equal(s.menu_states(4)[:2], [(1, 0), (0, 0)], "background items")


@case
def startup_preview(s):
    s.env.screenshot("startup")
    s.compare_preview("startup")


@case
def hair_arrows(s):
    s.require_commands()
    s.press_arrow(RADIUS_SCROLL, True)
    s.settle()
    equal(s.text(RADIUS_VALUE), "0.000707", "radius after one click on the upper arrow")
    s.press_arrow(STRETCH_SCROLL, False)
    s.settle()
    equal(s.text(STRETCH_VALUE), "-0.100", "stretch after one click on the lower arrow")
    for _ in range(11):
        s.driver.ok("scroll %d up" % RADIUS_SCROLL)
    equal(s.text(RADIUS_VALUE), "0.016000", "radius after twelve steps up")
    for _ in range(10):
        s.driver.ok("scroll %d down" % STRETCH_SCROLL)
    equal(s.text(STRETCH_VALUE), "-1.000", "stretch after eleven steps down")
    for _ in range(10):
        s.driver.ok("scroll %d down" % RADIUS_SCROLL)
    for _ in range(10):
        s.driver.ok("scroll %d up" % STRETCH_SCROLL)
    equal((s.text(RADIUS_VALUE), s.text(STRETCH_VALUE)), ("0.000500", "0.000"),
          "fields back at the start values")


@case
def background_grey2(s):
    s.menu(GREY2)
    equal(s.menu_states(4)[:2], [(0, 0), (1, 0)], "background items after grey2")
    s.set_arg("--background", "2")
    s.compare_preview("background-grey2")


@case
def texture_pattern(s):
    s.menu(TEXTURE_PATTERN)
    equal((s.checked(TEXTURED), s.checked(WIREFRAME)), (1, 0), "Textured/Wireframe after a texture")
    s.set_arg("--texture", "pattern")
    s.env.screenshot("textured")
    s.compare_preview("texture-pattern")


@case
def material_and_wireframe(s):
    s.menu(MATERIAL_BRASS)
    equal(s.checked(TEXTURED), 0, "Textured after choosing a material")
    equal(s.menu_states(3), [(1, 0)] + [(0, 0)] * 10, "Material menu after Brass")
    s.drop_arg("--texture")
    s.set_arg("--material", "Brass")
    s.click(WIREFRAME)
    equal(s.checked(WIREFRAME), 1, "Wireframe ticked")
    s.set_arg("--wireframe")
    s.compare_preview("wireframe")
    s.click(WIREFRAME)
    s.drop_arg("--wireframe")


@case
def lights(s):
    s.menu(LIGHT2)
    s.menu(LIGHT1)
    equal(s.menu_states(2), [(0, 0), (1, 0), (0, 0)], "Lights menu after toggling 2 and 1")
    s.set_arg("--lights", "2")
    s.compare_preview("light-2-only")
    s.menu(LIGHT1)
    s.menu(LIGHT2)
    s.drop_arg("--lights")
    s.compare_preview("light-1-again")


@case
def mouse_turns_spins_and_zooms(s):
    # The built-in model is on show: large enough that every gesture shows.
    s.require_commands()
    s.require_render()
    try:
        mouse_gestures(s)
    finally:
        s.env.xdotool("mousedown", "3", "mouseup", "3")
        s.menu(RESET_VIEW)


def mouse_gestures(s):
    s.menu(RESET_VIEW)
    before = s.preview()
    x0, y0 = s.origin
    w, h = s.view
    cx, cy = x0 + w // 2, y0 + h // 2
    # A slow drag turns the model.
    s.env.xdotool("mousemove", cx - 100, cy, "mousedown", "1")
    for step in range(1, 11):
        s.env.xdotool("mousemove", cx - 100 + step * 10, cy + step * 3)
        time.sleep(0.05)
    time.sleep(0.3)
    s.env.xdotool("mouseup", "1")
    s.settle()
    turned = s.preview()
    check(turned != before, "a left-button drag did not turn the model")
    fling(s)
    s.env.screenshot("spinning")
    check(spinning(s), "the model does not keep spinning after a fling")
    # A right-button press stops it.
    s.env.xdotool("mousedown", "3")
    s.env.xdotool("mouseup", "3")
    s.settle()
    first = s.preview()
    time.sleep(0.5)
    second = s.preview()
    check(first == second, "the model still spins after a right-button press")
    # A right-button drag upwards zooms in: the model covers more pixels. The
    # zoom stays small (about 1.2) so that no face reaches the view's edge,
    # where the renderer leaves faces out.
    s.menu(RESET_VIEW)
    first = s.preview()
    background = first[0:3]
    covered = sum(1 for i in range(0, len(first), 3) if first[i:i + 3] != background)
    s.env.xdotool("mousemove", cx, cy + 100, "mousedown", "3")
    for step in range(1, 5):
        s.env.xdotool("mousemove", cx, cy + 100 - step * 15)
        time.sleep(0.05)
    s.env.xdotool("mouseup", "3")
    s.settle()
    zoomed = s.preview()
    covered_after = sum(1 for i in range(0, len(zoomed), 3) if zoomed[i:i + 3] != background)
    check(covered_after > covered, "a right-button drag upwards did not zoom in (%d -> %d pixels)"
          % (covered, covered_after))


def fling(s):
    """A quick drag released while the pointer still moves: the model spins on."""
    x0, y0 = s.origin
    w, h = s.view
    cx, cy = x0 + w // 2, y0 + h // 2
    s.env.xdotool("mousemove", cx - 100, cy, "mousedown", "1")
    for step in range(1, 7):
        s.env.xdotool("mousemove", cx - 100 + step * 30, cy + step * 4)
        time.sleep(0.03)
    s.env.xdotool("mouseup", "1")
    time.sleep(0.5)


def spinning(s):
    first = s.preview()
    time.sleep(0.5)
    return s.preview() != first


@case
def spin_survives_about_box(s):
    s.require_commands()
    s.require_render()
    try:
        fling(s)
        check(spinning(s), "the model does not spin after a fling")
        s.driver.ok("post %d" % ABOUT)
        s.driver.ok('dialog "About Quillmere" 10000')
        s.driver.ok('press "About Quillmere" %d' % ABOUT_OK)
        s.driver.ok('gone #32770 "About Quillmere" 10000')
        time.sleep(0.3)
        check(spinning(s), "the spin did not go on after the About box closed")
        s.menu(RESET_VIEW)
        check(not spinning(s), "Reset View did not stop the spin")
    finally:
        s.env.xdotool("mousedown", "3", "mouseup", "3")
        s.menu(RESET_VIEW)


@case
def about_box(s):
    s.driver.ok("post %d" % ABOUT)
    reply = s.driver.ask('wait #32770 "About Quillmere" 10000')
    check(reply.startswith("ok"), "the About box did not open: " + reply)
    time.sleep(0.5)
    s.env.screenshot("about")
    s.driver.ok('press "About Quillmere" %d' % ABOUT_OK)
    s.driver.ok('gone #32770 "About Quillmere" 10000')
    s.settle()


@case
def open_mesh_long_path(s):
    s.require_commands()
    strands = s.files["strands"]
    s.driver.ok("post %d" % OPEN_MESH)
    s.driver.ok("answer Open %s" % windows_path(strands))
    s.settle()
    equal(s.title(), "Quillmere:   strands.obj", "title after opening")
    equal(s.statistics()[3] != "0", True, "lines after opening a strand file")
    equal(s.enabled(CREATE), 1, "Create enabled for a file with strands")
    equal(s.checked(WIREFRAME), 0, "Wireframe after opening")
    s.file = strands
    s.drop_arg("--material")
    s.compare_preview("opened")


@case
def create_hair(s):
    s.require_commands()
    check(s.file is not None, "no file was opened")
    s.click(CREATE)
    equal((s.enabled(ORIGINAL), s.enabled(HAIR)), (1, 1), "Original/Hair enabled after Create")
    equal((s.checked(ORIGINAL), s.checked(HAIR)), (0, 1), "Original/Hair ticks after Create")
    s.set_arg("--hair")
    s.env.screenshot("hair")
    s.compare_preview("hair")


@case
def original_and_hair(s):
    s.require_commands()
    hair_statistics = s.statistics()
    s.click(ORIGINAL)
    equal((s.checked(ORIGINAL), s.checked(HAIR)), (1, 0), "ticks after Original")
    check(s.statistics() != hair_statistics, "statistics did not change to the loaded mesh")
    s.click(HAIR)
    equal((s.checked(ORIGINAL), s.checked(HAIR)), (0, 1), "ticks after Hair")
    equal(s.statistics(), hair_statistics, "statistics of the hair mesh")


@case
def export_hair(s):
    s.require_commands()
    out = os.path.join(s.env.work, "exported-hair.obj")
    s.driver.ok("post %d" % EXPORT_OBJ)
    s.driver.ok('answer "save mesh" %s' % windows_path(out))
    s.settle()
    equal(s.title(), "Quillmere:   File exported-hair.obj saved", "title after export")
    reference = os.path.join(s.env.work, "reference-hair.obj")
    status, errors = s.env.cli("hair", windows_path(s.file), "-o", windows_path(reference))
    if status != 0 and "not available in this build" in errors:
        raise Skip("quillmere-cli hair is not in this build")
    check(status == 0, "quillmere-cli hair failed: " + errors)
    for extension in (".obj", ".mtl"):
        a, b = out[:-4] + extension, reference[:-4] + extension
        if os.path.exists(b) or os.path.exists(a):
            with open(a, "rb") as fa, open(b, "rb") as fb:
                data_a, data_b = fa.read(), fb.read()
            if extension == ".obj":
                # The library line names each file's own library.
                data_a = data_a.replace(b"exported-hair.mtl", b"reference-hair.mtl")
            equal(data_a == data_b, True, "exported %s equals quillmere-cli hair" % extension)


@case
def invert_mesh(s):
    s.require_commands()
    s.click(INVERT)
    s.set_arg("--invert")
    s.compare_preview("inverted")
    s.click(INVERT)
    s.drop_arg("--invert")


@case
def save_image(s):
    s.require_render()
    out = os.path.join(s.env.work, "saved.bmp")
    s.driver.ok("post %d" % SAVE_IMAGE)
    s.driver.ok('answer "save image" %s' % windows_path(out)[:-4])
    s.settle()
    check(os.path.exists(out), "Save Image wrote no file (the default extension is .bmp)")
    expected = os.path.join(s.env.work, "saved-expected.bmp")
    arguments = ["render"] + ([windows_path(s.file)] if s.file else [])
    arguments += ["-o", windows_path(expected), "--size", "%dx%d" % s.view] + s.view_args
    status, errors = s.env.cli(*arguments)
    check(status == 0, "quillmere-cli render failed: " + errors)
    with open(out, "rb") as fa, open(expected, "rb") as fb:
        equal(fa.read() == fb.read(), True, "saved image equals quillmere-cli render's BMP")


@case
def user_texture(s):
    s.require_commands()
    if "user" not in s.files:
        raise Skip("cjpeg is not installed")
    s.driver.ok("post %d" % LOAD_TEXTURE)
    s.driver.ok("answer Open %s" % windows_path(s.files["user"]))
    s.settle()
    equal(s.checked(TEXTURED), 1, "Textured after loading a texture")
    equal(s.menu_states(1), [(0, 0), (0, 0), (0, 0), (1, 0)], "Texture menu after loading")
    # "User" now reads "userpicture.jpg", longer than every other item.
    check(s.popup_width > getattr(s, "texture_menu_width", 10 ** 6),
          "the Texture menu did not widen for the file's name (%d -> %d pixels)"
          % (getattr(s, "texture_menu_width", 0), s.popup_width))
    s.set_arg("--texture", windows_path(s.files["user"]))
    s.compare_preview("user-texture")


@case
def progressive_texture(s):
    s.require_commands()
    if "progressive" not in s.files:
        raise Skip("cjpeg is not installed")
    s.driver.ok("post %d" % LOAD_TEXTURE)
    s.driver.ok("answer Open %s" % windows_path(s.files["progressive"]))
    reply = s.driver.ask("dialog error 10000")
    check(reply.startswith("ok"), "no message box for a progressive JPEG")
    texts = s.driver.ok("texts error")
    check("Progressive Jpeg not supported" in texts, "message text: " + texts)
    s.driver.ok("press error 1")
    s.driver.ok("gone #32770 error 10000")
    s.settle()


@case
def names_in_any_script(s):
    # The UTF-8 code page: the dialogs hand over the names whole, the files
    # open, and the title and the "User" item show them.
    s.require_commands()
    s.click(ORIGINAL)
    strands = s.statistics()
    s.driver.ok("post %d" % OPEN_MESH)
    s.driver.ok("answer Open %s" % windows_path(s.files["strands-named"]))
    s.settle()
    equal(s.title(), "Quillmere:   M\u00e4hne_\u9aea.obj", "title after opening a non-ASCII name")
    equal(s.statistics(), strands, "statistics of the renamed strand file")
    s.file = s.files["strands-named"]
    s.drop_arg("--hair")
    s.driver.ok("post %d" % LOAD_TEXTURE)
    s.driver.ok("answer Open %s" % windows_path(s.files["user-named"]))
    s.settle()
    s.set_arg("--texture", windows_path(s.files["user-named"]))
    s.compare_preview("names-in-any-script")
    equal(s.menu_states(1, keep="texture-menu-any-script"), [(0, 0), (0, 0), (0, 0), (1, 0)],
          "Texture menu after loading a non-ASCII name")


@case
def drop_files(s):
    # Two files dropped on the window: the first opens as "Open mesh File"
    # opens it (its name in the title, "Prop Material", wireframe off).
    s.require_commands()
    s.menu(MATERIAL_BRASS)  # texturing off
    s.click(WIREFRAME)
    example = os.path.join(s.env.args.source_dir, "examples", "scalp_hair.obj")
    s.driver.ok('drop "%s" "%s"' % (windows_path(s.files["strands"]), windows_path(example)))
    s.settle()
    equal(s.title(), "Quillmere:   strands.obj", "title after dropping two files")
    equal(s.checked(WIREFRAME), 0, "Wireframe after a drop")
    equal(s.menu_states(3), [(0, 0)] * 10 + [(1, 0)], "Material menu after a drop")
    equal(s.enabled(CREATE), 1, "Create enabled for a dropped file with strands")
    s.file = s.files["strands"]
    for option in ("--texture", "--material", "--hair"):
        s.drop_arg(option)
    s.compare_preview("dropped")


@case
def example_scalp_and_hair(s):
    s.require_commands()
    example = os.path.join(s.env.args.source_dir, "examples", "scalp_hair.obj")
    if not os.path.exists(example):
        raise Skip("examples/scalp_hair.obj is not in this tree")
    s.menu(MATERIAL_BRASS)  # texturing off; opening then selects "Prop Material"
    s.menu(GREY1)
    for option in ("--texture", "--material", "--hair", "--invert", "--background"):
        s.drop_arg(option)
    s.driver.ok("post %d" % OPEN_MESH)
    s.driver.ok("answer Open %s" % windows_path(example))
    s.settle()
    equal(s.title(), "Quillmere:   scalp_hair.obj", "title after opening the example")
    s.file = example
    s.compare_preview("example")
    s.click(CREATE)
    s.set_arg("--hair")
    s.env.screenshot("example-hair")
    s.compare_preview("example-hair")
    # The arrows change the settings only; the next "Create" uses them.
    before = s.preview()
    s.press_arrow(RADIUS_SCROLL, True)
    s.press_arrow(RADIUS_SCROLL, True)
    s.click(REDUCE)
    equal(s.preview(), before, "preview after the arrows, before Create")
    s.click(CREATE)
    s.set_arg("--radius-step", "12")
    s.set_arg("--reduce")
    s.compare_preview("example-hair-wider-reduced")


# The hair settings the example case ends with, as quillmere-cli options.
EXAMPLE_HAIR = ["--radius-step", "12", "--reduce"]


def example_hair_reference(s):
    """quillmere-cli hair of the example with those settings: work/full-reference/hair.obj."""
    reference = os.path.join(s.env.work, "full-reference", "hair.obj")
    if not os.path.exists(reference):
        os.makedirs(os.path.dirname(reference), exist_ok=True)
        example = os.path.join(s.env.args.source_dir, "examples", "scalp_hair.obj")
        status, errors = s.env.cli("hair", windows_path(example), "-o", windows_path(reference), *EXAMPLE_HAIR)
        check(status == 0 and os.path.exists(reference[:-4] + ".mtl"), "quillmere-cli hair failed: " + errors)
    return reference


def show_example_hair(s):
    """Opens the example and builds its hair with EXAMPLE_HAIR's settings, as
    the example case leaves it, whatever came before."""
    example = os.path.join(s.env.args.source_dir, "examples", "scalp_hair.obj")
    s.driver.ok("post %d" % OPEN_MESH)
    s.driver.ok("answer Open %s" % windows_path(example))
    s.settle()
    equal(s.title(), "Quillmere:   scalp_hair.obj", "title after opening the example")
    set_hair_settings(s, 12, 0, 1, 1)
    s.click(CREATE)
    if s.checked(HAIR) != 1:
        s.click(HAIR)
    s.file = example
    return example


@case
def full_disk_cli(s):
    s.require_commands()
    example = os.path.join(s.env.args.source_dir, "examples", "scalp_hair.obj")
    full = os.path.join(s.env.work, "full-cli")
    with FullDisk(full, 8192) as disk:
        for arguments, target in ((["export", example], "mesh.obj"), (["render"], "frame.bmp")):
            out = os.path.join(full, target)
            status, errors = s.env.cli(*(arguments[:1] + [windows_path(a) for a in arguments[1:]]
                                         + ["-o", windows_path(out)]))
            equal(status, 1, "exit status of quillmere-cli %s onto a full disk" % arguments[0])
            check("Error cannot write: " + windows_path(out) in errors, "quillmere-cli said: " + errors)
            equal(disk.files(), [], "files left on the full disk by quillmere-cli " + arguments[0])
        # A picture smaller than the C runtime's buffer reaches the disk only
        # when the file is closed: that failure too is reported.
        out = os.path.join(full, "small.bmp")
        fill_disk(disk)
        status, errors = s.env.cli("render", "--size", "20x20", "-o", windows_path(out))
        equal(status, 1, "exit status of a small render onto a full disk")
        check("Error cannot write: " + windows_path(out) in errors, "quillmere-cli said: " + errors)
        equal(disk.files(), ["filler"], "files left on the full disk by a small render")
        if shutil.which("cjpeg"):
            tiny = os.path.join(s.env.work, "tiny.jpg")
            write_ppm(tiny + ".ppm", 16, 16, bytes(range(256)) * 3)
            subprocess.run(["cjpeg", "-outfile", tiny, tiny + ".ppm"], check=True)
            out = os.path.join(full, "small.ppm")
            status, errors = s.env.cli("jpeg", windows_path(tiny), "-o", windows_path(out))
            equal(status, 1, "exit status of a small decoded picture onto a full disk")
            check("cannot write " + windows_path(out) in errors, "quillmere-cli said: " + errors)
            equal(disk.files(), ["filler"], "files left on the full disk by a small decoded picture")
    # Room for the OBJ file and not for its library: the export still succeeds.
    reference = example_hair_reference(s)
    with FullDisk(full, page_rounded(os.path.getsize(reference))) as disk:
        out = os.path.join(full, "hair.obj")
        status, errors = s.env.cli("hair", windows_path(example), "-o", windows_path(out), *EXAMPLE_HAIR)
        equal(status, 0, "exit status when only the library does not fit")
        check("Error cannot write: " + windows_path(out[:-4] + ".mtl") in errors, "quillmere-cli said: " + errors)
        equal(disk.files(), ["hair.obj"], "files on the full disk")
        with open(out, "rb") as fa, open(reference, "rb") as fb:
            equal(fa.read() == fb.read(), True, "the OBJ file written beside the failed library")


@case
def full_disk_dialogs(s):
    s.require_commands()
    show_example_hair(s)
    title = s.title()
    full = os.path.join(s.env.work, "full-dialogs")
    with FullDisk(full, 8192) as disk:
        out = os.path.join(full, "hair.obj")
        s.driver.ok("post %d" % EXPORT_OBJ)
        s.driver.ok('answer "save mesh" %s' % windows_path(out))
        expect_write_error(s, out)
        equal(s.title(), title, "title after a failed export")
        equal(disk.files(), [], "files left by the failed export")
        s.driver.ok("post %d" % SAVE_IMAGE)
        s.driver.ok('answer "save image" %s' % windows_path(out)[:-4])
        expect_write_error(s, out[:-4] + ".bmp")
        equal(s.title(), title, "title after a failed Save Image")
        equal(disk.files(), [], "files left by the failed Save Image")
        # A small display's picture, written by the close alone.
        fill_disk(disk)
        s.driver.ok("resize display 22 22")
        s.settle()
        s.driver.ok("post %d" % SAVE_IMAGE)
        s.driver.ok('answer "save image" %s' % windows_path(out)[:-4])
        expect_write_error(s, out[:-4] + ".bmp")
        s.driver.ok("resize display 620 520")
        s.settle()
        equal(disk.files(), ["filler"], "files left by the failed Save Image of a small display")
    reference = example_hair_reference(s)
    with FullDisk(full, page_rounded(os.path.getsize(reference))) as disk:
        out = os.path.join(full, "hair.obj")
        s.driver.ok("post %d" % EXPORT_OBJ)
        s.driver.ok('answer "save mesh" %s' % windows_path(out))
        expect_write_error(s, out[:-4] + ".mtl")
        equal(s.title(), "Quillmere:   File hair.obj saved", "title when only the library failed")
        equal(disk.files(), ["hair.obj"], "files on the full disk")
        with open(out, "rb") as fa, open(reference, "rb") as fb:
            equal(fa.read() == fb.read(), True, "the OBJ file written beside the failed library")
    # Still working: an export elsewhere.
    out = os.path.join(s.env.work, "after-full-disk.obj")
    s.driver.ok("post %d" % EXPORT_OBJ)
    s.driver.ok('answer "save mesh" %s' % windows_path(out))
    s.settle()
    equal(s.title(), "Quillmere:   File after-full-disk.obj saved", "title after the next export")
    with open(out, "rb") as fa, open(reference, "rb") as fb:
        equal(fa.read().replace(b"after-full-disk.mtl", b"hair.mtl") == fb.read(), True,
              "the next export equals quillmere-cli hair")


@case
def spin_frame_rate(s):
    """Frames per second of a spinning groom, the scalp example's hair on show.
    A message sent to the program is answered between two frames, so sending
    them back to back takes one frame each: the spin stays responsive, and
    their rate is the frame rate."""
    s.require_commands()
    if not (s.file or "").endswith("scalp_hair.obj"):
        raise Skip("the scalp example is not on show")
    try:
        fling(s)
        check(spinning(s), "the hair does not spin after a fling")
        rounds = 40
        started = time.time()
        for _ in range(rounds):
            s.driver.ok("sync")
        seconds = time.time() - started
        check(spinning(s), "the hair stopped spinning")
        print("e2e: spinning the scalp example's hair: %.1f frames/s" % (rounds / seconds))
    finally:
        s.env.xdotool("mousedown", "3", "mouseup", "3")
        s.menu(RESET_VIEW)


@case
def display_outgrows_frame_buffer(s):
    # Nothing in the program resizes the display, but a window manager can;
    # the frame buffer then grows before the next frame.
    s.require_commands()
    outer = s.layout["outer"].split(",")[2]
    width, height = (int(v) for v in outer.split("x"))
    s.driver.ok("resize main %d %d" % (width, height + 160))
    s.driver.ok("resize display 620 680")
    s.settle()
    s.read_layout()
    equal(s.view, (618, 678), "view after the display grew")
    s.compare_preview("grown-display")
    s.driver.ok("resize display 620 520")
    s.driver.ok("resize main %d %d" % (width, height))
    s.settle()
    s.read_layout()
    equal(s.view, (618, 518), "view after the display shrank back")
    s.compare_preview("display-back")


# ----------------------------------------------------------------------------
# An input storm: a minute of random use, then the program must still answer
# and compute as before.

STORM_MENUS = [ABOUT, OPEN_MESH, EXPORT_OBJ, LOAD_TEXTURE, SAVE_IMAGE, RESET_VIEW, GREY1, GREY2,
               TEXTURE_WOOD, TEXTURE_METAL, TEXTURE_PATTERN, TEXTURE_USER, LIGHT1, LIGHT2, LIGHT3] + \
              list(range(MATERIAL_BRASS, MATERIAL_PROP + 1))
STORM_CONTROLS = [RADIUS_SCROLL, STRETCH_SCROLL, ONLY_DYNAMIC, REDUCE, CREATE, WIREFRAME, BACKCULLED,
                  TEXTURED, ORIGINAL, HAIR, INVERT]


DIALOG_MENUS = (ABOUT, OPEN_MESH, EXPORT_OBJ, LOAD_TEXTURE, SAVE_IMAGE)


def answer_dialogs(s, rng, files, out_folder, first_wait, tally):
    """Answers whatever dialog or message box opens, at random: a file dialog
    with one of FILES (or a new file in OUT_FOLDER) or cancel, the About box
    with OK, a message box with its button. Waits FIRST_WAIT ms for the first
    one, and a little for any message box that the answer brings."""
    wait = first_wait
    for _ in range(10):
        reply = s.driver.ask("anydialog %d" % wait)
        if not reply.startswith("ok"):
            return
        title = reply[3:]
        quoted = '"%s"' % title
        answered = "cancelled"
        if title == "About Quillmere":
            s.driver.ask("press %s %d" % (quoted, ABOUT_OK))
            answered = "closed"
        elif title in ("Open", "save mesh", "save image") and rng.random() < 0.6:
            if title == "Open":
                path = rng.choice(files)
            else:
                path = os.path.join(out_folder, "storm-%d" % rng.randrange(4))
            s.driver.ask("answer %s %s" % (quoted, windows_path(path)))
            answered = "answered"
        elif title in ("Open", "save mesh", "save image"):
            s.driver.ask("cancel %s" % quoted)
        else:
            s.driver.ask("press %s 1" % quoted)  # a message box's OK
            answered = "closed"
        if not s.driver.ask("gone #32770 %s 5000" % quoted).startswith("ok"):
            s.driver.ask("cancel %s" % quoted)
        key = "%s %s" % (title, answered)
        tally[key] = tally.get(key, 0) + 1
        wait = 1500


def storm_step(s, rng, files, out_folder, tally):
    """One random act of a user: the mouse in the display or on the tool bar,
    a menu command, a new window size, minimise and restore."""
    kind = rng.random()
    ox, oy = s.origin
    w, h = s.view
    wait = 0
    if kind < 0.35:
        act = "display click"
        x, y = ox + rng.randrange(max(1, w)), oy + rng.randrange(max(1, h))
        button = rng.choice(["1", "1", "3"])
        if rng.random() < 0.5:
            s.env.xdotool("mousemove", x, y, "click", button)
        else:
            act = "display drag"
            s.env.xdotool("mousemove", x, y, "mousedown", button, "mousemove",
                          ox + rng.randrange(max(1, w)), oy + rng.randrange(max(1, h)), "mouseup", button)
    elif kind < 0.6:
        act = "tool bar click"
        x, y, cw, ch = s.control_rect(rng.choice(STORM_CONTROLS))
        # A window a resize pushed partly off the screen has controls there.
        x = min(max(x + rng.randrange(max(1, cw)), 0), 1279)
        y = min(max(y + rng.randrange(max(1, ch)), 0), 1023)
        s.env.xdotool("mousemove", x, y, "click", "1")
    elif kind < 0.85:
        act = "menu command"
        command = rng.choice(STORM_MENUS)
        s.driver.ok("post %d" % command)
        # A file dialog can take seconds to open on a loaded machine.
        wait = 15000 if command in DIALOG_MENUS else 0
    elif kind < 0.95:
        act = "resize"
        s.driver.ok("resize main %d %d" % (rng.randrange(320, 1200), rng.randrange(240, 1000)))
    else:
        act = "minimise and restore"
        s.driver.ok("minimise")
        time.sleep(0.2)
        s.driver.ok("restore")
    tally[act] = tally.get(act, 0) + 1
    answer_dialogs(s, rng, files, out_folder, wait, tally)


def set_hair_settings(s, radius_step, stretch_step, only_dynamic, reduce):
    """The tool bar's hair settings to known steps: the arrows clamp, so a
    run down to the end and back up lands exactly."""
    for bar, low, steps in ((RADIUS_SCROLL, 1, radius_step), (STRETCH_SCROLL, -10, stretch_step)):
        for _ in range(21):
            s.driver.ok("scroll %d down" % bar)
        for _ in range(steps - low):
            s.driver.ok("scroll %d up" % bar)
    for control, wanted in ((ONLY_DYNAMIC, only_dynamic), (REDUCE, reduce)):
        if s.checked(control) != wanted:
            s.click(control)


@case
def input_storm(s):
    s.require_commands()
    import random
    rng = random.Random(int(os.environ.get("QUILLMERE_STORM_SEED", "17")))
    example = show_example_hair(s)
    expected_statistics = s.statistics()
    out_folder = os.path.join(s.env.work, "storm")
    os.makedirs(out_folder, exist_ok=True)
    files = [example, s.files["strands"], os.path.join(s.env.args.source_dir, "resources", "wood.jpg")]
    shape = s.layout["outer"].split(",")[2]
    deadline = time.time() + float(os.environ.get("QUILLMERE_STORM_SECONDS", "60"))
    steps, tally = 0, {}
    try:
        while time.time() < deadline:
            storm_step(s, rng, files, out_folder, tally)
            steps += 1
    finally:
        answer_dialogs(s, rng, [example], out_folder, 1000, tally)
        print("input storm: %d steps: %s" % (steps, ", ".join("%s %d" % kv for kv in sorted(tally.items()))))
        width, height = (int(v) for v in shape.split("x"))
        s.driver.ask("restore")
        s.driver.ask("resize main %d %d" % (width, height))
        s.env.xdotool("mousemove", 5, 5)
    check(s.program.poll() is None, "the program ended during the storm (%d steps)" % steps)
    s.settle()
    s.read_layout()
    # The same file and settings again: the same statistics and the same export.
    show_example_hair(s)
    equal(s.statistics(), expected_statistics, "statistics of the hair after %d random steps" % steps)
    out = os.path.join(s.env.work, "after-storm.obj")
    s.driver.ok("post %d" % EXPORT_OBJ)
    s.driver.ok('answer "save mesh" %s' % windows_path(out))
    s.settle()
    reference = example_hair_reference(s)
    with open(out, "rb") as fa, open(reference, "rb") as fb:
        equal(fa.read().replace(b"after-storm.mtl", b"hair.mtl") == fb.read(), True,
              "the export after the storm equals quillmere-cli hair")
    with open(s.program.error_path, "rb") as f:
        errors = [line for line in f.read().decode(errors="replace").splitlines()
                  if not line.startswith("wine: Read access denied for device")]
    equal(errors, [], "Wine's error output during the storm")


@case
def second_instance(s):
    s.driver.ok("minimise")
    time.sleep(1.0)
    equal(s.driver.ok("iconic"), "1", "main window minimised")
    equal(s.title(), "Quillmere", "title after minimising")
    second = s.env.wine(s.env.args.exe, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    try:
        status = second.wait(timeout=60)
    except subprocess.TimeoutExpired:
        second.kill()
        raise Failure("the second instance did not end")
    equal(status, 0, "exit status of the second instance")
    s.driver.ok("sync")
    time.sleep(0.5)
    equal(s.driver.ok("iconic"), "0", "first window restored")
    equal(s.driver.ok("count Quillmere"), "1", "top-level windows of class Quillmere")


@case
def exit_menu(s):
    s.driver.ok("post %d" % EXIT)
    finish(s, "Exit")


def finish(s, how):
    program = s.program
    try:
        status = program.wait(timeout=30)
    except subprocess.TimeoutExpired:
        raise Failure("the program did not end after %s" % how)
    with open(program.error_path, "rb") as f:
        errors = f.read().decode(errors="replace")
    # Wine notes once that it may not read the label of the volume behind
    # drive Z: (the host's root) when a file dialog lists the drives; that
    # is about the host, not the program.
    errors = "\n".join(line for line in errors.splitlines()
                       if not line.startswith("wine: Read access denied for device"))
    equal(status, 1, "exit status after %s (1 after the message loop)" % how)
    equal(errors.strip(), "", "error output of the program")


def close_window(s):
    s.driver.ok("close")
    finish(s, "closing the window")


# ----------------------------------------------------------------------------


def run(args):
    environment = Environment(args)
    results = []
    try:
        try:
            environment.start()
        except Skip as skip:
            print("e2e: skipped: %s" % skip)
            return SKIP_STATUS, results
        session = Session(environment)
        session.files = make_test_files(environment)

        def run_case(name, function):
            started = time.time()
            try:
                function(session)
                results.append((name, "passed", "", time.time() - started))
                print("[  PASSED  ] %s" % name)
            except Skip as skip:
                results.append((name, "skipped", str(skip), time.time() - started))
                print("[  SKIPPED ] %s: %s" % (name, skip))
            except Exception as error:  # a failed case does not stop the others
                detail = str(error) if isinstance(error, Failure) else traceback.format_exc()
                results.append((name, "failed", detail, time.time() - started))
                print("[  FAILED  ] %s: %s" % (name, detail))
                try:
                    environment.screenshot("failed-" + name)
                except Exception:
                    pass
            sys.stdout.flush()

        def start(s):
            s.program = environment.launch()
        run_case("launch", start)
        if results[-1][1] == "passed":
            for function in CASES:
                if not args.only or function.__name__ in args.only.split(","):
                    run_case(function.__name__, function)
        # A second run: closing the window ends the program cleanly too.
        def restart_and_close(s):
            s.program = environment.launch()
            close_window(s)
        if not args.only or "close_window" in args.only.split(","):
            run_case("close_window", restart_and_close)
    finally:
        environment.stop()
    failed = sum(1 for r in results if r[1] == "failed")
    return (1 if failed else 0), results


def write_xml(path, results):
    failures = sum(1 for r in results if r[1] == "failed")
    lines = ['<?xml version="1.0" encoding="UTF-8"?>',
             '<testsuites tests="%d" failures="%d" errors="0" name="e2e">' % (len(results), failures),
             '  <testsuite name="e2e" tests="%d" failures="%d" errors="0">' % (len(results), failures)]
    for name, outcome, detail, seconds in results:
        result = "skipped" if outcome == "skipped" else "completed"
        lines.append('    <testcase name="%s" status="run" result="%s" time="%.3f" classname="e2e">'
                     % (name, result, seconds))
        if outcome == "failed":
            lines.append('      <failure message=%s/>' % saxutils.quoteattr(detail))
        elif outcome == "skipped":
            lines.append('      <skipped message=%s/>' % saxutils.quoteattr(detail))
        lines.append('    </testcase>')
    lines += ['  </testsuite>', '</testsuites>']
    os.makedirs(os.path.dirname(os.path.abspath(path)), exist_ok=True)
    with open(path, "w") as f:
        f.write("\n".join(lines) + "\n")


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n")[0])
    parser.add_argument("--exe", required=True, help="Quillmere.exe")
    parser.add_argument("--driver", required=True, help="the automation driver")
    parser.add_argument("--cli", required=True, help="quillmere-cli.exe of the same build")
    parser.add_argument("--source-dir", required=True)
    parser.add_argument("--build-dir", required=True)
    parser.add_argument("--artefacts", required=True, help="folder for screenshots and files")
    parser.add_argument("--xml", help="GoogleTest-style report")
    parser.add_argument("--only", help="run only these cases (comma-separated; later ones may need earlier ones)")
    args = parser.parse_args()
    status, results = run(args)
    if args.xml and results:
        write_xml(args.xml, results)
    passed = sum(1 for r in results if r[1] == "passed")
    failed = sum(1 for r in results if r[1] == "failed")
    skipped = sum(1 for r in results if r[1] == "skipped")
    print("e2e: %d passed, %d failed, %d skipped" % (passed, failed, skipped))
    return status


if __name__ == "__main__":
    sys.exit(main())
