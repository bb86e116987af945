"""The programs make-bundle runs (jlink, jdeps, the check, codesign): each in a session of its
own, ended with its process group by the end of the run or a signal that ends make-bundle, and
noted by pid and start time so that the next run ends one that a killed run left. A program that
starts processes of its own ends them itself: the check's keeper ends its trial and a real run
with everything they started, also when the check is killed. A signal is only noted when it
arrives; the run looks for it where it can stop cleanly."""

import ctypes
import os
import re
import signal
import subprocess
import sys
import time

from .report import Failure, Interrupted

# The signals that end a run the way Ctrl-C does: what a terminal, a CI system on a time-out
# and a closed session send.
ENDING_SIGNALS = (signal.SIGINT, signal.SIGTERM, signal.SIGHUP)

# How long a program that is being ended gets between SIGTERM and SIGKILL.
END_GRACE_SECONDS = 10

# How often a wait for a program looks for a signal.
POLL_SECONDS = 0.1

# Linux's prctl option that sends a process a signal when its parent ends.
PR_SET_PDEATHSIG = 1

# Where start() notes each program ("PID START" lines), or None: a file in the run's staging
# directory, from which the next run ends what a killed one left running.
RECORD = None


class Signals:
    """Notes the arrival of one of ENDING_SIGNALS. The run looks for it where it can stop
    cleanly (between the files it copies, while it waits for a program, before it swaps the
    bundles, before it calls the bundle done), so that no signal ever cuts into a step that
    must be done as a whole: the renames, putting the old bundle back, removing what is left."""

    def __init__(self):
        self.pending = None
        self.held = False

    def handler(self, signum, _frame):
        """The signal handler: notes the first signal."""
        if self.pending is None:
            self.pending = signum

    def hold(self):
        """From here on the run only finishes or tidies up, and ends as it would without a
        signal."""
        self.held = True

    def check(self):
        """Raises Interrupted when a signal has arrived and the run may still stop."""
        if self.pending is not None and not self.held:
            self.held = True
            raise Interrupted(self.pending)


SIGNALS = Signals()


def last_line(text):
    """The last line of text that is not blank, stripped; "no output" when there is none."""
    lines = [line for line in text.splitlines() if line.strip()]
    return lines[-1].strip() if lines else "no output"


def tool_complaint(text):
    """What a failed tool said: its own "Error: ..." line (jlink follows it with a stack
    trace), else its last line."""
    for line in text.splitlines():
        if re.match(r"\s*error:", line, re.IGNORECASE):
            return line.strip()
    return last_line(text)


def process_table():
    """{pid: (parent pid, start time)} of the processes running now (zombies are not), as ps
    lists them on macOS and Linux; the start time tells a process apart from a later one with
    its pid."""
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
    """In the new program, before it runs: on Linux, SIGTERM when make-bundle ends, even
    killed (macOS has no such call: the next run ends what the record lists)."""
    if sys.platform.startswith("linux"):
        ctypes.CDLL(None).prctl(PR_SET_PDEATHSIG, signal.SIGTERM, 0, 0, 0)


def start(command, **kwargs):
    """Starts command in a session of its own, noted in RECORD; end() ends it."""
    child = subprocess.Popen(command, stdin=subprocess.DEVNULL, start_new_session=True,
                             preexec_fn=_die_with_parent, **kwargs)
    if RECORD is not None:
        started = process_table().get(child.pid, (0, None))[1]
        try:
            with open(RECORD, "a") as f:
                f.write("%d %s\n" % (child.pid, started))
        except OSError:
            pass
    return child


def end(child):
    """Ends child and its process group: SIGTERM, then SIGKILL when it does not end soon."""
    for signum in (signal.SIGTERM, signal.SIGKILL):
        try:
            os.killpg(child.pid, signum)
        except (ProcessLookupError, PermissionError):
            pass
        try:
            child.wait(timeout=END_GRACE_SECONDS)
            return
        except subprocess.TimeoutExpired:
            pass


def end_listed(record):
    """Ends, at once, the processes that record (a file of RECORD's form) lists and that still
    run (the same pid and start); returns their pids."""
    try:
        with open(record) as f:
            listed = [line.rstrip("\n").split(" ", 1) for line in f]
    except OSError:
        return []
    table = process_table()
    pids = [int(pid) for pid, started in (entry for entry in listed if len(entry) == 2)
            if pid.isdigit() and table.get(int(pid), (0, None))[1] == started]
    for pid in pids:
        try:
            os.killpg(pid, signal.SIGKILL)
        except (ProcessLookupError, PermissionError):
            pass
    return pids


def communicate(child, timeout=None, enough=None):
    """child's output; a time-out (subprocess.TimeoutExpired) or a signal ends child first, and
    so does enough() (a function asked while it runs) when it returns true: then None."""
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
    """Runs command to its end and returns its output (standard error included); a failure
    is what says what and the tool's complaint."""
    try:
        child = start(command, stdout=subprocess.PIPE, stderr=subprocess.STDOUT)
    except OSError as e:
        raise Failure("%s cannot run: %s" % (what, e.strerror or e))
    out = communicate(child)[0].decode("utf-8", "replace")
    if child.returncode != 0:
        raise Failure(what + " failed: " + tool_complaint(out))
    return out
