"""The check's findings on the bundle's configuration, told on the user's file and lines."""

import os
import re


def is_finding(line):
    return b": warning: " in line or b": error: " in line


class CfgMap:
    """Maps positions in the bundle's configuration (bundle_cfg) to the user's file (user_cfg)."""

    def __init__(self, bundle_cfg, user_cfg):
        self.pattern = re.compile(re.escape(os.fsencode(bundle_cfg)) + rb":([0-9]+): ")
        self.user = os.fsencode(user_cfg)
        self.insertions = []

    def added(self, after, count, by="-a"):
        """Notes that the option by added count lines to the copy after its line after."""
        self.insertions.append((after, count, by))

    def tell(self, line):
        """The finding line (bytes) as it reads on the user's file; other lines as they are."""
        m = self.pattern.match(line)
        if m is None:
            return line
        number = int(m.group(1))
        rest = line[m.end():]
        added = None
        for after, count, by in reversed(self.insertions):
            if added is None and after < number <= after + count:
                added, number = by, after
            elif number > after + count:
                number -= count
        if added is not None:
            return b"%s (a line that %s added after line %d): %s" % (
                self.user, os.fsencode(added), number, rest)
        return b"%s:%d: %s" % (self.user, number, rest)
