"""Replacing a bundle as a whole: built beside it, the old one put back on any failure."""

import contextlib
import errno
import fcntl
import os
import re
import stat
import tempfile

from . import dittozip, programs
from .programs import SIGNALS
from .files import remove
from .report import Failure, failure_text, note


def staging_prefix(p):
    """The start of the names of this bundle's staging directories and lock."""
    return "." + p.o.name + ".app."


# The file in a run's staging directory that lists the programs it started ("PID START" lines).
PROCESSES = "processes"


def new_staging(p, kind):
    """A new .NAME.app.PID.XXXXXXXX.KIND beside the bundle (new, old, failed, trial, run)."""
    path = tempfile.mkdtemp(prefix=staging_prefix(p) + str(os.getpid()) + ".",
                            suffix="." + kind, dir=p.outdir)
    p.staged.append(path)
    return path


def running(pid):
    try:
        os.kill(pid, 0)
    except ProcessLookupError:
        return False
    except PermissionError:
        pass
    return True


def shown(p, text):
    """text with the staging directories' paths told as the bundle's."""
    pattern = re.escape(os.path.join(p.outdir, staging_prefix(p))) + \
        r"(?:[0-9]+\.)?[a-z0-9_]{8}\.(?:new|old/old|failed/new|old|failed)(?![\w.])"
    return re.sub(pattern, lambda _: p.bundle, text)


def sweep(p):
    """Tidies up after killed runs: puts back an old bundle set aside, removes what they left."""
    pattern = re.compile(re.escape(staging_prefix(p)) + r"(?:([0-9]+)\.)?[a-z0-9_]{8}\."
                         r"(new|old|failed|trial|run)")
    found = []
    for entry in sorted(os.listdir(p.outdir)):
        m = pattern.fullmatch(entry)
        path = os.path.join(p.outdir, entry)
        if not m or not stat.S_ISDIR(os.lstat(path).st_mode):
            continue
        # This process has made none yet: one with its number is an earlier one's.
        if m.group(1) and int(m.group(1)) != os.getpid() and running(int(m.group(1))):
            note("left " + path + " alone: process " + m.group(1) + " still runs")
            continue
        found.append((os.lstat(path).st_mtime, path, m.group(2)))
    # With several, the earliest old bundle is the last complete one.
    olds = sorted(f for f in found if f[2] == "old" and
                  os.path.lexists(os.path.join(f[1], "old")))
    if olds:
        put_back(p, olds[0][1])
        note("put back " + p.bundle + ", which an interrupted run had set aside in " +
             olds[0][1])
    for _, path, kind in found:
        if kind in ("trial", "run"):
            for pid in programs.end_listed(os.path.join(path, PROCESSES)):
                note("ended process %d, which an interrupted run had started" % pid)
        remove(path)
        note("removed " + path + ", left by an interrupted run")
    remove_staged(p)
    # A zip that a killed run was writing.
    pattern = dittozip.temporary_pattern(dittozip.zip_path(p.bundle))
    for entry in sorted(os.listdir(p.outdir)):
        m = pattern.fullmatch(entry)
        path = os.path.join(p.outdir, entry)
        if m and stat.S_ISREG(os.lstat(path).st_mode) and not running(int(m.group(1))):
            os.remove(path)
            note("removed " + path + ", left by an interrupted run")


def put_back(p, aside):
    """Puts the old bundle back from aside (None: there was none), moving the new one away."""
    if os.path.lexists(p.bundle):
        os.rename(p.bundle, os.path.join(new_staging(p, "failed"), "new"))
    if aside is not None:
        os.rename(os.path.join(aside, "old"), p.bundle)


def lock(p):
    """Makes this run the only one for the bundle until make() ends; returns the lock's fd."""
    path = os.path.join(p.outdir, staging_prefix(p) + "lock")
    while True:
        fd = os.open(path, os.O_RDWR | os.O_CREAT, 0o644)
        try:
            fcntl.flock(fd, fcntl.LOCK_EX | fcntl.LOCK_NB)
        except BlockingIOError:
            other = os.read(fd, 32).decode("ascii", "replace").strip() or "unknown"
            os.close(fd)
            raise Failure("another make-bundle (process %s) is making %s; run again when it has "
                          "ended" % (other, p.bundle))
        # A lock on a file that the run before removed meanwhile holds nothing: take it again.
        with contextlib.suppress(FileNotFoundError):
            if os.path.samestat(os.fstat(fd), os.stat(path)):
                break
        os.close(fd)
    os.ftruncate(fd, 0)
    os.write(fd, b"%d\n" % os.getpid())
    return fd


def make(p, build, finish):
    """Builds the bundle with build(p, stage), puts it in place and runs finish(p), or fails."""
    # The directories that this run makes for the output, removed again when it fails.
    made = []
    d = os.path.abspath(p.outdir)
    while not os.path.lexists(d):
        made.insert(0, d)
        d = os.path.dirname(d)
    os.makedirs(p.outdir, exist_ok=True)
    p.staged = []
    aside = locked = None
    done = False
    try:
        locked = lock(p)
        sweep(p)
        programs.RECORD = os.path.join(new_staging(p, "run"), PROCESSES)
        stage = new_staging(p, "new")
        mask = os.umask(0)
        os.umask(mask)
        os.chmod(stage, 0o777 & ~mask)
        build(p, stage)
        SIGNALS.check()
        if os.path.lexists(p.bundle):
            aside = new_staging(p, "old")
            os.rename(p.bundle, os.path.join(aside, "old"))
        os.rename(stage, p.bundle)
        try:
            SIGNALS.check()
            finish(p)
            SIGNALS.check()
        except BaseException:
            SIGNALS.hold()
            try:
                put_back(p, aside)
            except OSError as e:
                note("the old bundle could not be put back: " + failure_text(e))
            raise
        SIGNALS.hold()
        done = True
        if aside is not None:
            # A killed run now leaves the old bundle as a .failed, which the next run removes.
            with contextlib.suppress(OSError):
                os.rename(os.path.join(aside, "old"),
                          os.path.join(new_staging(p, "failed"), "old"))
    finally:
        SIGNALS.hold()
        programs.RECORD = None
        clean_up(p, aside, done)
        if locked is not None:
            with contextlib.suppress(OSError):
                os.remove(os.path.join(p.outdir, staging_prefix(p) + "lock"))
            os.close(locked)
        if not done:
            for d in reversed(made):
                with contextlib.suppress(OSError):
                    os.rmdir(d)


def clean_up(p, aside, done):
    """Puts the old bundle back unless the new one is done; removes this run's directories."""
    keep = None
    if aside is not None and not done and os.path.lexists(os.path.join(aside, "old")):
        try:
            if os.path.lexists(p.bundle):
                raise OSError(errno.EEXIST, "the unfinished new bundle is in its place")
            os.rename(os.path.join(aside, "old"), p.bundle)
        except OSError as e:
            keep = aside
            note("the old bundle stays in %s (%s); the next run puts it back" %
                 (aside, e.strerror or e))
    remove_staged(p, keep)


def remove_staged(p, keep=None):
    for path in p.staged:
        if path != keep and os.path.lexists(path):
            try:
                remove(path)
            except OSError as e:
                note("could not remove %s: %s" % (path, failure_text(e)))
    p.staged = [keep] if keep else []
