"""The programs make-bundle runs (jlink, jdeps, the check, the trial run, codesign): each in a
process group of its own, so that a signal that ends make-bundle ends them with their children.
A signal is only noted when it arrives; the run looks for it where it can stop cleanly."""

import os
import re
import signal
import subprocess
import time

from .report import Failure, Interrupted

# The signals that end a run the way Ctrl-C does: what a terminal, a CI system on a time-out
# and a closed session send.
ENDING_SIGNALS = (signal.SIGINT, signal.SIGTERM, signal.SIGHUP)

# How long a child process that is being ended gets between SIGTERM and SIGKILL.
END_GRACE_SECONDS = 10

# How often a wait for a child looks for a signal.
POLL_SECONDS = 0.1


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


def start(command, **kwargs):
    """Starts command in a process group of its own, which end() ends as a whole."""
    return subprocess.Popen(command, stdin=subprocess.DEVNULL, start_new_session=True, **kwargs)


def signal_group(child, signum):
    """Sends signum to child's process group, which may be gone already."""
    try:
        os.killpg(child.pid, signum)
    except (ProcessLookupError, PermissionError):
        pass


def end(child):
    """Ends child and its process group: SIGTERM, then SIGKILL when it does not end soon."""
    signal_group(child, signal.SIGTERM)
    try:
        child.wait(timeout=END_GRACE_SECONDS)
    except subprocess.TimeoutExpired:
        signal_group(child, signal.SIGKILL)
        child.wait()


def communicate(child, timeout=None):
    """child's output; a time-out (subprocess.TimeoutExpired) or a signal ends child first."""
    deadline = None if timeout is None else time.monotonic() + timeout
    try:
        while True:
            SIGNALS.check()
            try:
                return child.communicate(timeout=POLL_SECONDS)
            except subprocess.TimeoutExpired:
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
