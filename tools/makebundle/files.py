"""Copying the application's files (links followed or kept, broken ones refused) and removing."""

import errno
import os
import shutil
import stat

from .programs import SIGNALS
from .report import Failure


def inside(path, directory):
    """Whether path, its links resolved, is directory or lies below it."""
    path = os.path.realpath(path)
    directory = os.path.realpath(directory)
    return path == directory or path.startswith(directory.rstrip("/") + "/")


def broken_link(path):
    """Why the link at path leads to nothing ("points nowhere", "is a cycle of links"); None."""
    if os.path.exists(path):
        return None
    try:
        os.stat(path)
    except OSError as e:
        if e.errno == errno.ELOOP:
            return "is a cycle of links"
    return "points nowhere"


def read_regular(path):
    """The bytes of the regular file at path; anything else is an OSError, without waiting."""
    fd = os.open(path, os.O_RDONLY | os.O_NONBLOCK)
    with open(fd, "rb") as f:
        if not stat.S_ISREG(os.fstat(fd).st_mode):
            raise OSError(errno.EINVAL, "not a regular file", path)
        return f.read()


def copy_file(source, target, **kwargs):
    """shutil.copy2, and where a signal stops the copying; a failure names both files once."""
    SIGNALS.check()
    try:
        return shutil.copy2(source, target, **kwargs)
    except OSError as e:
        raise Failure("cannot copy %s to %s: %s" % (source, target, e.strerror or e))


def copy_followed(source, target, skip_broken=False):
    """Copies a file or tree with its links followed; returns the broken links skipped, and why."""
    skipped = []
    if not os.path.isdir(source):
        copy_file(source, target)
        return skipped

    def leads_back(link):
        """Whether the directory link at link leads to a directory that holds it."""
        d = os.path.dirname(link)
        while True:
            if inside(d, link):
                return True
            if len(d) <= len(source):
                return False
            d = os.path.dirname(d)

    def ignore(directory, names):
        broken = []
        for n in names:
            path = os.path.join(directory, n)
            why = broken_link(path)
            if why is None and os.path.islink(path) and os.path.isdir(path) and leads_back(path):
                why = "leads back to " + os.path.realpath(path) + ", a cycle"
            if why is not None:
                if not skip_broken:
                    raise Failure("the link " + path + " " + why)
                broken.append(n)
                skipped.append((path, why))
        return broken

    shutil.copytree(source, target, symlinks=False, ignore=ignore, copy_function=copy_file)
    return skipped


def copy_keeping_links(source, target):
    if os.path.islink(source):
        os.symlink(os.readlink(source), target)
    elif os.path.isdir(source):
        shutil.copytree(source, target, symlinks=True, copy_function=copy_file)
    else:
        copy_file(source, target)


def remove(path):
    """Removes the file or tree at path, its directories (and nothing outside) made writable."""
    if os.path.islink(path) or not os.path.isdir(path):
        os.remove(path)
        return
    os.chmod(path, 0o700)
    for name in os.listdir(path):
        remove(os.path.join(path, name))
    os.rmdir(path)
