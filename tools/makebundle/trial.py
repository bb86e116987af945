"""The trial run: the finished bundle started once, as a double-click starts it (in /, with the
environment that applauncher-check says a double-click gives), so that the runtime records the
classes of a real launch. Its whole output goes to a log file; an application that
throws (the runtime's "Exception in thread ..." line) fails it at once, and so does one that
ends before its time with a failure."""

import os
import re
import shutil
import signal
import subprocess
import tempfile
import time

from . import children
from .report import Failure

# After the time limit the trial run gets SIGTERM, which still writes the archive; this is how
# long it may then take to finish writing before it is killed.
ARCHIVE_WRITE_SECONDS = 300

# The runtime's report of an exception that no one caught: the thread, the exception's class
# and its message.
THROWN = re.compile(rb'^Exception in thread "(.*)" ([\w$.]+)(?::\s?(.*?))?\r?$', re.MULTILINE)

# A cause in a stack trace, and the first line of a trace that the runtime printed itself.
CAUSE = re.compile(rb"^Caused by: ([\w$.]+(?:Exception|Error)\b.*)$", re.MULTILINE)
TRACE = re.compile(rb"^((?:java|javax|jdk|sun)\.[\w$.]+(?:Exception|Error)\b.*)$", re.MULTILINE)

# The Java launcher's own failure lines ("Error: Could not find or load main class x.Y").
LAUNCH_ERROR = re.compile(rb"^Error: (.*)$", re.MULTILINE)

# The runtime's refusal to start: the line after its "Error occurred during initialization of
# VM", and the class-data sharing's own error line before it.
VM_ERROR = re.compile(rb"^Error occurred during initialization of VM\r?\n(.*?)\r?$", re.MULTILINE)
ARCHIVE_ERROR = re.compile(rb"^(?:\[[^\]\n]*\])*?\[error\]\[(?:cds|aot)[^\]\n]*\] ?(.*?)\r?$",
                           re.MULTILINE)

# A frame of a stack trace in a class that is not the JDK's.
FRAME = re.compile(rb"^\s+at (?!(?:java|javax|jdk|sun|com\.sun)\.)((?:[\w$.]+/)*[\w$.]+\(.*?\))"
                   rb"\r?$", re.MULTILINE)


class Outcome:
    """How a trial run ended: its exit status, whether the time limit ended it, the uncaught
    exception that made it stop early (the runtime's line, or None), its whole output."""

    def __init__(self, status, ended, thrown, output):
        self.status = status
        self.ended = ended
        self.thrown = thrown
        self.output = output

    @property
    def failed(self):
        """Whether the application failed: it threw, or ended by itself with a failure."""
        return self.thrown is not None or (not self.ended and self.status != 0)


def environment(base, settings, home):
    """The trial's environment (bytes): base (a double-click's) without the launcher's debug
    switch, with settings (NAME=VALUE sets, NAME removes) and HOME set to home when home is not
    None."""
    env = dict(base)
    env.pop(b"VORLANE_DEBUG", None)
    for setting in settings:
        name, sep, value = os.fsencode(setting).partition(b"=")
        if sep:
            env[name] = value
        else:
            env.pop(name, None)
    if home is not None:
        env[b"HOME"] = os.fsencode(home)
    return env


def thrown(output):
    """The runtime's first line about an uncaught exception in output (bytes), or None."""
    m = THROWN.search(output)
    return None if m is None else m.group(0).rstrip(b"\r")


def exception(output):
    """The exception that output names as the cause of a failure, as "class: message"; None."""
    m = THROWN.search(output)
    if m is not None:
        return (m.group(2) + (b": " + m.group(3) if m.group(3) else b"")).rstrip(b"\r")
    causes = CAUSE.findall(output)
    if causes:
        return causes[-1].rstrip(b"\r")
    m = TRACE.search(output)
    return None if m is None else m.group(1).rstrip(b"\r")


def refusal(output):
    """The runtime's own words (text) for why it would not start, with its class-data error
    when there is one; None when it did not refuse."""
    vm = VM_ERROR.search(output)
    if vm is None:
        return None
    archive = ARCHIVE_ERROR.search(output)
    return (vm.group(1) + (b" (" + archive.group(1) + b")" if archive else b"")).decode(
        "utf-8", "replace")


