"""The trial run: the finished bundle started once, as a double-click starts it (in /, with the
environment that applauncher-check says a double-click gives), so that the runtime records the
classes of a real launch. Its whole output goes to a log file; an application that
throws (the runtime's "Exception in thread ..." line) fails it at once, and so does one that
ends before its time with a failure."""

import os
import re
import select
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

# A runtime that failed to start: the cause on the line before (a full disk's "Unable to write
# to shared archive file."), what failed on the line after.
VM_ERROR = re.compile(rb"^(?:(.*)\n)?Error occurred during initialization of VM\r?\n(.*)$",
                      re.MULTILINE)
# The class-data sharing's own error line, which may come well before the runtime's refusal.
ARCHIVE_ERROR = re.compile(rb"^(?:\[[^\]\n]*\])*?\[error\]\[(?:cds|aot)[^\]\n]*\] ?(.*?)\r?$",
                           re.MULTILINE)

# A frame of a stack trace in a class that is not the JDK's.
FRAME = re.compile(rb"^\s+at (?!(?:java|javax|jdk|sun|com\.sun)\.)((?:[\w$.]+/)*[\w$.]+\(.*?\))"
                   rb"\r?$", re.MULTILINE)

# How much of the trial's output is kept to be read, from its start and from its end each; the
# log has all of it.
KEPT_BYTES = 1024 * 1024

# How long the output of a trial that has ended may take to come to its end.
DRAIN_SECONDS = 2


class Outcome:
    """How a trial run ended: its exit status, whether the time limit ended it, the uncaught
    exception that made it stop early (the runtime's line, or None), its output (the first and
    the last KEPT_BYTES) and why the log could not hold it (None when it does)."""

    def __init__(self, status, ended, thrown, output, log_error=None):
        self.status = status
        self.ended = ended
        self.thrown = thrown
        self.output = output
        self.log_error = log_error

    @property
    def failed(self):
        """Whether the application failed: it threw, or ended by itself with a failure."""
        return self.thrown is not None or (not self.ended and self.status != 0)


class Output:
    """A trial's output as it comes: written to the log as far as the disk takes it, its start
    and end kept, its lines searched for the runtime's report of an uncaught exception."""

    def __init__(self, log):
        self.log = log
        self.head = b""
        self.tail = b""
        self.cut = False
        self.line = b""  # the last line, while it is not whole
        self.thrown = None
        self.error = None

    def add(self, data, searched=True):
        """Takes the bytes data; searched: whether an uncaught exception in them counts."""
        if self.error is None:
            try:
                self.log.write(data)
            except OSError as e:
                self.error = e.strerror or str(e)
        room = KEPT_BYTES - len(self.head)
        self.head += data[:room]
        if len(data) > room:
            self.cut = self.cut or len(self.tail) + len(data) - room > KEPT_BYTES
            self.tail = (self.tail + data[room:])[-KEPT_BYTES:]
        text = self.line + data
        whole = text.rfind(b"\n") + 1
        if searched and self.thrown is None:
            self.thrown = thrown(text[:whole])
        self.line = text[whole:][-KEPT_BYTES:]

    def kept(self):
        """The output kept: all of it, or its start and its end with a line between."""
        return self.head + (b"\n[...]\n" if self.cut else b"") + self.tail


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
    # The cause: the archive's own error, else the line before (a full disk's "Unable to write
    # to shared archive file."), unless that is a log line or the runtime's hint.
    cause = archive.group(1) if archive else (vm.group(1) or b"").strip()
    if cause.startswith((b"[", b"Hint:")):
        cause = b""
    return (vm.group(2).strip() + (b" (" + cause + b")" if cause else b"")).decode(
        "utf-8", "replace")


def first_frame(output):
    """The first frame of a stack trace in output that is in a class of the application
    ("a.Main.main(Main.java:3)"), or None."""
    m = FRAME.search(output, THROWN.search(output).end() if THROWN.search(output) else 0)
    return None if m is None else m.group(1).decode("utf-8", "replace")


def complaint(output):
    """What a failed trial said, naming the exception: "class: message (Error: ...)", the
    launcher's "Error: ..." line alone, or its first line of output (a runtime that refused to
    start is refusal()'s)."""
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


def run(command, env, limit, log, record=None, idle=None, watch=None):
    """Runs command in / (where a double-click starts it) with its output in the file log until
    it ends, throws, or outlasts limit seconds, or, with idle, loads no class (the file watch
    does not grow) for idle seconds; then it gets SIGTERM, which lets the runtime write its
    archive on the way out. Whatever it started is ended with it (record: see children.Family)."""
    reader, writer = os.pipe()
    try:
        with open(log, "wb", buffering=0) as f:
            out = Output(f)
            try:
                child = children.start(command, record, stdout=writer, stderr=subprocess.STDOUT,
                                       env=env, cwd="/")
            finally:
                os.close(writer)
            try:
                status, ended = wait(child, reader, out, limit, idle, watch)
            except BaseException:
                children.end(child)
                raise
            drain(reader, out, not ended)
    finally:
        os.close(reader)
    return Outcome(status, ended, out.thrown, out.kept(), out.error)


def wait(child, reader, out, limit, idle=None, watch=None):
    """Waits for the trial child as run() says, its output going to out; returns its status
    and whether the time limit ended it. What it started and left running is ended."""
    deadline = time.monotonic() + limit
    loaded, changed = size(watch), time.monotonic()
    ended = False
    while True:
        children.SIGNALS.check()
        if select.select([reader], [], [], children.POLL_SECONDS)[0]:
            out.add(os.read(reader, 65536), not ended)
        child.family.walk()
        if child.poll() is not None:
            child.family.end()
            return child.returncode, ended
        if out.thrown is not None:
            children.end(child)
            return child.returncode, ended
        if not ended and idle is not None:
            if size(watch) != loaded:
                loaded, changed = size(watch), time.monotonic()
            elif time.monotonic() - changed >= idle:
                deadline = min(deadline, time.monotonic())
        if time.monotonic() < deadline:
            continue
        if ended:
            raise Failure("the trial run did not end within %d s of SIGTERM (its output "
                          "is in %s)" % (ARCHIVE_WRITE_SECONDS, out.log.name))
        children.signal_group(child, signal.SIGTERM)
        ended = True
        deadline = time.monotonic() + ARCHIVE_WRITE_SECONDS


def drain(reader, out, searched):
    """Takes what is left of the output of a trial that has ended (searched: as Output.add)."""
    deadline = time.monotonic() + DRAIN_SECONDS
    while time.monotonic() < deadline:
        if select.select([reader], [], [], children.POLL_SECONDS)[0]:
            data = os.read(reader, 65536)
            if not data:
                return
            out.add(data, searched)


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
