#!/usr/bin/env python3
"""bench.py: whole installations side by side, on the same payloads: the
POSIX stub in automatic mode, the self-extractors people use on Linux
(makeself with gzip and xz, 7-Zip's console self-extractor in 7z and copy
modes, unzip), `cp -r` as the floor, and the Windows stub under Wine.

The payloads are the codec benchmark's synthetic setup archives (lzbench gen,
same sizes and seeds) unpacked into folders of files, plus a 200 MiB one,
each with a setup program that ends at once: setup.sh for the POSIX stub and
the makeself run, quick.exe for the Windows stub.

The POSIX stub's phases come from what it does to its target folder, seen
through inotify with a monotonic clock (the folder is made empty beforehand,
which the installer accepts as it is), and from its status lines: nothing is
added to the stub and nothing slows it. Peak memory is the program's
getrusage (the largest of it and the children it waited for), taken by a
small launcher (peak.c).

  bench.py posix  [options]      the POSIX side; prints the table, writes JSON
  bench.py wine   [options]      the Windows stub, run inside wine.sh run;
                                 writes its figures as JSON to --wine-json
"""
import argparse
import ctypes
import hashlib
import json
import os
import select
import shutil
import struct
import subprocess
import sys
import time

POLL_MS = 500             # the stub's poll interval in automatic mode
TARGET = "~tempAA.AAA"    # the folder the stub proposes next to itself
SFX = "/usr/lib/p7zip/7zCon.sfx"

# ---- inotify -----------------------------------------------------------------

IN_MODIFY, IN_CLOSE_WRITE, IN_CREATE, IN_DELETE, IN_DELETE_SELF = 0x2, 0x8, 0x100, 0x200, 0x400
IN_NONBLOCK, IN_CLOEXEC = 0o4000, 0o2000000
libc = ctypes.CDLL(None, use_errno=True)


class watch:
    """Events on one folder: (monotonic seconds, kind, name)."""

    def __init__(self, path, writes):
        self.fd = libc.inotify_init1(IN_NONBLOCK | IN_CLOEXEC)
        if self.fd < 0:
            raise OSError(ctypes.get_errno(), "inotify_init1")
        # Every write is an event: only where writes are few (the POSIX
        # stub's are 64 KiB) do they fit the kernel's queue.
        mask = IN_CLOSE_WRITE | IN_CREATE | IN_DELETE | IN_DELETE_SELF | (IN_MODIFY if writes else 0)
        if libc.inotify_add_watch(self.fd, path.encode(), mask) < 0:
            raise OSError(ctypes.get_errno(), "inotify_add_watch " + path)
        self.events = []

    def drain(self):
        now = time.monotonic()
        while True:
            try:
                buf = os.read(self.fd, 65536)
            except BlockingIOError:
                return
            at = 0
            while at < len(buf):
                _, mask, _, n = struct.unpack_from("iIII", buf, at)
                name = buf[at + 16:at + 16 + n].split(b"\0", 1)[0].decode("latin-1")
                at += 16 + n
                for bit, kind in ((IN_CREATE, "create"), (IN_MODIFY, "modify"),
                                  (IN_CLOSE_WRITE, "closed"), (IN_DELETE, "delete"),
                                  (IN_DELETE_SELF, "gone")):
                    if mask & bit:
                        self.events.append((now, kind, name))

    def close(self):
        os.close(self.fd)


# ---- payloads -----------------------------------------------------------------

def unpack(stream, folder):
    """Writes an archive stream's entries as files, with their DOS times read
    as local time."""
    at, n = 0, 0
    while at < len(stream):
        end = stream.index(b"\0", at)
        name = stream[at:end].decode("latin-1")
        block, size = struct.unpack_from("<Ii", stream, end + 1)
        data = stream[end + 9:end + 9 + size]
        at = end + 9 + size
        path = os.path.join(folder, *name.split("\\"))
        os.makedirs(os.path.dirname(path), exist_ok=True)
        with open(path, "wb") as f:
            f.write(data)
        t, d = block & 0xFFFF, block >> 16
        stamp = time.mktime(((d >> 9) + 1980, (d >> 5) & 15, d & 31,
                             t >> 11, (t >> 5) & 63, (t & 31) * 2, 0, 0, -1))
        os.utime(path, (stamp, stamp))
        n += 1
    return n


