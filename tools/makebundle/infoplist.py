"""Info.plist: the keys make-bundle decides, merged with those of a property list of -p."""

import os
import plistlib
import re

from .files import read_regular
from .icns import icns_name
from .report import Failure

IDENTIFIER = r"[A-Za-z0-9.-]+"
VERSION = r"[0-9]+(\.[0-9]+){0,2}"

# Deeper than any Info.plist has reason to nest; writing deeper ones exhausts the recursion.
MAX_DEPTH = 100


def plist_text(text):
    """text for Info.plist: bytes that are not UTF-8 (Linux names) become replacement marks."""
    return os.fsencode(text).decode("utf-8", "replace")


def info_plist(o, extra, source):
    """Info.plist of the options, with the keys of extra (from source) that they do not decide."""
    name = plist_text(o.name)
    info = {
        "CFBundleExecutable": name,
        "CFBundleIdentifier": "app." + re.sub(r"[^A-Za-z0-9.-]", "-", name),
        "CFBundleName": name,
        "CFBundleDisplayName": name,
        "CFBundlePackageType": "APPL",
        "CFBundleShortVersionString": "1.0",
        "CFBundleVersion": "1.0",
        "CFBundleInfoDictionaryVersion": "6.0",
        "LSMinimumSystemVersion": "11.0",
        "NSHighResolutionCapable": True,
    }
    decided = {"CFBundleExecutable": "-n", "CFBundlePackageType": "every bundle it makes",
               "CFBundleInfoDictionaryVersion": "every bundle it makes"}
    icon = None if o.icon is None else plist_text(icns_name(o.icon))
    for keys, value, option in ((["CFBundleIdentifier"], o.identifier, "-i"),
                                (["CFBundleShortVersionString", "CFBundleVersion"], o.version,
                                 "-V"), (["CFBundleIconFile"], icon, "-I")):
        for key in keys if value is not None else ():
            info[key] = value
            decided[key] = option
    for key, value in extra.items():
        if key in decided and value != info[key]:
            raise Failure("%s gives %s %r, but make-bundle sets it to %r (%s)" %
                          (source, key, value, info[key], decided[key]))
        rule = {"CFBundleIdentifier": IDENTIFIER, "CFBundleShortVersionString": VERSION,
                "CFBundleVersion": VERSION, "LSMinimumSystemVersion": VERSION}.get(key)
        if rule is not None and not (isinstance(value, str) and re.fullmatch(rule, value)):
            raise Failure("%s gives %s %r, which is not of the form %s" %
                          (source, key, value, "a.b-c" if rule == IDENTIFIER else "1.2.3"))
        if key == "LSMinimumSystemVersion" and \
                tuple(int(n) for n in value.split(".")) < (11,):
            raise Failure("%s gives LSMinimumSystemVersion %r, but the launcher needs macOS 11" %
                          (source, value))
        info[key] = value
    return info


def read_plist(path):
    try:
        extra = plistlib.loads(read_regular(path))
    except OSError as e:
        raise Failure("cannot read " + path + ": " + (e.strerror or str(e)))
    except Exception as e:  # plistlib reports bad input with several exception types
        raise Failure("cannot read the property list " + path + ": " + (str(e) or
                                                                          type(e).__name__))
    if not isinstance(extra, dict):
        raise Failure("the property list " + path + " holds a " + type(extra).__name__ +
                      ", not a dictionary")
    if depth(extra) > MAX_DEPTH:
        raise Failure("the property list %s nests arrays and dictionaries more than %d deep" %
                      (path, MAX_DEPTH))
    return extra


def depth(value):
    """How deep arrays and dictionaries nest in value (a scalar: 0), found without recursion."""
    deepest = 0
    pending = [(value, 1)]
    while pending:
        value, level = pending.pop()
        inner = value.values() if isinstance(value, dict) else \
            value if isinstance(value, list) else None
        if inner is not None:
            deepest = max(deepest, level)
            pending.extend((v, level + 1) for v in inner)
    return deepest


def info_bytes(o):
    extra = {} if o.plist is None else read_plist(o.plist)
    info = info_plist(o, extra, o.plist)
    try:
        return plistlib.dumps(info)
    except (TypeError, ValueError, OverflowError) as e:
        raise Failure("the property list " + o.plist + " holds what Info.plist cannot: " + str(e))
