"""A real full disk under the POSIX stub: the target lies on a small tmpfs
(or, where mounting is not allowed, the stub runs under a file size limit),
and the disk fills while "~un1", "~un2" or an entry is written. The user is
told the archive is damaged or the disk full, nothing is started, and nothing
written stays behind."""

import os
import random
import subprocess
import sys
import tempfile
import unittest

sys.path.insert(0, os.path.join(os.path.dirname(__file__), "..", "e2e-posix"))
import test_installer  # noqa: E402
from test_installer import DAMAGED, Installer, compress, entry, stub_region, write_exe  # noqa: E402

SETUP = b"#!/bin/sh\necho ran > ../ran-setup\n"


def noise(n, seed):
    rnd = random.Random(seed)
    return bytes(rnd.getrandbits(8) for _ in range(n))


class disk_full(unittest.TestCase):
    def setUp(self):
        self.base = tempfile.mkdtemp(prefix="qox-full-")
        self.addCleanup(subprocess.run, ["rm", "-rf", self.base])
        self.disk = os.path.join(self.base, "disk")
        os.mkdir(self.disk)
        self.exe = os.path.join(self.base, "install.run")

    def mount(self, kib):
        """A tmpfs of `kib` KiB on self.disk; False where mounting is refused."""
        r = subprocess.run(["mount", "-t", "tmpfs", "-o", "size=%dk" % kib, "qox-full", self.disk],
                           capture_output=True)
        if r.returncode != 0:
            return False
        self.addCleanup(subprocess.run, ["umount", "-l", self.disk])
        return True

    def expand(self, stream, limit=None, trap=True):
        blob = stub_region() + b"SETUP.SH\0" + compress(stream)
        write_exe(self.exe, blob)
        target = os.path.join(self.disk, "target")
        wrapper = test_installer.WRAPPER
        if limit:
            # Past the limit a write fails with EFBIG instead of ending the
            # process (the shell leaves the signal ignored for the stub), as a
            # full disk fails it with ENOSPC.
            test_installer.WRAPPER = ["sh", "-c", '%sexec prlimit --fsize=%d "$@"'
                                      % ('trap "" XFSZ; ' if trap else "", limit), "sh", *wrapper]
        try:
            inst = Installer(self.exe)
        finally:
            test_installer.WRAPPER = wrapper
        self.addCleanup(inst.stop)
        inst.expect("ready: ")
        inst.send(target)
        self.assertEqual(inst.expect("box text: "), DAMAGED)
        inst.send("")
        self.assertEqual(inst.expect("dialog ended: "), "1")
        self.assertEqual(inst.finish(), 0)
        self.assertNotIn("status: running...", inst.lines)
        self.assertFalse(os.path.exists(os.path.join(self.base, "ran-setup")))
        self.assertEqual(os.listdir(self.disk), [], "what was written stays")
        self.assertEqual(sorted(os.listdir(self.base)), ["disk", "install.run"])

    # Each archive fills the disk at a different file: the compressed copy,
    # the expanded stream, or an entry once both temporary files were made.
    def test_full_while_copying_the_compressed_stream(self):
        stream = entry(b"SETUP.SH", 0, SETUP) + entry(b"NOISE.BIN", 0, noise(400000, 1))
        if self.mount(128):
            self.expand(stream)
        else:
            self.expand(stream, limit=128 * 1024)

    def test_full_while_expanding(self):
        stream = entry(b"SETUP.SH", 0, SETUP) + entry(b"ZEROS.BIN", 0, bytes(600000))
        if self.mount(256):
            self.expand(stream)
        else:
            self.expand(stream, limit=256 * 1024)

    def test_full_while_writing_entries(self):
        # ~un1 is small and ~un2 fits; ~un2 and the entries together do not.
        text = b"".join(b"line %d of a repetitive text\n" % (i % 50) for i in range(8000))
        stream = entry(b"SETUP.SH", 0, SETUP) + entry(b"A.TXT", 0, text) + entry(b"B.TXT", 0, text)
        if not self.mount(640):
            self.skipTest("no tmpfs: a per-file limit cannot fill the disk between files")
        self.expand(stream)

    # Under a file size limit the write past it fails (the stub ignores
    # SIGXFSZ) and is answered as a full disk.
    def test_file_size_limit_is_a_full_disk(self):
        stream = entry(b"SETUP.SH", 0, SETUP) + entry(b"NOISE.BIN", 0, noise(400000, 2))
        self.expand(stream, limit=128 * 1024, trap=False)


if __name__ == "__main__":
    unittest.main()