def payload(a, name, size, seed):
    """The folder of one payload, made again only when the generator's output
    has changed. Returns (folder, files, bytes, changed)."""
    base = os.path.join(a.work, "payload")
    folder = os.path.join(base, name)
    os.makedirs(base, exist_ok=True)
    tmp = os.path.join(base, name + ".bin")
    subprocess.run([a.lzbench, "gen", str(size), str(seed), tmp], check=True,
                   stdout=subprocess.DEVNULL)
    with open(tmp, "rb") as f:
        stream = f.read()
    os.unlink(tmp)
    digest = hashlib.sha256(stream + open(a.quick, "rb").read()).hexdigest()
    stamp = os.path.join(base, name + ".sha256")
    changed = not (os.path.isdir(folder) and os.path.exists(stamp) and
                   open(stamp).read() == digest)
    if changed:
        shutil.rmtree(folder, ignore_errors=True)
        os.makedirs(folder)
        unpack(stream, folder)
        with open(os.path.join(folder, "setup.sh"), "w") as f:
            f.write("#!/bin/sh\nexit 0\n")
        os.chmod(os.path.join(folder, "setup.sh"), 0o755)
        shutil.copyfile(a.quick, os.path.join(folder, "quick.exe"))
        with open(stamp, "w") as f:
            f.write(digest)
    files = sorted(os.listdir(folder))
    total = sum(os.path.getsize(os.path.join(folder, f)) for f in files)
    return folder, len(files), total, changed


# ---- packages -------------------------------------------------------------------

def quiet(argv, **kw):
    """Runs a program; its output is shown only when it fails. A file, not a
    pipe, takes the output: a server the program leaves running would hold a
    pipe open."""
    import tempfile
    with tempfile.TemporaryFile() as out:
        r = subprocess.run(argv, stdout=out, stderr=subprocess.STDOUT, **kw)
        if r.returncode != 0:
            out.seek(0)
            raise RuntimeError(f"{argv[:3]}... failed ({r.returncode}):\n" +
                               out.read().decode("latin-1")[-2000:])


def makeself_sizes(path):
    """(header, archive) bytes of a makeself package."""
    with open(path, "rb") as f:
        head = f.read(65536).decode("latin-1")
    archive = sum(int(s) for s in head.split('filesizes="', 1)[1].split('"', 1)[0].split())
    return os.path.getsize(path) - archive, archive


def packages(a, folder, pkg, changed):
    """Builds every format of one payload in `pkg`. The peers' packages are
    kept while the payload is unchanged; the stubs' are made every time."""
    os.makedirs(pkg, exist_ok=True)
    names = sorted(os.listdir(folder))
    built = {}

    def peer(key, out, build):
        # Built under another name and renamed when whole, so that a packing
        # cut short is never taken for a package.
        path = os.path.join(pkg, out)
        if changed or not os.path.exists(path):
            part = path + ".part"
            for p in (path, part):
                if os.path.exists(p):
                    os.unlink(p)
            print(f"bench: {os.path.basename(pkg)}: packing {key}...", file=sys.stderr)
            build(part)
            os.replace(part, path)
        built[key] = path

    for key, opt in (("makeself-gzip", "--gzip"), ("makeself-xz", "--xz")):
        peer(key, key + ".run", lambda p, opt=opt: quiet(
            ["makeself", "--nox11", opt, folder, p, "bench payload", "./setup.sh"], env=dict(os.environ, TMPDIR=pkg)))
    for key, opt in (("7z-sfx", []), ("7z-sfx-copy", ["-mx0"])):
        def seven(p, opt=opt):
            arc = p + ".7z"
            if os.path.exists(arc):
                os.unlink(arc)
            quiet(["7z", "a", "-t7z", *opt, arc, *names], cwd=folder)
            with open(p, "wb") as out, open(SFX, "rb") as s, open(arc, "rb") as z:
                shutil.copyfileobj(s, out)
                shutil.copyfileobj(z, out)
            os.unlink(arc)
            os.chmod(p, 0o755)
        peer(key, key + ".run", seven)
    peer("unzip", "files.zip", lambda p: quiet(["zip", "-q", "-X", p, *names], cwd=folder))

    for key, stub, run in (("qox", a.stub, "setup.sh"), ("qox-before", a.stub_before, "setup.sh"),
                           ("qox32", a.stub32, "quick.exe")):
        if not stub:
            continue
        path = os.path.join(pkg, key + (".exe" if key == "qox32" else ".run"))
        quiet([a.qoxpack, "create", "-o", path, "--stub", stub, "--run", run, "--auto", folder])
        built[key] = path
    return built


