"""The check's verdict on the bundle: its findings told once, on the user's file; its failures."""

import os

from . import runtime
from .check import CheckFailed
from .findings import is_finding
from .report import Failure, tell


def show(p, lines):
    """Shows the check's findings and notes not shown yet; returns the warnings."""
    warnings = []
    for line in lines:
        if line.startswith(b"note: ") and line not in p.shown:
            p.shown.add(line)
            tell(line)
    for line in filter(is_finding, lines):
        told = p.cfg_map.tell(line)
        if told not in p.shown:
            p.shown.add(told)
            tell(told)
        if b": warning: " in line:
            warnings.append(told)
    return warnings


def failure_line(p, e):
    """The line for a launch that would fail: a module it lacks, the launcher's line, an error."""
    words = b"\n".join(e.errors + ([os.fsencode(e.launcher_line)] if e.launcher_line else []))
    lacking = runtime.lacking(p, words)
    if lacking is not None:
        return lacking
    if e.launcher_line is not None:
        line = "the launcher would fail: " + e.launcher_line
        if p.o.runtime is None and p.o.linked is None and p.o.library is None and \
                os.path.join(p.bundle, p.layout.runtime_dir) in e.launcher_line:
            line += " (no runtime was given: -r JAVA_HOME puts one into the bundle)"
        return line
    if e.errors:
        return "the launch would fail: " + os.fsdecode(p.cfg_map.tell(e.errors[0]))
    return "the launch would fail: applauncher-check says so"


def verify(p, stage=None):
    """Checks the bundle at stage (else at its final path), told of its final path."""
    p.at = stage

    def told(lines):
        return [line.replace(os.fsencode(stage or p.bundle), os.fsencode(p.bundle))
                for line in lines]

    try:
        status, lines = p.checker.verdict(stage or p.bundle)
    except CheckFailed as e:
        e.out, e.errors = told(e.out), told(e.errors)
        if e.launcher_line is not None:
            e.launcher_line = os.fsdecode(told([os.fsencode(e.launcher_line)])[0])
        show(p, e.out)
        raise Failure(failure_line(p, e))
    finally:
        p.at = None
    warnings = show(p, told(lines))
    if p.o.strict and status == 2:
        raise Failure("applauncher-check warns about the bundle (-W): %d %s" %
                      (len(warnings), "warning" if len(warnings) == 1 else "warnings"))
