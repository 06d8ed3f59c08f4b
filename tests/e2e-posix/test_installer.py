"""End-to-end runs of the POSIX stub: self-expanding files built around
out/bin/qox, started as a subprocess whose user is a pipe, and checked on the
file system afterwards."""

import os
import queue
import shlex
import shutil
import stat
import struct
import subprocess
import tempfile
import threading
import time
import unittest

QOX = os.environ["QOX"]
QOXPACK = os.environ["QOXPACK"]
SZDDPACK = os.environ["SZDDPACK"]
# A command the stub is started under (valgrind, or a sanitizer build's
# runner), given the self-expanding file as its first argument.
WRAPPER = shlex.split(os.environ.get("QOX_WRAPPER", ""))

TITLE = "Tressilvandora Self-Expand Installer  "
LEAVE = ("Leave this window here until the install finishes, "
         "then click YES to delete temporary files.")
DAMAGED = ("The files could not be expanded: the archive is damaged "
           "or the disk is full.")

# A setup program: says what it does, leaves a mark beside the target.
SETUP = b"#!/bin/sh\necho 'setup: installing'\necho done > ../ran-setup\n"


def dos_block(y, mo, d, h, mi, s):
    return (((y - 1980) << 9 | mo << 5 | d) << 16) | (h << 11 | mi << 5 | s // 2)


def entry(name, block, data, size=None):
    return (name + b"\0" + struct.pack("<Ii", block, len(data) if size is None else size)
            + data)


def stub_region():
    with open(QOX, "rb") as f:
        stub = f.read()
    assert len(stub) <= 32768
    return stub + b"\0" * (32768 - len(stub))


def compress(stream):
    return subprocess.run([SZDDPACK], input=stream, capture_output=True,
                          check=True).stdout


def write_exe(path, blob):
    with open(path, "wb") as f:
        f.write(blob)
    os.chmod(path, 0o755)


class Installer:
    """The stub running with a pipe as its user: its lines, as they come."""

    def __init__(self, path, args=(), tz="UTC"):
        env = dict(os.environ, TZ=tz)
        self.proc = subprocess.Popen([*WRAPPER, path, *args], stdin=subprocess.PIPE,
                                     stdout=subprocess.PIPE, env=env,
                                     cwd=os.path.dirname(path))
        self.lines = []
        self.q = queue.Queue()
        threading.Thread(target=self._read, daemon=True).start()

    def _read(self):
        for raw in self.proc.stdout:
            self.q.put(raw.decode("latin-1").rstrip("\n"))
        self.q.put(None)

    def expect(self, prefix, timeout=15):
        """Waits for the next line that starts with `prefix`; returns the rest."""
        end = time.time() + timeout
        while True:
            try:
                line = self.q.get(timeout=max(0.01, end - time.time()))
            except queue.Empty:
                line = None
                self.fail_wait(prefix, "timed out")
            if line is None:
                self.fail_wait(prefix, "output ended")
            self.lines.append(line)
            if line.startswith(prefix):
                return line[len(prefix):]

    def fail_wait(self, prefix, why):
        self.proc.kill()
        raise AssertionError("%s waiting for %r; lines so far:\n%s"
                             % (why, prefix, "\n".join(self.lines)))

    def send(self, line):
        self.proc.stdin.write(line.encode() + b"\n")
        self.proc.stdin.flush()

    def close(self):
        self.proc.stdin.close()

    def stop(self):
        if self.proc.poll() is None:
            self.proc.kill()
            self.proc.wait()
        for f in (self.proc.stdin, self.proc.stdout):
            if not f.closed:
                f.close()

    def finish(self, timeout=20):
        """Waits for the end; returns the exit code. All lines are kept."""
        code = self.proc.wait(timeout=timeout)
        while True:
            line = self.q.get(timeout=5)
            if line is None:
                return code
            self.lines.append(line)


class Case(unittest.TestCase):
    def setUp(self):
        self.dir = tempfile.mkdtemp(prefix="qox-e2e-")
        self.addCleanup(shutil.rmtree, self.dir, True)
        self.payload = os.path.join(self.dir, "payload")
        os.mkdir(self.payload)
        self.exe = os.path.join(self.dir, "install.run")
        self.target = os.path.join(self.dir, "~tempAA.AAA")

    def add(self, name, data, mode=0o644):
        p = os.path.join(self.payload, *name.split("/"))
        os.makedirs(os.path.dirname(p), exist_ok=True)
        with open(p, "wb") as f:
            f.write(data)
        os.chmod(p, mode)
        return p

    def pack(self, *opts, tz="UTC"):
        """Builds the self-expanding file with qoxpack."""
        env = dict(os.environ, TZ=tz)
        r = subprocess.run([QOXPACK, "create", "-o", self.exe, "--stub", QOX, *opts,
                            self.payload], capture_output=True, text=True, env=env)
        self.assertEqual(r.returncode, 0, r.stderr)

    def craft(self, record, stream, cut=0):
        """Builds a self-expanding file by hand, for what qoxpack refuses."""
        blob = stub_region() + record + b"\0" + compress(stream)
        write_exe(self.exe, blob[:len(blob) - cut] if cut else blob)

    def start(self, args=(), tz="UTC"):
        inst = Installer(self.exe, args, tz)
        self.addCleanup(inst.stop)
        self.assertEqual(inst.expect("caption: "), TITLE)
        # The path field is filled before the caption is set.
        self.assertIn("path: " + self.target, inst.lines)
        return inst

    def ran(self):
        return os.path.exists(os.path.join(self.dir, "ran-setup"))

    def wait_for(self, cond, timeout=10):
        end = time.time() + timeout
        while not cond():
            if time.time() > end:
                self.fail("condition not met in time")
            time.sleep(0.05)

    def listing(self):
        out = []
        for root, dirs, files in os.walk(self.target):
            rel = os.path.relpath(root, self.target)
            out += [os.path.normpath(os.path.join(rel, n)) for n in files]
        return sorted(out)


class manual(Case):
    def test_yes_removes_everything(self):
        self.add("SETUP.SH", SETUP)
        self.add("DATA/README.TXT", b"read me\n")
        self.pack("--run", "setup.sh")          # found without regard to case
        inst = self.start()
        inst.expect("ready: ")
        inst.send("")
        self.assertEqual(inst.expect("status: "), "expanding, please wait...")
        self.assertEqual(inst.expect("status: "), "creating...")
        inst.expect("status: running...")
        self.assertEqual(inst.expect("path: "), self.target + "/setup.sh")
        self.assertEqual(inst.expect("box caption: "), TITLE)
        self.assertEqual(inst.expect("box text: "), LEAVE)
        self.assertEqual(inst.expect("box buttons: "), "Yes/No")
        self.wait_for(self.ran)
        time.sleep(0.3)                          # let the script's shell end
        inst.send("yes")
        inst.expect("status: removing temp files...")
        self.assertEqual(inst.expect("dialog ended: "), "1")
        self.assertEqual(inst.finish(), 0)
        # Every listed file is gone; the directory made for an entry stays,
        # and with it the target.
        self.assertEqual(self.listing(), [])
        self.assertEqual(os.listdir(self.target), ["DATA"])

    def test_no_leaves_everything(self):
        self.add("SETUP.SH", SETUP)
        self.add("DIR1/DIR2/FILE.TXT", b"deep")
        self.pack("--run", "SETUP.SH", "--self")
        inst = self.start()
        inst.send("")
        inst.expect("box buttons: ")
        inst.send("no")
        self.assertEqual(inst.expect("dialog ended: "), "1")
        self.assertEqual(inst.finish(), 0)
        self.assertEqual(self.listing(), ["DIR1/DIR2/FILE.TXT", "QOX32.EXE", "SETUP.SH"])
        with open(os.path.join(self.target, "DIR1", "DIR2", "FILE.TXT"), "rb") as f:
            self.assertEqual(f.read(), b"deep")
        # The stub copy: exactly the stub region of the self-expanding file.
        with open(os.path.join(self.target, "QOX32.EXE"), "rb") as f:
            copy = f.read()
        with open(self.exe, "rb") as f:
            self.assertEqual(copy, f.read()[:32768])
        self.assertFalse(os.path.exists(os.path.join(self.target, "~un1")))
        self.assertFalse(os.path.exists(os.path.join(self.target, "~un2")))

    def test_typed_path_and_existing_directory(self):
        self.add("SETUP.SH", SETUP)
        other = os.path.join(self.dir, "elsewhere")
        os.mkdir(other)
        with open(os.path.join(other, "SETUP.SH"), "w") as f:
            f.write("old")
        self.pack("--run", "setup.sh")
        inst = self.start()
        inst.expect("ready: ")
        inst.send(other)
        self.assertEqual(inst.expect("path: "), other)
        self.assertEqual(inst.expect("box text: "), LEAVE)
        inst.send("n")
        self.assertEqual(inst.finish(), 0)
        with open(os.path.join(other, "SETUP.SH"), "rb") as f:
            self.assertEqual(f.read(), SETUP)   # overwritten by the entry
        self.assertFalse(os.path.exists(self.target))

    def test_cancel_while_the_question_is_open(self):
        self.add("SETUP.SH", SETUP)
        self.pack("--run", "setup.sh")
        inst = self.start()
        inst.send("")
        inst.expect("box buttons: ")
        inst.send("cancel")                     # the dialog ends, the box stays
        self.wait_for(self.ran)
        time.sleep(0.3)
        inst.send("yes")                        # ...and its answer is acted on
        self.assertEqual(inst.expect("dialog ended: "), "1")
        self.assertEqual(inst.finish(), 0)
        self.assertFalse(os.path.exists(self.target))

    def test_end_of_input_in_the_question_is_no(self):
        self.add("SETUP.SH", SETUP)
        self.pack("--run", "setup.sh")
        inst = self.start()
        inst.send("")
        inst.expect("box buttons: ")
        inst.close()
        self.assertEqual(inst.finish(), 0)
        self.assertTrue(os.path.isdir(self.target))


class auto_mode(Case):
    def test_auto_waits_for_the_program(self):
        self.add("SETUP.SH", b"#!/bin/sh\nsleep 1.2\necho done > ../ran-setup\n")
        self.add("LIB/DATA.BIN", os.urandom(100000))
        self.pack("--run", "setup.sh", "--auto")
        inst = self.start()
        inst.expect("status: running...")
        inst.expect("status: removing temp files...")
        self.assertTrue(self.ran(), "cleaned up before the program ended")
        self.assertEqual(inst.expect("dialog ended: "), "1")
        self.assertEqual(inst.finish(), 0)
        self.assertNotIn("ready: ", "\n".join(inst.lines))   # never waited for OK
        # Directories made for entries stay; the listed files are gone.
        self.assertEqual(self.listing(), [])

    def test_chained_program_is_awaited_too(self):
        # setup starts setup1 and ends first; the stub must wait for setup1.
        self.add("SETUP.SH", b"#!/bin/sh\nsh ./SETUP1.SH </dev/null >/dev/null 2>&1 &\nexit 0\n")
        self.add("SETUP1.SH", b"#!/bin/sh\nsleep 1.5\necho done > ../ran-setup\n")
        self.pack("--run", "SETUP.SH", "--chain", "SETUP1.SH")
        inst = self.start()
        inst.expect("status: removing temp files...", timeout=20)
        self.assertTrue(self.ran(), "cleaned up before the chained program ended")
        self.assertEqual(inst.finish(), 0)
        self.assertFalse(os.path.exists(self.target))

    def test_arguments_change_nothing(self):
        self.add("SETUP.SH", SETUP)
        self.pack("--run", "setup.sh", "--auto")
        inst = self.start(args=("--help", "/tmp", "x,y"))
        self.assertEqual(inst.expect("dialog ended: "), "1")
        self.assertEqual(inst.finish(), 0)
        self.assertTrue(self.ran())
        self.assertFalse(os.path.exists(self.target))

    def test_cancel_while_polling(self):
        # A program that never appears: the stub polls until the user cancels.
        self.add("DATA.TXT", b"x")
        self.pack("--run", "MISSING.SH", "--auto")
        inst = self.start()
        inst.expect("status: running...")
        time.sleep(1.2)
        inst.close()
        self.assertEqual(inst.expect("dialog ended: "), "2")
        self.assertEqual(inst.finish(), 0)
        self.assertEqual(self.listing(), ["DATA.TXT"])


class dialog(Case):
    def test_cancel_before_ok(self):
        self.add("SETUP.SH", SETUP)
        self.pack("--run", "setup.sh")
        inst = self.start()
        inst.expect("ready: ")
        inst.close()
        self.assertEqual(inst.expect("dialog ended: "), "2")
        self.assertEqual(inst.finish(), 0)
        self.assertFalse(os.path.exists(self.target))
        self.assertFalse(self.ran())

    def test_directory_error(self):
        self.add("SETUP.SH", SETUP)
        self.pack("--run", "setup.sh")
        inst = self.start()
        inst.expect("ready: ")
        bad = os.path.join(self.dir, "no", "such", "dir")
        inst.send(bad)
        self.assertEqual(inst.expect("box caption: "), "Directory Error!")
        self.assertEqual(inst.expect("box text: "), bad)
        self.assertEqual(inst.expect("box buttons: "), "OK")
        inst.send("")
        self.assertEqual(inst.expect("dialog ended: "), "2")
        self.assertEqual(inst.finish(), 0)
        self.assertFalse(os.path.exists(os.path.join(self.dir, "no")))

    def test_space_after_comma_means_manual(self):
        self.craft(b"SETUP.SH, SETUP1.SH", entry(b"SETUP.SH", 0, SETUP))
        inst = self.start()
        inst.expect("ready: ")                  # no auto mode: waits for OK
        inst.send("")
        self.assertEqual(inst.expect("box text: "), LEAVE)
        inst.send("no")
        self.assertEqual(inst.finish(), 0)

    def test_empty_record(self):
        self.add("A.TXT", b"a")
        self.pack()
        inst = self.start()
        inst.send("")
        self.assertEqual(inst.expect("dialog ended: "), "1")
        self.assertEqual(inst.finish(), 0)
        self.assertNotIn("status: running...", inst.lines)
        self.assertEqual(self.listing(), ["A.TXT"])


class expansion(Case):
    def test_time_stamps_are_local_time(self):
        tz = "America/New_York"
        block = dos_block(2021, 7, 4, 13, 45, 30)
        self.craft(b"", entry(b"A.TXT", block, b"a") + entry(b"SUB\\B.TXT", block, b""))
        inst = self.start(tz=tz)
        inst.send("")
        self.assertEqual(inst.finish(), 0)
        os.environ["TZ"] = tz
        time.tzset()
        try:
            want = time.mktime((2021, 7, 4, 13, 45, 30, 0, 0, -1))
        finally:
            os.environ["TZ"] = "UTC"
            time.tzset()
        for name in ("A.TXT", "SUB/B.TXT"):
            self.assertEqual(os.stat(os.path.join(self.target, name)).st_mtime, want, name)

    def test_qoxpack_round_trip_of_times_and_sizes(self):
        p = self.add("X.BIN", os.urandom(70000))
        os.utime(p, (1600000000, 1600000000))
        self.add("EMPTY.TXT", b"")
        self.pack("--run", "none", tz="Europe/Berlin")
        inst = self.start(tz="Europe/Berlin")
        inst.send("")
        inst.expect("box buttons: ")
        inst.send("no")
        self.assertEqual(inst.finish(), 0)
        self.assertEqual(os.stat(os.path.join(self.target, "X.BIN")).st_mtime, 1600000000)
        self.assertEqual(os.path.getsize(os.path.join(self.target, "EMPTY.TXT")), 0)

    def test_negative_and_zero_sizes_make_empty_files(self):
        self.craft(b"", entry(b"Z", 0, b"") + entry(b"N", 0, b"", size=-7) + entry(b"L", 0, b"last"))
        inst = self.start()
        inst.send("")
        self.assertEqual(inst.finish(), 0)
        self.assertEqual(self.listing(), ["L", "N", "Z"])
        self.assertEqual(os.path.getsize(os.path.join(self.target, "N")), 0)


class hostile(Case):
    def test_names_never_escape_the_target(self):
        victim = os.path.join(self.dir, "victim")
        with open(victim, "w") as f:
            f.write("keep")
        names = [b"..\\victim", b"../victim", b"SUB\\..\\..\\victim", b"/tmp/qox-e2e-abs",
                 b"\\tmp\\qox-e2e-abs", b"C:victim", b".. \\victim", b"~un2"]
        stream = b"".join(entry(n, 0, b"EVIL") for n in names)
        stream += entry(b"GOOD.SH", 0, b"#!/bin/sh\n")  # read from the right place
        self.craft(b"GOOD.SH,auto", stream)
        inst = self.start()
        self.assertEqual(inst.expect("dialog ended: "), "1")
        self.assertEqual(inst.finish(), 0)
        with open(victim) as f:
            self.assertEqual(f.read(), "keep")
        self.assertFalse(os.path.exists("/tmp/qox-e2e-abs"))
        self.assertEqual(sorted(os.listdir(self.dir)), ["install.run", "payload", "victim"])
        # GOOD.SH was written, run and removed.
        self.assertIn("path: GOOD.SH", inst.lines)

    def test_damaged_archives_are_not_installed(self):
        good = entry(b"SETUP.SH", 0, SETUP) + entry(b"DATA.TXT", 0, b"x" * 5000)
        cases = {
            "compressed stream cut": (good, 200),
            "entry data cut short": (entry(b"SETUP.SH", 0, SETUP) + entry(b"DATA.TXT", 0, b"x", size=900), 0),
            "stream ends in a header": (good + b"TAIL\0\1\2", 0),
            "name without its zero byte": (good + b"X" * 300, 0),
        }
        for what, (stream, cut) in cases.items():
            with self.subTest(what):
                self.craft(b"SETUP.SH,auto", stream, cut)
                inst = self.start()
                self.assertEqual(inst.expect("box text: "), DAMAGED)
                inst.send("")
                self.assertEqual(inst.expect("dialog ended: "), "1")
                self.assertEqual(inst.finish(), 0)
                self.assertFalse(self.ran(), "the setup program was opened")
                self.assertFalse(os.path.exists(self.target), "what was written stays")

    def test_stub_alone_says_so(self):
        write_exe(self.exe, stub_region())
        inst = self.start()
        inst.send("")
        self.assertEqual(inst.expect("box text: "), DAMAGED)
        inst.send("")
        self.assertEqual(inst.finish(), 0)
        self.assertFalse(os.path.exists(self.target))

    def test_bytes_after_the_compressed_data_are_ignored(self):
        # A signature appended to a signed file must not become entries.
        self.craft(b"", entry(b"A.TXT", 0, b"a"))
        with open(self.exe, "ab") as f:
            f.write(entry(b"EVIL.TXT", 0, b"evil") * 3)
        inst = self.start()
        inst.send("")
        self.assertEqual(inst.finish(), 0)
        self.assertEqual(self.listing(), ["A.TXT"])


if __name__ == "__main__":
    unittest.main()
