"""NAME.zip of a bundle as a Mac's `ditto -c -k --keepParent NAME.app NAME.zip` makes it, which
is what notarytool and Mac users take: the bundle's directory at the root, symbolic links
stored as links (a runtime's links stay links, not copies), every entry's mode kept, nothing
else added (no __MACOSX folder, no extra fields).

The same tree gives the same bytes: entries in sorted order, each directory before what it
holds, all with one time, SOURCE_DATE_EPOCH when it is set (else 1980-01-01, the earliest a zip
holds). The zip is written to a temporary file beside the target (.NAME.zip.PID.XXXXXXXX) and
renamed into place, so an interrupted run leaves no half zip behind; a killed one may leave the
temporary file, which temporary_pattern() recognises.

    path = write_zip("dist/Name.app")          # dist/Name.zip

Every failure is a ZipError whose text is one line. Python 3.8, standard library only.
"""

import calendar
import os
import re
import stat
import tempfile
import time
import zipfile

# The earliest and latest times that a zip entry holds (two-second steps).
ZIP_FIRST = calendar.timegm((1980, 1, 1, 0, 0, 0))
ZIP_LAST = calendar.timegm((2107, 12, 31, 23, 59, 58))

# The files that ditto stores: directories, regular files and symbolic links.
STORED = (stat.S_IFDIR, stat.S_IFREG, stat.S_IFLNK)

# The MS-DOS directory bit, which ditto and every unzip also set for a directory.
MSDOS_DIRECTORY = 0x10


class ZipError(Exception):
    """A failure to be reported as one line, with exit status 1."""


def entry_time(environ=None):
    """The time of every entry, as zipfile's date_time tuple: SOURCE_DATE_EPOCH (seconds since
    1970, UTC), kept within what a zip can hold, else the earliest such time."""
    environ = os.environ if environ is None else environ
    value = environ.get("SOURCE_DATE_EPOCH", "")
    if value == "":
        seconds = ZIP_FIRST
    elif value.isdigit():
        seconds = min(max(int(value), ZIP_FIRST), ZIP_LAST)
    else:
        raise ZipError("SOURCE_DATE_EPOCH must be a number of seconds, not %r" % value)
    return time.gmtime(seconds)[:6]


def zip_path(bundle):
    """Where write_zip puts the zip of bundle by default: NAME.zip beside NAME.app."""
    bundle = os.path.abspath(bundle)
    name = os.path.basename(bundle)
    if name.endswith(".app"):
        name = name[:-len(".app")]
    return os.path.join(os.path.dirname(bundle), name + ".zip")


def arc_name(relative):
    """relative (a path with "/") as the zip's entry name, which a Mac reads as UTF-8."""
    try:
        relative.encode("utf-8")
    except UnicodeEncodeError:
        raise ZipError("cannot put %s into the zip: its name is not UTF-8, which a Mac needs" %
                       os.fsencode(relative).decode("utf-8", "replace"))
    return relative


def entries(bundle):
    """(entry name, path) of the bundle and all below it: sorted by name, each directory
    before what it holds, the bundle's own directory first."""
    top = os.path.basename(os.path.abspath(bundle))
    found = [(top, bundle)]

    def walk(directory, prefix):
        try:
            names = sorted(os.listdir(directory), key=os.fsencode)
        except OSError as e:
            raise ZipError("cannot read %s: %s" % (directory, e.strerror or e))
        for name in names:
            path = os.path.join(directory, name)
            found.append((prefix + "/" + name, path))
            if stat.S_ISDIR(os.lstat(path).st_mode):
                walk(path, prefix + "/" + name)

    walk(bundle, top)
    return found


def add(archive, name, path, date_time):
    """Adds path as the entry name: a directory, a link (its target as the entry's data) or a
    file (deflated), with its mode."""
    st = os.lstat(path)
    kind = stat.S_IFMT(st.st_mode)
    if kind not in STORED:
        raise ZipError("cannot put %s into the zip: it is not a file, a directory or a link" %
                       path)
    info = zipfile.ZipInfo(arc_name(name) + ("/" if kind == stat.S_IFDIR else ""), date_time)
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
            while True:
                block = source.read(1024 * 1024)
                if not block:
                    break
                target.write(block)


def remove_quietly(path):
    try:
        os.unlink(path)
    except OSError:
        pass


def temporary_pattern(target):
    """Matches the names of the temporary files beside target that write_temporary makes:
    .NAME.zip.PID.XXXXXXXX, the process's number as group 1."""
    return re.compile(re.escape("." + os.path.basename(target) + ".") +
                      r"([0-9]+)\.[a-z0-9_]{8}")


def write_temporary(bundle, target=None, environ=None):
    """Writes the zip of the directory bundle to a new temporary file beside target (default:
    zip_path(bundle)), fsynced, with the mode of a new file; returns (its path, target). The
    caller renames it into place or removes it."""
    if not os.path.isdir(bundle) or os.path.islink(bundle):
        raise ZipError("no bundle directory at " + bundle)
    target = zip_path(bundle) if target is None else target
    real_bundle = os.path.realpath(bundle)
    real_target = os.path.realpath(target)
    if real_target.startswith(real_bundle.rstrip("/") + "/"):
        raise ZipError("the zip %s would lie inside the bundle %s" % (target, bundle))
    date_time = entry_time(environ)
    directory = os.path.dirname(os.path.abspath(target))
    try:
        handle, temporary = tempfile.mkstemp(
            prefix=".%s.%d." % (os.path.basename(target), os.getpid()), dir=directory)
    except OSError as e:
        raise ZipError("cannot write into %s: %s" % (directory, e.strerror or e))
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
        where = (e.filename + ": ") if isinstance(e.filename, str) else ""
        raise ZipError("cannot write %s: %s%s" % (target, where, e.strerror or e))
    except BaseException:
        remove_quietly(temporary)
        raise
    return temporary, target


def write_zip(bundle, target=None, environ=None):
    """Writes the zip of the directory bundle to target (default: zip_path(bundle)) through a
    temporary file renamed into place; returns target."""
    temporary, target = write_temporary(bundle, target, environ)
    try:
        os.replace(temporary, target)
    except OSError as e:
        remove_quietly(temporary)
        raise ZipError("cannot write %s: %s" % (target, e.strerror or e))
    return target
