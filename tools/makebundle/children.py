"""The programs make-bundle runs (jlink, jdeps, the check, the trial run, codesign): each in a
process group of its own, and each with every process it starts, found by their parents
whatever group or session they move to, so that its end, and a signal that ends make-bundle,
ends them all. A signal is only noted when it arrives; the run looks for it where it can stop
cleanly."""

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

# How long a child process that is being ended gets between SIGTERM and SIGKILL.
END_GRACE_SECONDS = 10

# How often a wait for a child looks for a signal.
POLL_SECONDS = 0.1

# How often a wait for a child looks for the processes it started (a walk runs ps).
WALK_SECONDS = 0.5

# Linux's prctl option that makes a process the parent of the orphans among its descendants.
PR_SET_CHILD_SUBREAPER = 36


class Signals:
    """Notes the arrival of one of ENDING_SIGNALS. The run looks for it where it can stop
    cleanly (between the files it copies, while it waits for a child, before it swaps the
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


def adopt_orphans(on):
    """On Linux, makes this process (on=True) or no longer makes it (False) the parent of the
    orphans among its descendants, so that a process that a child started and left behind stays
    a descendant to be found. Elsewhere (macOS has no such call) the walks alone find them."""
    if sys.platform.startswith("linux"):
        ctypes.CDLL(None).prctl(PR_SET_CHILD_SUBREAPER, 1 if on else 0, 0, 0, 0)


def process_table():
    """{pid: (parent pid, start time)} of the processes running now (zombies are not), as ps
    lists them on macOS and Linux; the start time tells a process apart from a later one with
    its pid."""
    try:
        ps = subprocess.Popen(["ps", "-A", "-o", "pid=,ppid=,stat=,lstart="],
                              stdout=subprocess.PIPE,
                              stderr=subprocess.DEVNULL, env=dict(os.environ, LC_ALL="C"))
    except OSError:
        return {}
    out = ps.communicate()[0].decode("ascii", "replace")
    table = {}
    for line in out.splitlines():
        parts = line.split(None, 3)
        if len(parts) == 4 and parts[0].isdigit() and parts[1].isdigit() and \
                not parts[2].startswith("Z"):
            table[int(parts[0])] = (int(parts[1]), " ".join(parts[3].split()))
    table.pop(ps.pid, None)
    return table


class Family:
    """The processes that a child started, known by pid and start time: what each walk finds
    below the child and below those found before (a process that left the child's group or
    session is still found by its parent) and, where this process adopts orphans, its children
    but the child and those it had before (others). A record (a file, or None) lists them as
    they are found, so that a later run can end them when this one is killed."""

    def __init__(self, child, record, others):
        self.child = child
        self.record = record
        self.others = others
        self.known = {}
        self.walked = 0.0

    def walk(self, now=False):
        """Looks for new members (at most every WALK_SECONDS unless now); returns the table."""
        if not now and time.monotonic() - self.walked < WALK_SECONDS:
            return None
        self.walked = time.monotonic()
        table = process_table()
        if self.child.pid in table and self.child.pid not in self.known:
            self.known[self.child.pid] = table[self.child.pid][1]
            self.note(self.child.pid, self.known[self.child.pid])
        # The child's pid is its own until it is reaped.
        members = set(self.living(table)) | \
            ({self.child.pid} if self.child.returncode is None else set())
        grown = True
        while grown:
            grown = False
            for pid, (parent, start) in table.items():
                if pid not in members and (parent in members or parent == os.getpid() and
                                           pid not in self.others):
                    members.add(pid)
                    grown = True
                    if pid not in self.known:
                        self.known[pid] = start
                        self.note(pid, start)
        return table

    def note(self, pid, start):
        """Adds a member to the record, as far as the disk takes it."""
        if self.record is not None:
            try:
                with open(self.record, "a") as f:
                    f.write("%d %s\n" % (pid, start))
            except OSError:
                pass

    def living(self, table):
        """The members in table, as they were found (the child among them)."""
        return [pid for pid, start in self.known.items() if table.get(pid, (0, None))[1] == start]

    def end(self):
        """Ends the members that still run: SIGTERM, then SIGKILL when they do not end soon."""
        end_processes(self.living(self.walk(now=True)))


def end_processes(pids, signums=(signal.SIGTERM, signal.SIGKILL)):
    """Ends the processes pids: SIGTERM, then SIGKILL for those still there after
    END_GRACE_SECONDS (or signums in their place); reaps those that are this process's own."""
    for signum in signums:
        deadline = time.monotonic() + END_GRACE_SECONDS
        while pids:
            for pid in pids:
                try:
                    os.kill(pid, signum)
                except (ProcessLookupError, PermissionError):
                    pass
            time.sleep(POLL_SECONDS)
            for pid in pids:
                try:
                    os.waitpid(pid, os.WNOHANG)
                except ChildProcessError:
                    pass
            table = process_table()
            pids = [pid for pid in pids if pid in table]
            if time.monotonic() >= deadline:
                break


# Where start() notes the families of the programs it starts when no record is given: a file
# in the run's staging directory, from which the next run ends what a killed one left running.
RECORD = None


def start(command, record=None, **kwargs):
    """Starts command in a process group of its own; end() ends it with every process it
    started (record: where its family is noted, see Family; RECORD when None)."""
    record = record or RECORD
    others = {pid for pid, (parent, _) in process_table().items() if parent == os.getpid()}
    child = subprocess.Popen(command, stdin=subprocess.DEVNULL, start_new_session=True, **kwargs)
    child.family = Family(child, record, others)
    if record is not None:
        child.family.walk(now=True)  # the child itself goes into the record at once
    return child


def signal_group(child, signum):
    """Sends signum to child's process group, which may be gone already."""
    try:
        os.killpg(child.pid, signum)
    except (ProcessLookupError, PermissionError):
        pass


def end(child):
    """Ends child and its process group: SIGTERM, then SIGKILL when it does not end soon; then
    what is left of its family."""
    child.family.walk(now=True)
    signal_group(child, signal.SIGTERM)
    try:
        child.wait(timeout=END_GRACE_SECONDS)
    except subprocess.TimeoutExpired:
        signal_group(child, signal.SIGKILL)
        child.wait()
    child.family.end()


def communicate(child, timeout=None):
    """child's output; a time-out (subprocess.TimeoutExpired) or a signal ends child first.
    What child started and left running is ended."""
    deadline = None if timeout is None else time.monotonic() + timeout
    try:
        while True:
            SIGNALS.check()
            try:
                out = child.communicate(timeout=POLL_SECONDS)
                child.family.end()
                return out
            except subprocess.TimeoutExpired:
                child.family.walk()
                if child.poll() is not None:
                    # What it left running may hold its output open.
                    child.family.end()
                if deadline is not None and time.monotonic() >= deadline:
                    raise
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
