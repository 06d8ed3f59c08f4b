"""End-to-end tests of the Windows stub out/bin/qox32.exe under Wine.

Self-expanding files are built around the real stub (by qoxpack, or byte by
byte where an archive must be malformed), with setup programs built for
Windows by the tests (setup.c). Each installer runs on a Wine virtual
desktop of 800 x 600 in a private Xvfb; the driver reads the desktop's
windows with winpeek.exe and answers them with xdotool keys, after a click on
the window's caption (there is no window manager to activate it).

Run through wine.sh, which sets up the prefix and the environment:
  QOX_STUB      the stub (out/bin/qox32.exe)
  QOXPACK       the packer (out/bin/qoxpack)
  QOX_WINTESTS  the Windows tree's tests/e2e-wine (setup.exe, winpeek.exe,
                lz32.dll, qox32_lzimport.exe)
  QOX_ARTIFACTS where screenshots are saved (out/artifacts)
"""
import calendar
import os
import shutil
import signal
import struct
import subprocess
import tempfile
import time
import unittest

STUB = os.environ.get("QOX_STUB", "")
QOXPACK = os.environ.get("QOXPACK", "")
WINTESTS = os.environ.get("QOX_WINTESTS", "")
ARTIFACTS = os.environ.get("QOX_ARTIFACTS", "")

TITLE = "Tressilvandora Self-Expand Installer  "
LEAVE = ("Leave this window here until the install finishes, then click YES "
         "to delete temporary files.")
DAMAGED = ("The files could not be expanded: the archive is damaged or the "
           "disk is full.")
STUB_REGION = 32768
SZDD_SIGNATURE = b"SZDD\x88\xf0\x27\x33"
# A fixed zone without daylight saving: DOS times are local, so an offset
# that is not zero shows a time read as universal.
ZONE = "EST5"
ZONE_OFFSET = 5 * 3600
SLOW = 120          # seconds allowed for anything that Wine starts


def winpath(path):
    """The Wine name of a POSIX path: drive Z: is the root."""
    return "Z:" + os.path.abspath(path).replace("/", "\\")


