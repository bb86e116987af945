"""The bundle's layout as `applauncher-check --layout` says it: make-bundle keeps no copy."""

import os

from .report import Failure

KEYS = ("executable-dir", "app-dir", "runtime-dir", "launch-library", "library-path-variable")


class Layout:
    """Where things go in a bundle, relative to it (launch libraries: to the runtime's home)."""

    def __init__(self, text, source):
        values = {}
        for line in text.splitlines():
            key, sep, value = line.partition("=")
            if sep and key in KEYS:
                values.setdefault(key, []).append(value)
        missing = [key for key in KEYS if not values.get(key)]
        if missing:
            raise Failure("%s --layout gave no %s (is it older than make-bundle?)" %
                          (source, ", ".join(missing)))
        self.executable_dir = values["executable-dir"][0]
        self.app_dir = values["app-dir"][0]
        self.runtime_dir = values["runtime-dir"][0]
        # A runtime's home holds lib/...: what comes before is where the home goes.
        homes = set()
        self.home_libraries = []
        for library in values["launch-library"]:
            home, sep, rest = ("/" + library).partition("/lib/")
            if not sep:
                raise Failure("%s --layout gave a launch library outside a runtime's lib "
                              "directory: %s" % (source, library))
            homes.add(home[1:])
            self.home_libraries.append("lib/" + rest)
        if len(homes) != 1:
            raise Failure("%s --layout gave launch libraries in different homes: %s" %
                          (source, ", ".join(values["launch-library"])))
        self.home_dir = os.path.join(self.runtime_dir, homes.pop()).rstrip("/")

    def executable(self, bundle, name):
        return os.path.join(bundle, self.executable_dir, name)

    def app(self, bundle):
        return os.path.join(bundle, self.app_dir)

    def runtime_home(self, bundle):
        return os.path.join(bundle, self.home_dir)