def compressed_sizes(a, built):
    """The stub (or header) and the compressed data of each format."""
    sizes = {}
    for key, path in built.items():
        total = os.path.getsize(path)
        if key in ("qox", "qox-before", "qox32"):
            with open(path, "rb") as f:
                f.seek(32768)
                record = f.read(520).split(b"\0", 1)[0]
            stub = os.path.getsize({"qox": a.stub, "qox-before": a.stub_before,
                                    "qox32": a.stub32}[key])
            sizes[key] = {"total": total, "stub": stub, "stub_region": 32768,
                          "record": len(record) + 1,
                          "compressed": total - 32768 - len(record) - 1}
        elif key.startswith("makeself"):
            head, arc = makeself_sizes(path)
            sizes[key] = {"total": total, "stub": head, "compressed": arc}
        elif key.startswith("7z"):
            stub = os.path.getsize(SFX)
            sizes[key] = {"total": total, "stub": stub, "compressed": total - stub}
        else:
            sizes[key] = {"total": total, "stub": 0, "compressed": total}
    return sizes


# ---- runs ---------------------------------------------------------------------------

PEAK = None              # the launcher that reports a program's peak memory


def launch_argv(argv):
    """argv behind the peak launcher, and the file it reports to."""
    out = os.path.join(os.path.dirname(PEAK), f"peak.{os.getpid()}")
    return [PEAK, out] + list(argv), out


def wait_child(pid, report):
    """Exit code, peak KiB and processor seconds of a program run by peak."""
    _, status, _ = os.wait4(pid, 0)
    with open(report) as f:
        rss, user, system = f.read().split()
    os.unlink(report)
    return os.waitstatus_to_exitcode(status), int(rss), float(user) + float(system)


