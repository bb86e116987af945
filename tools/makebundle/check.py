"""applauncher-check: the layout comes from it, and no bundle is made that it did not vouch for."""

import json
import os
import subprocess

from . import programs
from .layout import Layout
from .report import Failure

# How long applauncher-check may take (it may start the bundle's runtime once).
CHECK_SECONDS = 120


class CheckFailed(Failure):
    """The check says that the launch would fail, with the launcher's line and its errors."""

    def __init__(self, launcher_line, errors, out):
        super().__init__(launcher_line or "applauncher-check finds an error")
        self.launcher_line = launcher_line
        self.errors = errors
        self.out = out


class Checker:
    def __init__(self, path):
        self.path = path

    @staticmethod
    def locate(launcher, given):
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
        """(status, output, error output) of the check with args; None when enough() ended it."""
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

    def layout(self):
        status, out, err = self.run(["--layout"])
        if status != 0:
            raise Failure("%s --layout failed: %s" % (self.path,
                                                      programs.last_line(os.fsdecode(err))))
        return Layout(os.fsdecode(out), self.path)

    def verdict(self, bundle):
        """(status, output lines) of the check of bundle: 0 clean, 2 warnings; errors raise."""
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
        """The check's --format json of bundle, without a trial; None when the launcher fails."""
        status, out, err = self.run(["--format", "json", "--no-trial", bundle])
        try:
            data = json.loads(out.decode("utf-8"))
        except ValueError:
            data = None
        if status not in (0, 1, 2) or not isinstance(data, dict):
            raise Failure("applauncher-check --format json %s ended with status %d: %s" %
                          (bundle, status, programs.last_line(os.fsdecode(err))))
        return data if data.get("reads") or status != 1 else None
