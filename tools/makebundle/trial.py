"""The trial run, started as a double-click starts it, and the runtime's words in its log."""

import json
import os
import re
import time

from .report import Failure

# How long the check lets the trial write its archive after SIGTERM at the time limit.
ARCHIVE_WRITE_SECONDS = 300

# The runtime's report of an uncaught exception: the thread, the class and the message.
THROWN = re.compile(rb'^Exception in thread "(.*)" ([\w$.]+)(?::\s?(.*?))?\r?$', re.MULTILINE)

# A cause in a stack trace, and the first line of a trace that the runtime printed itself.
CAUSE = re.compile(rb"^Caused by: ([\w$.]+(?:Exception|Error)\b.*)$", re.MULTILINE)
TRACE = re.compile(rb"^((?:java|javax|jdk|sun)\.[\w$.]+(?:Exception|Error)\b.*)$", re.MULTILINE)

# The Java launcher's own failure lines ("Error: Could not find or load main class x.Y").
LAUNCH_ERROR = re.compile(rb"^Error: (.*)$", re.MULTILINE)

# A runtime that failed to start: the cause on the line before, what failed on the line after.
VM_ERROR = re.compile(rb"^(?:(.*)\n)?Error occurred during initialization of VM\r?\n(.*)$",
                      re.MULTILINE)
# The class-data sharing's own error line, which may come well before the runtime's refusal.
ARCHIVE_ERROR = re.compile(rb"^(?:\[[^\]\n]*\])*?\[error\]\[(?:cds|aot)[^\]\n]*\] ?(.*?)\r?$",
                           re.MULTILINE)

# A frame of a stack trace in a class that is not the JDK's.
FRAME = re.compile(rb"^\s+at (?!(?:java|javax|jdk|sun|com\.sun)\.)((?:[\w$.]+/)*[\w$.]+\(.*?\))"
                   rb"\r?$", re.MULTILINE)

# How much of the trial's output is read, from its start and from its end each.
KEPT_BYTES = 1024 * 1024


class Outcome:
    """How a trial run ended: its status, what ended it, its uncaught exception and its output."""

    def __init__(self, status, ended, output, seconds=0):
        self.status = status
        self.ended = ended  # None: by itself, else "time limit" or "idle"
        self.seconds = seconds
        self.output = output
        self.thrown = thrown(output)
        # The application threw, or ended by itself with a failure.
        self.failed = self.thrown is not None or (not ended and status != 0)


def kept(log):
    """The output in the file log: all of it, or its start and its end with a line between."""
    try:
        with open(log, "rb") as f:
            head = f.read(KEPT_BYTES)
            size = os.fstat(f.fileno()).st_size
            if size <= 2 * KEPT_BYTES:
                return head + f.read()
            f.seek(size - KEPT_BYTES)
            return head + b"\n[...]\n" + f.read()
    except OSError:
        return b""


def run(checker, bundle, options, limit, log, idle, env, home, args):
    """The Outcome of the bundle run by the check's --run with these options, its output in log."""
    command = ["--run", "--run-seconds", str(limit), "--run-log", log, "--run-env",
               "VORLANE_DEBUG"]
    command += [a for option in options for a in ("--run-option", option)]
    command += [a for setting in env for a in ("--run-env", setting)]
    command += (["--run-idle", str(idle)] if idle else []) + \
        (["--run-home", home] if home is not None else []) + [bundle] + list(args)
    # An application that threw is ended even when it stays alive (a GUI without a display),
    # once its log has been quiet for a second: the runtime may still be writing the trace.
    read = [0, b"", None]

    def threw():
        try:
            with open(log, "rb") as f:
                f.seek(read[0])
                data = f.read(KEPT_BYTES)
        except OSError:
            return False
        if read[2] is not None and not data:
            return time.monotonic() - read[2] >= 1
        read[0] += len(data)
        text = read[1] + data
        read[1] = text[text.rfind(b"\n") + 1:][-KEPT_BYTES:]
        if read[2] is not None or thrown(text[:text.rfind(b"\n") + 1]) is not None:
            read[2] = time.monotonic()
        return False

    ran = checker.run(command, limit + ARCHIVE_WRITE_SECONDS + 60, threw)
    if ran is None:
        return Outcome(1, None, kept(log))
    status, out, err = ran
    try:
        said = json.loads(out.decode("utf-8"))
    except ValueError:
        said = None
    if status != 0 or not isinstance(said, dict):
        raise Failure("the trial run could not run: " + (
            os.fsdecode(err).strip().splitlines() or ["applauncher-check --run failed"])[-1])
    code = said["status"] if said["status"] is not None else 128 + (said["signal"] or 0)
    return Outcome(code, None if said["ended"] == "exited" else said["ended"], kept(log),
                   said["seconds"])


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
    """Why the runtime would not start (text), with its class-data error; None."""
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
    """The first frame in output in the application's code ("a.Main.main(Main.java:3)"); None."""
    m = FRAME.search(output, THROWN.search(output).end() if THROWN.search(output) else 0)
    return None if m is None else m.group(1).decode("utf-8", "replace")


def complaint(output):
    """What a failed trial said: "class: message (Error: ...)", "Error: ...", or its first line."""
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

