"""Which runtime modules an application needs, as the JDK's own tools say it. -m auto asks jdeps
about the application's classes; when the application fails for want of a class of the JDK,
the JDK's module image says which module holds that class."""

import os
import re
import tempfile
import zipfile
import zlib

from . import children
from .report import Failure, note

# The word of -m that stands for the modules jdeps finds.
AUTO = "auto"

# Larger than any class file has reason to be (the runtime's own limits on a class's parts stop
# far below): a larger entry is refused rather than unpacked, so that a small jar that unpacks
# to gigabytes (a decompression bomb) costs neither memory nor disk.
MAX_CLASS_BYTES = 64 * 1024 * 1024

# What the runtime says when a class or a module is not there.
MISSING = (
    ("class", re.compile(rb"NoClassDefFoundError: ([A-Za-z_$][\w$/.]*)")),
    ("class", re.compile(rb"ClassNotFoundException: ([A-Za-z_$][\w$.]*)")),
    ("module", re.compile(rb"FindException: Module ([\w.]+) not found")),
)


def copy_class(jar, entry, out, name, path):
    """Copies the class entry of jar (read from path) into out as name, streaming; a class
    larger than MAX_CLASS_BYTES, by its header or by what it unpacks to, and corrupt compressed
    data are failures."""
    too_large = Failure("-m auto: %s holds %s, larger than a class may be (%d MiB)" % (
        path, entry.filename, MAX_CLASS_BYTES // (1024 * 1024)))
    if entry.file_size > MAX_CLASS_BYTES:
        raise too_large
    try:
        with jar.open(entry) as source, out.open(name, "w") as target:
            written = 0
            while True:
                block = source.read(1024 * 1024)
                if not block:
                    break
                written += len(block)
                if written > MAX_CLASS_BYTES:
                    raise too_large
                target.write(block)
    except zlib.error as e:
        raise Failure("-m auto: %s holds %s with corrupt compressed data (%s)" %
                      (path, entry.filename, e))


def class_jar(sources, path):
    """Writes the class files of sources (jars, class files, directories) into one jar at path;
    returns how many."""
    # Module declarations are left out, so that jdeps reads everything as one class path: the
    # modules they require need not be there, and packages split between jars do not matter.
    # Each jar's classes go below a directory of their own, and every version of a multi-release
    # jar's class counts. One jar, written without compression, is far quicker to make than
    # thousands of files.
    count = 0
    seen = set()
    archives = 0

    def add_jar(out, path):
        nonlocal count, archives
        archives += 1
        try:
            with zipfile.ZipFile(path) as jar:
                for entry in jar.infolist():
                    parts = entry.filename.split("/")
                    if entry.is_dir() or not entry.filename.endswith(".class") or \
                            parts[-1] == "module-info.class" or ".." in parts or not parts[0]:
                        continue
                    copy_class(jar, entry, out, "%d/%s" % (archives, entry.filename), path)
                    count += 1
        except (zipfile.BadZipFile, OSError, RuntimeError, EOFError) as e:
            note("-m auto: skipped %s, which cannot be read as a jar: %s" % (path, e))

    def add(out, path, relative):
        nonlocal count
        children.SIGNALS.check()
        real = os.path.realpath(path)
        if real in seen:
            return
        seen.add(real)
        if os.path.isdir(path):
            for name in sorted(os.listdir(path)):
                add(out, os.path.join(path, name), relative + "/" + name)
        elif path.endswith(".jar"):
            add_jar(out, path)
        elif path.endswith(".class") and os.path.basename(path) != "module-info.class":
            out.write(path, "classes/" + relative)
            count += 1

    with zipfile.ZipFile(path, "w", zipfile.ZIP_STORED) as out:
        for source in sources:
            add(out, source, os.path.basename(os.path.normpath(source)))
    return count


def auto(jdk_home, sources):
    """The modules that jdeps of the JDK at jdk_home finds the classes of sources to need."""
    with tempfile.TemporaryDirectory(prefix="make-bundle-classes.") as work:
        jar = os.path.join(work, "classes.jar")
        if class_jar(sources, jar) == 0:
            raise Failure("-m auto found no class files among the files for the bundle")
        out = children.run_tool([os.path.join(jdk_home, "bin", "jdeps"), "--print-module-deps",
                                 "--ignore-missing-deps", jar], "jdeps")
    for line in reversed(out.splitlines()):
        if re.fullmatch(r"[\w.]+(,[\w.]+)*", line.strip()):
            return line.strip().split(",")
    raise Failure("jdeps printed no modules: " + children.last_line(out))


def resolve(given, jdk_home, sources):
    """The modules of -m (given, comma-separated), with "auto" replaced by what jdeps finds."""
    names = [m for m in given.split(",") if m]
    if AUTO not in names:
        return names
    note("-m auto: asking %s which modules the classes of the files need" %
         os.path.join(jdk_home, "bin", "jdeps"))
    found = auto(jdk_home, sources)
    chosen = []
    for name in names:
        for module in (found if name == AUTO else [name]):
            if module not in chosen:
                chosen.append(module)
    note("-m auto chose %s (-m %s pins this choice)" % (",".join(found), ",".join(chosen)))
    return chosen


def missing(text):
    """What text (the runtime's words, bytes) says is missing, in order: ("class", dotted name)
    and ("module", name)."""
    found = []
    for kind, pattern in MISSING:
        for m in pattern.finditer(text):
            name = m.group(1).decode("ascii").replace("/", ".").rstrip(".")
            found.append((m.start(), kind, name))
    return [(kind, name) for _, kind, name in sorted(found)]


class JdkImage:
    """The modules and classes of a JDK's module image, as its own jimage lists them."""

    def __init__(self, home):
        self.home = home
        self.classes = None
        self.modules = set()

    def _load(self):
        """Reads the image's listing once."""
        if self.classes is not None:
            return
        self.classes = {}
        out = children.run_tool([os.path.join(self.home, "bin", "jimage"), "list",
                                 os.path.join(self.home, "lib", "modules")], "jimage")
        module = None
        for line in out.splitlines():
            if line.startswith("Module: "):
                module = line[len("Module: "):].strip()
                self.modules.add(module)
            elif module is not None and line.strip().endswith(".class"):
                self.classes[line.strip()[:-len(".class")].replace("/", ".")] = module

    def module_of(self, kind, name):
        """The module of the JDK that holds the class name, or that is the module name; None
        when the JDK has none."""
        self._load()
        if kind == "module":
            return name if name in self.modules else None
        return self.classes.get(name)


def needed(text, image, present):
    """The first module that text (the runtime's words) shows the application to need and the
    runtime to lack (present: the modules it holds), as (module, what is missing); None."""
    for kind, name in missing(text):
        module = image.module_of(kind, name)
        if module is not None and module not in present:
            return module, name if kind == "class" else "the module " + name
    return None