def first_frame(output):
    """The first frame of a stack trace in output that is in a class of the application
    ("a.Main.main(Main.java:3)"), or None."""
    m = FRAME.search(output, THROWN.search(output).end() if THROWN.search(output) else 0)
    return None if m is None else m.group(1).decode("utf-8", "replace")


def complaint(output):
    """What a failed trial said, naming the exception: "class: message (Error: ...)", the
    launcher's "Error: ..." line alone, or its first line of output."""
    error = LAUNCH_ERROR.search(output)
    error = None if error is None else error.group(0).rstrip(b"\r")
    named = exception(output)
    if named is not None:
        text = named + (b" (" + error + b")" if error else b"")
    elif error is not None:
        text = error
    else:
        lines = [line.strip() for line in output.splitlines()
                 if line.strip() and not line.startswith(b"Picked up ")]
        text = lines[0] if lines else b"no output"
    return text.decode("utf-8", "replace")


def idle_watch(env, directory):
    """env with the runtime told to log each class it loads to a file in directory (through
    JAVA_TOOL_OPTIONS, after what the variable holds); returns that file's path."""
    path = os.path.join(directory, "classes.log")
    options = env.get(b"JAVA_TOOL_OPTIONS", b"")
    env[b"JAVA_TOOL_OPTIONS"] = (options + b" " if options else b"") + \
        b"-Xlog:class+load=info:file=" + os.fsencode(path)
    return path


def size(path):
    """The size of the file at path, -1 when there is none."""
    if path is None:
        return -1
    try:
        return os.path.getsize(path)
    except OSError:
        return -1


def run(command, env, limit, log, idle=None, watch=None):
    """Runs command in / (where a double-click starts it) with its output in the file log until
    it ends, throws, or outlasts limit seconds, or, with idle, loads no class (the file watch
    does not grow) for idle seconds; then it gets SIGTERM, which lets the runtime write its
    archive on the way out."""
    with open(log, "wb") as out, open(log, "rb") as reader:
        child = children.start(command, stdout=out, stderr=subprocess.STDOUT, env=env, cwd="/")
        deadline = time.monotonic() + limit
        loaded, changed = size(watch), time.monotonic()
        ended = False
        seen = b""  # the output before the time limit
        scanned = 0  # the start of the first line not yet searched
        try:
            while True:
                children.SIGNALS.check()
                try:
                    status = child.wait(timeout=children.POLL_SECONDS)
                    break
                except subprocess.TimeoutExpired:
                    pass
                if not ended:
                    seen += reader.read()
                    if THROWN.search(seen, scanned) is not None:
                        children.end(child)
                        status = child.returncode
                        break
                    scanned = seen.rfind(b"\n") + 1
                    if idle is not None and size(watch) != loaded:
                        loaded, changed = size(watch), time.monotonic()
                    elif idle is not None and time.monotonic() - changed >= idle:
                        deadline = time.monotonic()
                if time.monotonic() < deadline:
                    continue
                if ended:
                    raise Failure("the trial run did not end within %d s of SIGTERM (its output "
                                  "is in %s)" % (ARCHIVE_WRITE_SECONDS, log))
                children.signal_group(child, signal.SIGTERM)
                ended = True
                deadline = time.monotonic() + ARCHIVE_WRITE_SECONDS
        except BaseException:
            children.end(child)
            raise
        if not ended:
            seen += reader.read()
    with open(log, "rb") as f:
        output = f.read()
    return Outcome(status, ended, thrown(seen), output)


class ScratchHome:
    """A new empty directory for HOME during the trial (with a context manager), or None when
    it is not wanted."""

    def __init__(self, wanted):
        self.wanted = wanted
        self.path = None

    def __enter__(self):
        if self.wanted:
            self.path = tempfile.mkdtemp(prefix="make-bundle-home.")
        return self.path

    def __exit__(self, *_):
        if self.path is not None:
            shutil.rmtree(self.path, ignore_errors=True)
