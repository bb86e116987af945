"""applauncher-check, which says what the launcher will do with a bundle. make-bundle needs it:
the bundle's layout comes from it, and every bundle made is checked by it, so that no bundle is
called made that nothing vouched for."""

import json
import os
import subprocess

from . import programs
from .findings import is_finding
from .layout import Layout
from .report import Failure

# How long applauncher-check may take (it may start the bundle's runtime once).
CHECK_SECONDS = 120


class CheckFailed(Failure):
    """applauncher-check says that the launch would fail: launcher_line is the launcher's own
    line (or None), errors the error findings (bytes), out all it printed (lines of bytes)."""

    def __init__(self, launcher_line, errors, out):
        super().__init__(launcher_line or "applauncher-check finds an error")
        self.launcher_line = launcher_line
        self.errors = errors
        self.out = out


class Checker:
    """One applauncher-check executable."""

    def __init__(self, path):
        self.path = path

    @staticmethod
    def locate(launcher, given):
        """The check given with --check, else the one beside the launcher; fails when there is
        no such file."""
        if given is not None:
            if not os.path.isfile(given):
                raise Failure("no applauncher-check at %s (--check)" % given)
            return Checker(given)
        path = os.path.join(os.path.dirname(os.path.abspath(launcher)), "applauncher-check")
        if not os.path.isfile(path):
            raise Failure("no applauncher-check beside the launcher: %s (the build makes it "
                          "along with applauncher; or give one with --check PATH)" % path)
        return Checker(path)

    def run(self, args, timeout=CHECK_SECONDS, enough=None):
        """Runs the check with args; returns (status, standard output, standard error) as
        bytes, None when enough() ended it (see programs.communicate). A check that cannot run
        here, or runs too long, is a failure."""
        try:
            child = programs.start([self.path] + args, stdout=subprocess.PIPE,
                                   stderr=subprocess.PIPE)
        except OSError as e:
            raise Failure("applauncher-check %s cannot run here: %s (give one built for this "
                          "machine with --check PATH)" % (self.path, e.strerror or e))
        try:
            said = programs.communicate(child, timeout, enough)
        except subprocess.TimeoutExpired:
            raise Failure("applauncher-check did not end within %d s" % timeout)
        return None if said is None else (child.returncode,) + said

    def _answer(self, args):
        """Standard output of a query (--layout) that must succeed."""
        status, out, err = self.run(args)
        if status != 0:
            raise Failure("%s %s failed: %s" % (self.path, args[0],
                                                programs.last_line(os.fsdecode(err))))
        return os.fsdecode(out)

    def layout(self):
        """The bundle layout as the launcher has it."""
        return Layout(self._answer(["--layout"]), self.path)

    def verdict(self, bundle):
        """Checks bundle; returns (status, output lines): 0 no findings, 2 warnings. An error
        (the launch would fail) raises CheckFailed."""
        status, out, err = self.run([bundle])
        lines = out.split(b"\n")
        if status == 1:
            errors = [line for line in lines if b": error: " in line]
            said = [line for line in err.split(b"\n") if line.strip()]
            raise CheckFailed(os.fsdecode(said[-1].strip()) if said else None, errors, lines)
        if status not in (0, 2):
            raise Failure("applauncher-check ended with status %d: %s" %
                          (status, programs.last_line(os.fsdecode(err))))
        return status, lines

    def launch(self, bundle):
        """What the check says of the launch of bundle, without a trial start: its
        --format json, parsed; None when the launcher would fail."""
        status, out, err = self.run(["--format", "json", "--no-trial", bundle])
        try:
            data = json.loads(out.decode("utf-8"))
        except ValueError:
            data = None
        if status not in (0, 1, 2) or not isinstance(data, dict):
            raise Failure("applauncher-check --format json %s ended with status %d: %s" %
                          (bundle, status, programs.last_line(os.fsdecode(err))))
        return data if data.get("reads") or status != 1 else None


def findings(lines):
    """The findings among the check's output lines."""
    return [line for line in lines if is_finding(line)]