def timed(argv, cwd, env=None):
    """Seconds from the start to the end of a program, its exit code, peak
    resident memory in KiB and processor seconds."""
    argv, report = launch_argv(argv)
    t0 = time.monotonic()
    p = subprocess.Popen(argv, cwd=cwd, env=env, stdin=subprocess.DEVNULL,
                         stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    rc, rss, cpu = wait_child(p.pid, report)
    t1 = time.monotonic()
    p.returncode = rc
    return t1 - t0, rc, rss, cpu


def install(argv, pkg, env=None, timeout=3600, writes=True):
    """Runs one installer that writes into TARGET beside itself, watching the
    folder and reading the status lines. Returns (events, lines, start,
    exit, exit code, peak KiB, processor seconds)."""
    target = os.path.join(pkg, TARGET)
    shutil.rmtree(target, ignore_errors=True)
    os.mkdir(target)
    w = watch(target, writes)
    argv, report = launch_argv(argv)
    t0 = time.monotonic()
    # Input stays open for the whole run: its end would be the close box.
    p = subprocess.Popen(argv, cwd=pkg, env=env, stdin=subprocess.PIPE,
                         stdout=subprocess.PIPE, stderr=subprocess.DEVNULL)
    pidfd = os.pidfd_open(p.pid)
    lines, partial, out_open, t_exit = [], b"", True, None
    out = p.stdout.fileno()
    deadline = t0 + timeout
    while t_exit is None:
        fds = [w.fd, pidfd] + ([out] if out_open else [])
        ready, _, _ = select.select(fds, [], [], max(0.0, deadline - time.monotonic()))
        now = time.monotonic()
        if not ready:
            p.kill()
            raise RuntimeError(f"{argv[-1]}: no end within {timeout} s")
        if w.fd in ready:
            w.drain()
        if out_open and out in ready:
            data = os.read(out, 65536)
            if not data:
                out_open = False
            partial += data
            while b"\n" in partial:
                line, partial = partial.split(b"\n", 1)
                lines.append((now, line.decode("latin-1").rstrip("\r")))
        if pidfd in ready:
            t_exit = now
    w.drain()
    w.close()
    os.close(pidfd)
    rc, rss, cpu = wait_child(p.pid, report)
    p.returncode = rc
    p.stdin.close()
    p.stdout.close()
    left = os.path.exists(target)
    shutil.rmtree(target, ignore_errors=True)
    if left:
        raise RuntimeError(f"{argv[-1]}: the target folder was not removed")
    return w.events, lines, t0, t_exit, rc, rss, cpu


def phases(events, lines, t0, t_exit):
    """The stub's phases, in seconds, from the folder's events and the lines."""
    tmp = ("~un1", "~un2")

    def first(kind, name=None, after=0.0, entry=False):
        for t, k, n in events:
            if k == kind and t >= after and (n == name if name else (entry and n and n not in tmp)):
                return t
        return None

    un1 = first("create", "~un1")
    un1_done = first("closed", "~un1")
    entry0 = first("create", entry=True)
    # Without write events the end of the expansion is not seen: the
    # removal of ~un1 is then counted with it.
    un2_last = max((t for t, k, n in events if k == "modify" and n == "~un2" and
                    (entry0 is None or t <= entry0)), default=None) or first("delete", "~un1")
    un1_del = first("delete", "~un1")
    un2_del = first("delete", "~un2")
    clean0 = first("delete", entry=True, after=un2_del or 0.0)
    # The folder's own removal can be reported late (while a process that
    # ran in it has not quite gone); the dialog's last line cannot. Under
    # Wine, which prints none, the folder's removal serves.
    said = {text: t for t, text in reversed(lines)}
    gone = said.get("dialog ended: 1") or first("gone") or \
        max((t for t, k, _ in events if k == "delete"), default=None)
    marks = [("start-up", t0), ("copy to ~un1", un1), ("expansion", un1_done),
             ("~un1 removal", un2_last), ("entries", un1_del),
             ("launch and poll wait", un2_del), ("clean-up", clean0), ("exit", gone),
             ("end", t_exit)]
    if any(t is None for _, t in marks):
        missing = [k for k, t in marks if t is None]
        raise RuntimeError(f"phases not seen: {missing}; events {len(events)}")
    out = {}
    for (k, t), (_, u) in zip(marks, marks[1:]):
        out[k] = round(u - t, 5)
    # Cross-check with the status lines where they mark the same moments.
    if "status: expanding, please wait..." in said:
        out["line: start-up"] = round(said["status: expanding, please wait..."] - t0, 5)
    if "status: running..." in said:
        out["line: running to end"] = round(t_exit - said["status: running..."], 5)
    out["deletes"] = sum(1 for _, k, n in events if k == "delete")
    return out


def best(runs, fn):
    """The fastest of `runs` calls of fn() -> dict with 'seconds'; also all
    the times and the largest peak memory seen."""
    results = [fn() for _ in range(runs)]
    top = min(results, key=lambda r: r["seconds"])
    top = dict(top)
    top["all"] = [round(r["seconds"], 5) for r in results]
    top["maxrss_kib"] = max(r["maxrss_kib"] for r in results)
    return top


def run_qox(pkg, path, env=None):
    events, lines, t0, t1, rc, rss, cpu = install([path], pkg, env)
    if rc != 0 or not lines or lines[-1][1] != "dialog ended: 1":
        raise RuntimeError(f"{path}: exit {rc}, last line {lines[-1:]!r}")
    ph = phases(events, lines, t0, t1)
    total = t1 - t0
    return {"seconds": round(total, 5), "work_seconds": round(total - POLL_MS / 1000, 5),
            "phases": ph, "maxrss_kib": rss, "cpu_seconds": round(cpu, 5)}


def run_steps(steps, cwd):
    """A cycle of programs (unpack, setup, remove), timed one by one."""
    out = {"seconds": 0.0, "maxrss_kib": 0, "cpu_seconds": 0.0, "phases": {}}
    for label, argv in steps:
        s, rc, rss, cpu = timed(argv, cwd)
        if rc != 0:
            raise RuntimeError(f"{argv}: exit {rc}")
        out["seconds"] += s
        out["cpu_seconds"] = round(out["cpu_seconds"] + cpu, 5)
        out["phases"][label] = round(s, 5)
        out["maxrss_kib"] = max(out["maxrss_kib"], rss)
    out["seconds"] = round(out["seconds"], 5)
    return out


def peer_steps(key, path, folder, dest):
    setup = [os.path.join(dest, "setup.sh")]
    remove = ["rm", "-rf", dest]
    if key.startswith("makeself"):
        # One program: check, unpack into a folder under TMPDIR, run the
        # setup script, remove the folder.
        return [("whole", [path])]
    if key.startswith("7z"):
        unpack = [path, "-y", "-o" + dest]
    elif key == "unzip":
        unpack = ["unzip", "-q", "-o", path, "-d", dest]
    else:
        unpack = ["cp", "-r", folder, dest]
    return [("unpack", unpack), ("setup", setup), ("remove", remove)]


def measure_posix(a, name, folder, built, runs):
    pkg = os.path.dirname(built["qox"])
    dest = os.path.join(pkg, "out")
    env = dict(os.environ, TMPDIR=pkg)
    res = {}
    shutil.rmtree(dest, ignore_errors=True)
    print(f"bench: {name}: qox...", file=sys.stderr)
    res["qox"] = best(runs, lambda: run_qox(pkg, built["qox"]))
    if "qox-before" in built:
        # Another build of the stub, for a comparison under the same load.
        print(f"bench: {name}: qox-before...", file=sys.stderr)
        res["qox-before"] = best(runs, lambda: run_qox(pkg, built["qox-before"]))
    for key in ("makeself-gzip", "makeself-xz", "7z-sfx", "7z-sfx-copy", "unzip", "cp -r"):
        print(f"bench: {name}: {key}...", file=sys.stderr)
        steps = peer_steps(key, built.get(key, ""), folder, dest)
        if key.startswith("makeself"):
            def one(steps=steps):
                s, rc, rss, cpu = timed(steps[0][1], pkg, env)
                if rc != 0:
                    raise RuntimeError(f"{steps[0][1]}: exit {rc}")
                left = [n for n in os.listdir(pkg) if n.startswith("selfgz")]
                if left:
                    raise RuntimeError(f"makeself left {left}")
                return {"seconds": round(s, 5), "maxrss_kib": rss, "cpu_seconds": round(cpu, 5)}
            res[key] = best(runs, one)
        else:
            res[key] = best(runs, lambda steps=steps: run_steps(steps, pkg))
    return res


# ---- the Windows stub under Wine ----------------------------------------------------

def wine_part(a):
    """Runs inside wine.sh run: an Xvfb of our own, one wineserver, Wine's
    start-up (the setup program alone), then the installers."""
    r, w = os.pipe()
    xvfb = subprocess.Popen(["Xvfb", "-displayfd", str(w), "-screen", "0", "800x600x24",
                             "-nolisten", "tcp"], pass_fds=(w,),
                            stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    os.close(w)
    with os.fdopen(r) as f:
        display = ":" + f.readline().strip()
    env = dict(os.environ, DISPLAY=display)
    out = {"payloads": {}}
    if os.path.exists("/proc/sys/fs/binfmt_misc/qemu-i386"):
        out["note"] = "32-bit x86 code (Wine's side and the stub) runs under qemu-user emulation here"
    try:
        quiet(["wineserver", "-p"], env=env)
        quiet(["wine", "cmd", "/c", "exit 0"], env=env)     # the prefix and its services
        probe = os.path.join(a.work, "pkg", "quick.exe")
        shutil.copyfile(a.quick, probe)
        print("bench: wine: start-up...", file=sys.stderr)

        def start():
            s, rc, rss, cpu = timed(["wine", probe], os.path.dirname(probe), env)
            return {"seconds": round(s, 5), "maxrss_kib": rss, "cpu_seconds": round(cpu, 5)}
        out["start-up"] = best(a.runs, start)
        for item in a.wine_payloads:
            name, path, size = item.split(":")
            # Emulated, a large payload takes minutes a run: once is enough.
            runs = 1 if "note" in out and int(size) >= 8 << 20 else a.runs
            runs = 1 if int(size) >= 100 << 20 else runs
            print(f"bench: wine: {name}: qox32 ({runs} run{'s' if runs > 1 else ''})...",
                  file=sys.stderr)
            pkg = os.path.dirname(path)

            def one(path=path, pkg=pkg):
                events, lines, t0, t1, rc, rss, cpu = install(["wine", path], pkg, env, writes=False)
                ph = phases(events, lines, t0, t1)
                return {"seconds": round(t1 - t0, 5), "phases": ph, "maxrss_kib": rss,
                        "cpu_seconds": round(cpu, 5)}
            out["payloads"][name] = best(runs, one)
            out["payloads"][name]["runs"] = runs
    finally:
        subprocess.run(["wineserver", "-k"], env=env, stderr=subprocess.DEVNULL)
        xvfb.terminate()
        xvfb.wait()
    with open(a.wine_json, "w") as f:
        json.dump(out, f, indent=1)


# ---- the table ------------------------------------------------------------------------

def mbs(n, s):
    v = n / s / 1048576
    return f"{v:.0f}" if v >= 10 else f"{v:.2f}"


def kib(n):
    return f"{n / 1024:.1f}M" if n >= 10240 else f"{n}K"


def report(doc):
    loads = doc["load_before"], doc["load_after"]
    print()
    print(f"Whole installations (seconds, best of {doc['runs']}; the 200 MiB one once; "
          f"load average {loads[0]} before, {loads[1]} after; 1 MB = 2^20 bytes)")
    print("qox: the POSIX stub in automatic mode, from its start to its exit, with a setup")
    print(f"program that ends at once; 'qox work' leaves out its {POLL_MS} ms poll interval (the")
    print("stub finds the program's end by polling); peers: unpack, run setup, remove the folder")
    print("(makeself does all three itself). ÷qox, ÷work: the format's time over qox's whole")
    print("time and over its work; cpu s: user and system time; package = stub + record +")
    print("compressed data (makeself: its script header; 7z: 7zCon.sfx).")
    for name, p in doc["payloads"].items():
        res, sizes = p["results"], p["sizes"]
        print()
        print(f"{name}: {p['files']} files, {p['bytes']} bytes")
        print(f"  {'format':<15} {'seconds':>8} {'MB/s':>6} {'÷qox':>6} {'÷work':>6} {'cpu s':>6} "
              f"{'peak RSS':>9} {'package':>10} {'stub':>7} {'compressed':>10}")
        q = res["qox"]
        rows = [("qox", q["seconds"]), ("qox work", q["work_seconds"])]
        if "qox-before" in res:
            rows += [("qox-before", res["qox-before"]["seconds"]),
                     ("qox-before work", res["qox-before"]["work_seconds"])]
        rows += [(k, res[k]["seconds"]) for k in res if not k.startswith("qox")]
        for key, s in rows:
            r = res[key[:-5] if key.endswith(" work") else key]
            sz = sizes.get(key, {})
            whole = "" if key.startswith("qox") else f"{s / q['seconds']:.2f}"
            work = "" if key.startswith("qox") else f"{s / q['work_seconds']:.2f}"
            w = key.endswith(" work")
            print(f"  {key:<15} {s:>8.3f} {mbs(p['bytes'], s):>6} {whole:>6} {work:>6} "
                  f"{'' if w else format(r['cpu_seconds'], '.3f'):>6} "
                  f"{'' if w else kib(r['maxrss_kib']):>9} "
                  f"{sz.get('total', ''):>10} {sz.get('stub', ''):>7} {sz.get('compressed', ''):>10}")
        order = ["start-up", "copy to ~un1", "expansion", "~un1 removal", "entries",
                 "launch and poll wait", "clean-up", "exit"]
        for key in ("qox", "qox-before"):
            if key in res:
                ph = res[key]["phases"]
                print(f"  {key} phases (ms): " + ", ".join(f"{k} {ph[k] * 1000:.1f}" for k in order) +
                      f"; {ph['deletes']} files deleted")
        if "qox32" in sizes:
            print(f"  qox32.exe package: {sizes['qox32']['total']} bytes "
                  f"(stub {sizes['qox32']['stub']})")
    w = doc.get("wine")
    if w:
        print()
        print("The Windows stub under Wine (seconds; Wine's start-up is the setup program alone "
              f"under the same wineserver: {w['start-up']['seconds']:.3f} s)")
        if w.get("note"):
            print("  " + w["note"])
        if "wine_load_before" in doc:
            print(f"  measured apart: load average {doc['wine_load_before']} before, "
                  f"{doc.get('wine_load_after', '?')} after")
        print(f"  {'payload':<10} {'runs':>4} {'whole':>8} {'less start-up':>14} {'less poll':>10} "
              f"{'POSIX work':>11} {'ratio':>6} {'peak RSS':>9}")
        for name, r in w["payloads"].items():
            less = r["seconds"] - w["start-up"]["seconds"]
            work = less - POLL_MS / 1000
            posix = doc["payloads"][name]["results"]["qox"]["work_seconds"]
            print(f"  {name:<10} {r['runs']:>4} {r['seconds']:>8.3f} {less:>14.3f} {work:>10.3f} "
                  f"{posix:>11.3f} {work / posix:>5.1f}x {kib(r['maxrss_kib']):>9}")
            ph = r["phases"]
            print("    phases (ms): " + ", ".join(
                f"{k} {ph[k] * 1000:.0f}" for k in ["start-up", "copy to ~un1", "expansion",
                                                    "~un1 removal", "entries",
                                                    "launch and poll wait", "clean-up", "exit"]))
    elif "wine_skipped" in doc:
        print()
        print("The Windows stub under Wine: " + doc["wine_skipped"])


def load():
    with open("/proc/loadavg") as f:
        return " ".join(f.read().split()[:3])


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("part", choices=["posix", "wine"])
    ap.add_argument("--work", required=True)
    ap.add_argument("--lzbench")
    ap.add_argument("--qoxpack")
    ap.add_argument("--stub")
    ap.add_argument("--stub32", default="")
    ap.add_argument("--stub-before", default="")
    ap.add_argument("--quick", required=True)
    ap.add_argument("--peak", required=True)
    ap.add_argument("--runs", type=int, default=3)
    ap.add_argument("--sizes", default="mix-3.4m:3398457:1,mix-32m:33554432:2,mix-200m:209715200:3")
    ap.add_argument("--json")
    ap.add_argument("--wine", default="", help="command prefix that runs this script under Wine")
    ap.add_argument("--wine-json")
    ap.add_argument("--wine-payloads", nargs="*", default=[])
    ap.add_argument("--wine-only", action="store_true",
                    help="keep the POSIX figures of the last run; measure Wine again")
    a = ap.parse_args()
    global PEAK
    PEAK = a.peak
    if a.part == "wine":
        wine_part(a)
        return
    doc = {"runs": a.runs, "load_before": load(), "nproc": os.cpu_count(),
           "kernel": os.uname().release, "payloads": {}}
    wine_items = []
    if a.wine_only:
        with open(a.json) as f:
            doc = json.load(f)["install"]
        doc.pop("wine", None)
        doc.pop("wine_skipped", None)
        doc["wine_load_before"] = load()
        for name, p in doc["payloads"].items():
            path = os.path.join(a.work, "pkg", name, "qox32.exe")
            if os.path.exists(path):
                wine_items.append(f"{name}:{path}:{p['bytes']}")
    for item in ([] if a.wine_only else a.sizes.split(",")):
        name, size, seed = item.split(":")
        runs = a.runs if int(size) < 100 << 20 else 1
        print(f"bench: {name}: payload...", file=sys.stderr)
        folder, files, total, changed = payload(a, name, int(size), int(seed))
        pkg = os.path.join(a.work, "pkg", name)
        built = packages(a, folder, pkg, changed)
        p = {"files": files, "bytes": total, "runs": runs,
             "sizes": compressed_sizes(a, built)}
        p["results"] = measure_posix(a, name, folder, built, runs)
        doc["payloads"][name] = p
        if "qox32" in built:
            wine_items.append(f"{name}:{built['qox32']}:{size}")
    if a.wine and wine_items:
        wj = os.path.join(a.work, "wine.json")
        if os.path.exists(wj):
            os.unlink(wj)
        cmd = a.wine.split() + [sys.executable, os.path.abspath(__file__), "wine",
                                "--work", a.work, "--quick", a.quick, "--peak", a.peak, "--runs", str(a.runs),
                                "--wine-json", wj, "--wine-payloads", *wine_items]
        rc = subprocess.run(cmd).returncode
        if rc == 0 and os.path.exists(wj):
            with open(wj) as f:
                doc["wine"] = json.load(f)
        else:
            doc["wine_skipped"] = f"the Wine run failed or Wine cannot run here (exit {rc})"
    elif not a.wine:
        doc["wine_skipped"] = "not measured (Wine cannot run here, or skipped)"
    doc["wine_load_after" if a.wine_only else "load_after"] = load()
    report(doc)
    # Beside whatever else the benchmarks record there.
    merged = {}
    if os.path.exists(a.json):
        try:
            with open(a.json) as f:
                merged = json.load(f)
        except ValueError:
            merged = {}
    merged["install"] = doc
    with open(a.json + ".tmp", "w") as f:
        json.dump(merged, f, indent=1)
    os.replace(a.json + ".tmp", a.json)
    print(f"\n(figures in {a.json}, key \"install\")")


if __name__ == "__main__":
    main()
