"""NAME.zip as `ditto -c -k --keepParent` makes it, the same bytes for the same bundle."""

import calendar
import contextlib
import os
import re
import shutil
import stat
import tempfile
import time
import zipfile

from .files import inside
from .report import Failure, failure_text

# The earliest and latest times that a zip entry holds (two-second steps).
ZIP_FIRST = calendar.timegm((1980, 1, 1, 0, 0, 0))
ZIP_LAST = calendar.timegm((2107, 12, 31, 23, 59, 58))

# The files that ditto stores: directories, regular files and symbolic links.
STORED = (stat.S_IFDIR, stat.S_IFREG, stat.S_IFLNK)

# The MS-DOS directory bit, which ditto and every unzip also set for a directory.
MSDOS_DIRECTORY = 0x10


def entry_time():
    """The date_time of every entry: SOURCE_DATE_EPOCH within a zip's times, else the first."""
    value = os.environ.get("SOURCE_DATE_EPOCH", "")
    if value and not value.isdigit():
        raise Failure("SOURCE_DATE_EPOCH must be a number of seconds, not %r" % value)
    return time.gmtime(min(max(int(value or 0), ZIP_FIRST), ZIP_LAST))[:6]


def zip_path(bundle):
    bundle = os.path.abspath(bundle)
    return (bundle[:-len(".app")] if bundle.endswith(".app") else bundle) + ".zip"


def entries(bundle):
    """(entry name, path) of the bundle and all below it, each directory before what it holds."""
    top = os.path.basename(os.path.abspath(bundle))
    found = [(top, bundle)]

    def walk(directory, prefix):
        try:
            names = sorted(os.listdir(directory), key=os.fsencode)
        except OSError as e:
            raise Failure("cannot read %s: %s" % (directory, e.strerror or e))
        for name in names:
            path = os.path.join(directory, name)
            found.append((prefix + "/" + name, path))
            if stat.S_ISDIR(os.lstat(path).st_mode):
                walk(path, prefix + "/" + name)

    walk(bundle, top)
    return found


def add(archive, name, path, date_time):
    st = os.lstat(path)
    kind = stat.S_IFMT(st.st_mode)
    if kind not in STORED:
        raise Failure("cannot put %s into the zip: it is not a file, a directory or a link" % path)
    try:
        name.encode("utf-8")
    except UnicodeEncodeError:
        raise Failure("cannot put %s into the zip: its name is not UTF-8, which a Mac needs" %
                      os.fsencode(name).decode("utf-8", "replace"))
    info = zipfile.ZipInfo(name + ("/" if kind == stat.S_IFDIR else ""), date_time)
    info.create_system = 3  # Unix, whose modes the upper half of external_attr holds
    info.external_attr = (st.st_mode & 0xFFFF) << 16
    if kind == stat.S_IFDIR:
        info.external_attr |= MSDOS_DIRECTORY
        archive.writestr(info, b"", compress_type=zipfile.ZIP_STORED)
    elif kind == stat.S_IFLNK:
        archive.writestr(info, os.fsencode(os.readlink(path)), compress_type=zipfile.ZIP_STORED)
    else:
        info.compress_type = zipfile.ZIP_DEFLATED
        info.file_size = st.st_size
        with open(path, "rb") as source, archive.open(info, "w") as target:
            shutil.copyfileobj(source, target, 1024 * 1024)


def remove_quietly(path):
    with contextlib.suppress(OSError):
        os.unlink(path)


def temporary_pattern(target):
    """Matches the temporary files of write_temporary: .NAME.zip.PID.XXXXXXXX, PID as group 1."""
    return re.compile(re.escape("." + os.path.basename(target) + ".") +
                      r"([0-9]+)\.[a-z0-9_]{8}")


def write_temporary(bundle, target):
    """Writes the zip of bundle to a new temporary file beside target; returns its path."""
    if inside(target, bundle):
        raise Failure("the zip %s would lie inside the bundle %s" % (target, bundle))
    date_time = entry_time()
    directory = os.path.dirname(os.path.abspath(target))
    try:
        handle, temporary = tempfile.mkstemp(
            prefix=".%s.%d." % (os.path.basename(target), os.getpid()), dir=directory)
    except OSError as e:
        raise Failure("cannot write into %s: %s" % (directory, e.strerror or e))
    try:
        with os.fdopen(handle, "wb") as f:
            with zipfile.ZipFile(f, "w") as archive:
                for name, path in entries(bundle):
                    add(archive, name, path, date_time)
            f.flush()
            os.fsync(f.fileno())
        mask = os.umask(0)
        os.umask(mask)
        os.chmod(temporary, 0o666 & ~mask)
    except OSError as e:
        remove_quietly(temporary)
        raise Failure("cannot write %s: %s" % (target, failure_text(e)))
    except BaseException:
        remove_quietly(temporary)
        raise
    return temporary