def dos_block(year, month, day, hour, minute, second):
    time_half = (hour << 11) | (minute << 5) | (second // 2)
    date_half = ((year - 1980) << 9) | (month << 5) | day
    return time_half | (date_half << 16)


def entry(name, data, stamp=(2001, 2, 3, 4, 5, 6)):
    """One archive entry: name, zero byte, DOS time block, size, data."""
    raw = name.encode("latin-1") if isinstance(name, str) else name
    return raw + b"\0" + struct.pack("<Ii", dos_block(*stamp), len(data)) + data


def szdd(data, length=None):
    """SZDD mode A made of literals only: a flag byte of ones before every
    eight bytes. `length` overrides the header's expanded length."""
    out = bytearray(SZDD_SIGNATURE + b"A_" + struct.pack("<I", len(data) if length is None else length))
    for i in range(0, len(data), 8):
        chunk = data[i:i + 8]
        out.append((1 << len(chunk)) - 1)
        out += chunk
    return bytes(out)


def layout(stub, record, stream):
    """The self-expanding file: the stub zero-filled to 32768 bytes, the
    record and its zero byte, the compressed stream."""
    with open(stub, "rb") as f:
        image = f.read()
    assert len(image) <= STUB_REGION
    return image + b"\0" * (STUB_REGION - len(image)) + record.encode() + b"\0" + stream


class window:
    def __init__(self, caption, rect, cls):
        self.caption, self.rect, self.cls = caption, rect, cls
        self.controls = {}            # id -> (visible, class, text)

    def text(self, ident):
        return self.controls.get(ident, (0, "", None))[2]


class desktop:
    """What winpeek.exe saw: the desktop's rectangle and its windows."""

    def __init__(self, output):
        self.rect, self.windows = None, []
        for line in output.splitlines():
            kind, _, rest = line.partition(" ")
            if kind == "desktop":
                self.rect = tuple(int(v) for v in rest.split())
            elif kind == "window":
                caption, rect, cls = rest.rsplit("|", 2)
                self.windows.append(window(caption, tuple(int(v) for v in rect.split()), cls))
            elif kind == "control" and self.windows:
                ident, visible, cls, text = rest.split("|", 3)
                self.windows[-1].controls[int(ident)] = (int(visible), cls, text)

    def find(self, caption, test=None):
        """The first window with this caption that passes `test`: a control
        identifier it must have, or a function of the window."""
        for w in self.windows:
            if w.caption != caption:
                continue
            if test is None or (test(w) if callable(test) else test in w.controls):
                return w
        return None

    def __str__(self):
        return "; ".join(f"{w.caption!r} {w.rect} {w.controls}" for w in self.windows)


class wine_case(unittest.TestCase):
    """A private Xvfb per test class; each test gets a folder and a desktop."""

    serial = 0

    @classmethod
    def setUpClass(cls):
        # Wine itself may be missing (wine.sh then skips the run), but what
        # the build makes must be there.
        for need in (STUB, QOXPACK, WINTESTS):
            if not need or not os.path.exists(need):
                raise RuntimeError(f"not built: {need!r} (make build)")
        r, w = os.pipe()
        cls.xvfb = subprocess.Popen(
            ["Xvfb", "-displayfd", str(w), "-screen", "0", "800x600x24", "-nolisten", "tcp"],
            pass_fds=(w,), stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        os.close(w)
        with os.fdopen(r) as f:
            number = f.readline().strip()
        cls.display = ":" + number

    @classmethod
    def tearDownClass(cls):
        cls.xvfb.terminate()
        cls.xvfb.wait()

    def setUp(self):
        wine_case.serial += 1
        self.desk = f"qox{os.getpid()}n{wine_case.serial}"
        self.dir = tempfile.mkdtemp(prefix="qoxwine-")
        self.log = os.path.join(self.dir, "log.txt")
        self.snap = os.path.join(self.dir, "snap")
        self.target = os.path.join(self.dir, "~tempAA.AAA")
        self.env = dict(os.environ, DISPLAY=self.display, TZ=ZONE,
                        QOXLOG=winpath(self.log), QOXSNAP=winpath(self.snap))
        self.proc = None

    def tearDown(self):
        if self.proc and self.proc.poll() is None:
            os.killpg(self.proc.pid, signal.SIGKILL)
            self.proc.wait()
        shutil.rmtree(self.dir, ignore_errors=True)

    # ---- building installers ------------------------------------------

    def payload(self, files):
        """A folder of files; a value of None is a copy of setup.exe."""
        src = os.path.join(self.dir, "payload")
        for name, data in files.items():
            path = os.path.join(src, *name.split("\\"))
            os.makedirs(os.path.dirname(path), exist_ok=True)
            if data is None:
                shutil.copyfile(os.path.join(WINTESTS, "setup.exe"), path)
            else:
                with open(path, "wb") as f:
                    f.write(data)
        return src

    def pack(self, src, *args, stub=None):
        out = os.path.join(self.dir, "install.exe")
        subprocess.run([QOXPACK, "create", "-o", out, "--stub", stub or STUB, *args, src],
                       check=True, stdout=subprocess.DEVNULL, env=dict(os.environ, TZ=ZONE))
        return out

    def write_installer(self, data):
        out = os.path.join(self.dir, "install.exe")
        with open(out, "wb") as f:
            f.write(data)
        return out

    def setup_image(self):
        with open(os.path.join(WINTESTS, "setup.exe"), "rb") as f:
            return f.read()

    # ---- running and driving ---------------------------------------------

    def start(self, installer, **env):
        self.proc = subprocess.Popen(
            ["wine", "explorer", f"/desktop={self.desk},800x600", winpath(installer)],
            cwd=self.dir, env=dict(self.env, **env), stdout=subprocess.DEVNULL,
            stderr=subprocess.DEVNULL, start_new_session=True)

    def finish(self, timeout=SLOW):
        """Waits for the installer (and its desktop) to end."""
        self.proc.wait(timeout=timeout)
        return time.time()

    def peek(self):
        out = subprocess.run(["wine", os.path.join(WINTESTS, "winpeek.exe"), self.desk],
                             env=self.env, capture_output=True, text=True, timeout=SLOW)
        return desktop(out.stdout)

    def wait_window(self, caption, test=None, timeout=SLOW):
        end = time.time() + timeout
        seen = None
        while time.time() < end:
            self.assertIsNone(self.proc.poll(), f"the installer ended before {caption!r} showed")
            seen = self.peek()
            w = seen.find(caption, test)
            if w:
                return seen, w
            time.sleep(0.5)
        self.fail(f"no window {caption!r} within {timeout} s; seen: {seen}")

    def press(self, w, *keys):
        """Activates window `w` with a click on its caption, then types."""
        left, top, right, _ = w.rect
        xdo = dict(self.env)
        subprocess.run(["xdotool", "mousemove", str(left + (right - left) // 3), str(top + 8),
                        "click", "1"], env=xdo, check=True)
        time.sleep(0.5)
        for k in keys:
            if k.startswith("type:"):
                subprocess.run(["xdotool", "type", "--delay", "30", k[5:]], env=xdo, check=True)
            else:
                subprocess.run(["xdotool", "key", k], env=xdo, check=True)
            time.sleep(0.3)

    def screenshot(self, name):
        if not ARTIFACTS:
            return
        os.makedirs(ARTIFACTS, exist_ok=True)
        subprocess.run(["import", "-window", "root", "-depth", "8",
                        os.path.join(ARTIFACTS, name)], env=self.env, check=True)

    def log_lines(self):
        if not os.path.exists(self.log):
            return []
        with open(self.log, encoding="latin-1") as f:
            return [line.split() for line in f]

    def files_under(self, top):
        found = {}
        for base, _, names in os.walk(top):
            for n in names:
                path = os.path.join(base, n)
                found[os.path.relpath(path, top).replace("/", "\\")] = path
        return found


def is_damaged_box(w):
    return w.text(65535) == DAMAGED and 101 not in w.controls


def trunc_half(v):
    """Halves with the remainder dropped towards zero."""
    return int(v / 2)


class auto_mode(wine_case):

    def test_expands_runs_and_removes_the_files(self):
        # Nested names with their time stamps, the stub copy, and setup run
        # in the target; then every file is gone.
        stamps = {"SETUP.EXE": (2004, 5, 6, 7, 8, 10),
                  "README.TXT": (1999, 12, 31, 23, 59, 58),
                  "DIR1\\DIR2\\DEEP.TXT": (2010, 1, 2, 3, 4, 6),
                  "DIR1\\ONE.TXT": (1985, 6, 7, 8, 9, 12)}
        src = self.payload({"SETUP.EXE": None, "README.TXT": b"read me\r\n",
                            "DIR1\\DIR2\\DEEP.TXT": b"deep " * 1000, "DIR1\\ONE.TXT": b""})
        for name, stamp in stamps.items():
            t = calendar.timegm(stamp) + ZONE_OFFSET
            os.utime(os.path.join(src, *name.split("\\")), (t, t))
        installer = self.pack(src, "--run", "setup.exe", "--auto", "--self")
        self.start(installer)
        self.finish()

        lines = self.log_lines()
        self.assertEqual([l[:2] for l in lines], [["SETUP.EXE", "start"], ["SETUP.EXE", "end"]])
        self.assertEqual(lines[0][3], "cwd=" + winpath(self.target))
        # Every file is removed; the folders made for entries stay, and with
        # them the target.
        self.assertEqual(self.files_under(self.target), {})
        self.assertEqual(sorted(os.path.relpath(b, self.target) for b, _, _ in os.walk(self.target)),
                         [".", "DIR1", "DIR1/DIR2"])

        snap = self.files_under(self.snap)
        self.assertEqual(sorted(snap), sorted(list(stamps) + ["QOX32.EXE"]))
        for name, stamp in stamps.items():
            with self.subTest(name=name):
                self.assertEqual(int(os.stat(snap[name]).st_mtime), calendar.timegm(stamp) + ZONE_OFFSET)
        with open(snap["DIR1\\DIR2\\DEEP.TXT"], "rb") as f:
            self.assertEqual(f.read(), b"deep " * 1000)
        with open(snap["QOX32.EXE"], "rb") as f, open(installer, "rb") as g:
            self.assertEqual(f.read(), g.read(STUB_REGION), "QOX32.EXE is the stub region")

    def test_chained_program_is_awaited(self):
        # setup.exe starts setup1.exe through the shell and ends first; the
        # installer removes the files only after setup1.exe has ended too.
        src = self.payload({"SETUP.EXE": None, "SETUP1.EXE": None, "DATA.BIN": b"\x01" * 5000})
        installer = self.pack(src, "--run", "setup.exe", "--chain", "setup1.exe")
        self.start(installer, QOXCHAIN="SETUP1.EXE", QOXWAIT_SETUP="500", QOXWAIT_SETUP1="4000")
        ended = self.finish()
        events = [(l[0], l[1]) for l in self.log_lines()]
        self.assertIn(("SETUP1.EXE", "start"), events)
        self.assertLess(events.index(("SETUP.EXE", "end")), events.index(("SETUP1.EXE", "end")),
                        "setup.exe ends first")
        self.assertGreaterEqual(ended, os.stat(self.log).st_mtime,
                                "the installer ended after setup1.exe's last line")
        self.assertFalse(os.path.exists(self.target))


class manual(wine_case):

    def installer(self):
        src = self.payload({"SETUP.EXE": None, "NOTES.TXT": b"notes"})
        return self.pack(src, "--run", "setup.exe")

    def test_ok_then_yes_removes_the_files(self):
        self.start(self.installer())
        seen, dlg = self.wait_window(TITLE, test=101)
        self.screenshot("qox32-dialog.png")

        # The dialog as the template lays it out, centred on the desktop.
        self.assertEqual(seen.rect, (0, 0, 800, 600))
        left, top, right, bottom = dlg.rect
        self.assertEqual(left, trunc_half(seen.rect[2] - (right - left)))
        self.assertEqual(top, trunc_half(seen.rect[3] - (bottom - top)))
        self.assertEqual(dlg.text(101), winpath(self.target))
        self.assertEqual(dlg.text(201), "Files will be expanded to:")
        self.assertEqual(dlg.controls[1][:2], (1, "Button"))
        self.assertEqual(dlg.text(1), "OK")
        self.assertEqual(dlg.text(2), "Cancel")
        self.assertEqual(dlg.controls[65535][1], "Static")

        self.press(dlg, "Return")
        seen, box = self.wait_window(TITLE, test=6)
        time.sleep(1)           # the dialog behind repaints through the box's loop
        self.screenshot("qox32-yesno.png")
        self.assertEqual(box.text(65535), LEAVE)
        self.assertEqual(box.text(6), "&Yes")
        self.assertEqual(box.text(7), "&No")
        self.assertEqual(sorted(self.files_under(self.target)), ["NOTES.TXT", "SETUP.EXE"])
        behind = seen.find(TITLE, test=101)
        self.assertEqual(behind.text(201), "running...")
        self.assertEqual(behind.controls[1][0], 0, "OK is hidden")

        self.press(box, "Return")
        self.finish()
        self.assertEqual([l[:2] for l in self.log_lines()][0], ["SETUP.EXE", "start"])
        self.assertFalse(os.path.exists(self.target))

    def test_ok_then_no_keeps_the_files(self):
        self.start(self.installer())
        _, dlg = self.wait_window(TITLE, test=101)
        self.press(dlg, "Return")
        _, box = self.wait_window(TITLE, test=6)
        self.press(box, "n")
        self.finish()
        self.assertEqual(sorted(self.files_under(self.target)), ["NOTES.TXT", "SETUP.EXE"])

    def test_escape_before_ok_expands_nothing(self):
        self.start(self.installer())
        _, dlg = self.wait_window(TITLE, test=101)
        self.press(dlg, "Escape")
        self.finish()
        self.assertFalse(os.path.exists(self.target))
        self.assertEqual(self.log_lines(), [])

    def test_typed_path_with_missing_parent_is_a_directory_error(self):
        typed = winpath(os.path.join(self.dir, "missing", "inner"))
        self.start(self.installer())
        _, dlg = self.wait_window(TITLE, test=101)
        # Tab twice from OK reaches the path field, whose text is selected.
        self.press(dlg, "Tab", "Tab", "type:" + typed, "Return")
        _, box = self.wait_window("Directory Error!")
        self.assertEqual(box.text(65535), typed)
        self.press(box, "Return")
        self.finish()
        self.assertFalse(os.path.exists(os.path.join(self.dir, "missing")))
        self.assertFalse(os.path.exists(self.target))
        self.assertEqual(self.log_lines(), [])


class archive(wine_case):

    def test_hostile_names_stay_inside_the_target(self):
        outside = os.path.join(self.dir, "OUTSIDE.TXT")
        rooted = "/QOXROOTED.TXT"
        stream = b"".join([
            entry("..\\ESCAPE.TXT", b"up"),
            entry("SUB\\..\\..\\ESCAPE2.TXT", b"up twice"),
            entry(winpath(outside), b"absolute"),
            entry("\\QOXROOTED.TXT", b"rooted"),
            entry("~un2", b"the installer's own temporary name"),
            entry("GOOD.TXT", b"good"),
            entry("SETUP.EXE", self.setup_image()),
        ])
        self.start(self.write_installer(layout(STUB, "setup.exe,auto", szdd(stream))))
        self.finish()
        try:
            self.assertEqual(sorted(self.files_under(self.snap)), ["GOOD.TXT", "SETUP.EXE"])
            self.assertEqual(sorted(os.listdir(self.dir)), ["install.exe", "log.txt", "snap"])
            self.assertFalse(os.path.exists(rooted))
        finally:
            if os.path.exists(rooted):
                os.remove(rooted)

    def test_damaged_archive_is_reported_and_nothing_runs(self):
        # The header announces more than the stream holds: the last entry is
        # cut short.
        stream = entry("SETUP.EXE", self.setup_image()) + entry("BIG.BIN", b"\xAA" * 3000)
        cut = szdd(stream)[:-1000]
        self.start(self.write_installer(layout(STUB, "setup.exe,auto", cut)))
        _, box = self.wait_window(TITLE, is_damaged_box)
        self.press(box, "Return")
        self.finish()
        self.assertEqual(self.log_lines(), [], "nothing was opened")
        self.assertFalse(os.path.exists(self.target), "what was written is removed")

    def planted(self, stub):
        src = self.payload({"SETUP.EXE": None})
        installer = self.pack(src, "--run", "setup.exe", "--auto", stub=stub)
        shutil.copyfile(os.path.join(WINTESTS, "lz32.dll"), os.path.join(self.dir, "lz32.dll"))
        # Wine would take its own LZ32 first; Windows takes one from the
        # program's folder first, and so does Wine when told so.
        self.start(installer, WINEDLLOVERRIDES="lz32=n,b")
        return os.path.join(self.dir, "PLANTED.TXT")

    def test_planted_lz32_beside_the_stub_is_not_loaded(self):
        marker = self.planted(STUB)
        self.finish()
        self.assertFalse(os.path.exists(marker), "the planted lz32.dll was loaded")
        self.assertEqual([l[:2] for l in self.log_lines()], [["SETUP.EXE", "start"], ["SETUP.EXE", "end"]])
        self.assertFalse(os.path.exists(self.target))

    def test_planted_lz32_is_seen_when_the_loader_takes_it(self):
        # The control: a stub that imports LZ32 by name loads the planted
        # DLL, whose failing service makes the archive unreadable.
        marker = self.planted(os.path.join(WINTESTS, "qox32_lzimport.exe"))
        _, box = self.wait_window(TITLE, is_damaged_box)
        self.assertTrue(os.path.exists(marker), "the control stub did not load the planted DLL")
        self.press(box, "Return")
        self.finish()


if __name__ == "__main__":
    unittest.main()
