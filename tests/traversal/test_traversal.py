"""The traversal corpus (names.txt) against the POSIX installer and against
`qoxpack extract`: one self-expanding file per name, inside a tree of
sentinel files planted where escaping names aim. Nothing outside the target
may be written or removed; refused names are never written; names that land
are written inside the target and removed again at clean-up."""

import os
import shutil
import sys
import tempfile
import unittest

sys.path.insert(0, os.path.join(os.path.dirname(__file__), "..", "e2e-posix"))
from names import load  # noqa: E402
from test_installer import LEAVE, QOXPACK, Installer, compress, entry, stub_region, write_exe  # noqa: E402
import subprocess  # noqa: E402

GOOD = b"#!/bin/sh\nexit 0\n"
ABSOLUTE = "/tmp/qox-traversal-victim"


class traversal(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.names = load()
        cls.region = stub_region()
        cls.planted = not os.path.exists(ABSOLUTE)
        if cls.planted:
            with open(ABSOLUTE, "w") as f:
                f.write("sentinel\n")

    @classmethod
    def tearDownClass(cls):
        if cls.planted:
            os.unlink(ABSOLUTE)

    def setUp(self):
        self.base = tempfile.mkdtemp(prefix="qox-traversal-")
        self.addCleanup(shutil.rmtree, self.base, True)
        self.here = os.path.join(self.base, "a", "b", "c")
        os.makedirs(self.here)
        for d in (self.base, os.path.join(self.base, "a"), os.path.join(self.base, "a", "b"), self.here):
            with open(os.path.join(d, "victim"), "w") as f:
                f.write("sentinel\n")
        os.mkdir(os.path.join(self.here, "SUB"))
        self.exe = os.path.join(self.here, "install.run")
        self.target = os.path.join(self.here, "~tempAA.AAA")

    def snapshot(self):
        """Every file and folder under the base, and the absolute sentinel."""
        out = {}
        for root, dirs, files in os.walk(self.base):
            for d in dirs:
                out[os.path.join(root, d) + "/"] = None
            for n in files:
                with open(os.path.join(root, n), "rb") as f:
                    out[os.path.join(root, n)] = f.read()
        with open(ABSOLUTE, "rb") as f:
            out[ABSOLUTE] = f.read()
        return out

    def outside(self, snap, *inside):
        return {p: v for p, v in snap.items()
                if not any(p == d + "/" or p.startswith(d + "/") for d in inside)}

    def holding(self, snap, data):
        return [p for p, v in snap.items() if v == data]

    def craft(self, name, data):
        stream = entry(name, 0, data) + entry(b"GOOD.SH", 0, GOOD)
        write_exe(self.exe, self.region + b"GOOD.SH\0" + compress(stream))

    def check_placement(self, verdict, found, inside):
        if verdict == "refused":
            self.assertEqual(found, [], "a refused name was written")
        for p in found:
            self.assertTrue(p.startswith(inside + "/"), "written outside: " + p)
        if verdict == "lands":
            self.assertEqual(len(found), 1, "the entry was not written")

    def install(self, verdict, name, data):
        self.craft(name, data)
        before = self.snapshot()
        inst = Installer(self.exe)
        try:
            inst.expect("ready: ")
            inst.send("")
            # Read through, the entry leaves the stream in step: the next
            # entry is written and nothing counts as damaged.
            self.assertEqual(inst.expect("box text: "), LEAVE)
            inst.expect("box buttons: ")
            mid = self.snapshot()
            self.assertEqual(mid.get(os.path.join(self.target, "GOOD.SH")), GOOD)
            self.check_placement(verdict, self.holding(mid, data), self.target)
            self.assertEqual(self.outside(mid, self.target), self.outside(before, self.target))
            inst.send("yes")
            self.assertEqual(inst.expect("dialog ended: "), "1")
            self.assertEqual(inst.finish(), 0)
            after = self.snapshot()
            self.assertEqual(self.outside(after, self.target), self.outside(before, self.target),
                             "clean-up changed something outside the target")
            self.assertEqual(self.holding(after, data), [], "clean-up left the entry")
        finally:
            inst.stop()
            shutil.rmtree(self.target, True)

    def test_installer(self):
        for i, (verdict, name, line) in enumerate(self.names):
            with self.subTest(line=line, name=name):
                self.install(verdict, name, b"QOXTRAV-%03d\n" % i)

    def test_qoxpack_extract(self):
        into = os.path.join(self.here, "extracted")
        for i, (verdict, name, line) in enumerate(self.names):
            with self.subTest(line=line, name=name):
                data = b"QOXTRAV-%03d\n" % i
                self.craft(name, data)
                before = self.snapshot()
                r = subprocess.run([QOXPACK, "extract", self.exe, into], capture_output=True)
                after = self.snapshot()
                if verdict == "refused":
                    self.assertNotEqual(r.returncode, 0, "a refused name was extracted")
                found = self.holding(after, data)
                for p in found:
                    self.assertTrue(p.startswith(into + "/"), "written outside: " + p)
                if verdict == "refused":
                    self.assertEqual(found, [])
                self.assertEqual(self.outside(after, into), self.outside(before, into))
                shutil.rmtree(into, True)


if __name__ == "__main__":
    unittest.main()
