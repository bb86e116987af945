"""The programs make-bundle runs, each ended with the run, a signal or the next run."""

import contextlib
import ctypes
import os
import re
import signal
import subprocess
import sys
import time

from .report import Failure, Interrupted

# The signals that end a run the way Ctrl-C does (a terminal, a CI time-out, a closed session).
ENDING_SIGNALS = (signal.SIGINT, signal.SIGTERM, signal.SIGHUP)

# How long a program that is being ended gets between SIGTERM and SIGKILL.
END_GRACE_SECONDS = 10

# How often a wait for a program looks for a signal.
POLL_SECONDS = 0.1

# Linux's prctl option that sends a process a signal when its parent ends.
PR_SET_PDEATHSIG = 1

# Where start() notes each program ("PID START" lines) for the next run, or None.
RECORD = None


class Signals:
    """Notes an ENDING_SIGNAL, so that none cuts into a step that must be done as a whole."""

    def __init__(self):
        self.pending = None
        self.held = False

    def handler(self, signum, _frame):
        if self.pending is None:
            self.pending = signum

    def hold(self):
        """From here on the run only finishes or tidies up, as it would without a signal."""
        self.held = True

    def check(self):
        """Raises Interrupted when a signal has arrived and the run may still stop."""
        if self.pending is not None and not self.held:
            self.held = True
            raise Interrupted(self.pending)


SIGNALS = Signals()


def last_line(text):
    lines = [line for line in text.splitlines() if line.strip()]
    return lines[-1].strip() if lines else "no output"


def tool_complaint(text):
    """What a failed tool said: its "Error: ..." line (before a stack trace), else its last."""
    m = re.search(r"^[ \t]*error:.*", text, re.IGNORECASE | re.MULTILINE)
    return m.group(0).strip() if m else last_line(text)


def process_table():
    """{pid: (parent pid, start time, which tells it from a later one)} of live processes."""
    try:
        out = subprocess.run(["ps", "-A", "-o", "pid=,ppid=,stat=,lstart="],
                             stdout=subprocess.PIPE, stderr=subprocess.DEVNULL,
                             env=dict(os.environ, LC_ALL="C")).stdout
    except OSError:
        return {}
    table = {}
    for line in out.decode("ascii", "replace").splitlines():
        parts = line.split(None, 3)
        if len(parts) == 4 and parts[0].isdigit() and parts[1].isdigit() and \
                not parts[2].startswith("Z"):
            table[int(parts[0])] = (int(parts[1]), " ".join(parts[3].split()))
    return table


def _die_with_parent():
    """On Linux, SIGTERM for the new program when make-bundle ends, even killed."""
    if sys.platform.startswith("linux"):
        ctypes.CDLL(None).prctl(PR_SET_PDEATHSIG, signal.SIGTERM, 0, 0, 0)


def start(command, **kwargs):
    """Starts command in a session of its own, noted in RECORD; end() ends it."""
    child = subprocess.Popen(command, stdin=subprocess.DEVNULL, start_new_session=True,
                             preexec_fn=_die_with_parent, **kwargs)
    if RECORD is not None:
        started = process_table().get(child.pid, (0, None))[1]
        with contextlib.suppress(OSError):
            with open(RECORD, "a") as f:
                f.write("%d %s\n" % (child.pid, started))
    return child


def end(child):
    for signum in (signal.SIGTERM, signal.SIGKILL):
        with contextlib.suppress(ProcessLookupError, PermissionError):
            os.killpg(child.pid, signum)
        try:
            child.wait(timeout=END_GRACE_SECONDS)
            return
        except subprocess.TimeoutExpired:
            pass


def end_listed(record):
    """Kills the processes that the file record lists and that still run; returns their pids."""
    try:
        with open(record) as f:
            listed = [line.rstrip("\n").split(" ", 1) for line in f]
    except OSError:
        return []
    table = process_table()
    pids = [int(pid) for pid, started in (entry for entry in listed if len(entry) == 2)
            if pid.isdigit() and table.get(int(pid), (0, None))[1] == started]
    for pid in pids:
        with contextlib.suppress(ProcessLookupError, PermissionError):
            os.killpg(pid, signal.SIGKILL)
    return pids


def communicate(child, timeout=None, enough=None):
    """child's output; a time-out or a signal ends child, and so does enough() (then None)."""
    deadline = None if timeout is None else time.monotonic() + timeout
    try:
        while True:
            SIGNALS.check()
            try:
                return child.communicate(timeout=POLL_SECONDS)
            except subprocess.TimeoutExpired:
                if deadline is not None and time.monotonic() >= deadline:
                    raise
                if enough is not None and enough():
                    end(child)
                    return None
    except BaseException:
        end(child)
        raise


def run_tool(command, what):
    """The output (with standard error) of command, run to its end; a failure names what."""
    try:
        child = start(command, stdout=subprocess.PIPE, stderr=subprocess.STDOUT)
    except OSError as e:
        raise Failure("%s cannot run: %s" % (what, e.strerror or e))
    out = communicate(child)[0].decode("utf-8", "replace")
    if child.returncode != 0:
        raise Failure(what + " failed: " + tool_complaint(out))
    return out
