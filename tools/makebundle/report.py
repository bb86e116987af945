"""What make-bundle tells: the bundle's path alone on standard output, the rest on error."""

import os
import shutil
import signal
import sys


class Failure(Exception):
    """A failure reported as one line with status 1."""


class UsageError(Exception):
    """Wrong use of the command line, reported as one line with status 2."""


class Interrupted(BaseException):
    """A signal that ends the run arrived; reported as one line with status 1."""

    def __str__(self):
        return "interrupted by " + signal.Signals(self.args[0]).name


def _write(stream, data):
    """Writes the bytes data to a text stream, through its buffer."""
    stream.flush()
    stream.buffer.write(data)
    stream.buffer.flush()


def result(path):
    _write(sys.stdout, os.fsencode(path) + b"\n")


def tell(text):
    _write(sys.stderr, os.fsencode(text) + b"\n")


def note(text):
    tell("note: " + text)


def fail(text):
    tell("make-bundle: " + text)


def failure_text(e):
    if isinstance(e, shutil.Error):
        first = e.args[0][0] if e.args and e.args[0] else ("", "", str(e))
        return "cannot copy " + str(first[0]) + ": " + str(first[2])
    if isinstance(e, OSError):
        where = (e.filename + ": ") if isinstance(e.filename, str) else ""
        return where + (e.strerror or str(e))
    return str(e)
