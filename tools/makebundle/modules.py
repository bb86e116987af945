"""The runtime modules that an application needs, as jdeps and the JDK's module image say."""

import contextlib
import hashlib
import json
import os
import platform
import re
import tempfile
import zipfile
import zlib

from . import jdk, programs
from .options import version
from .report import Failure, note

# The word of -m that stands for the modules jdeps finds.
AUTO = "auto"

# Larger than any class file has reason to be: a jar that unpacks to gigabytes is refused.
MAX_CLASS_BYTES = 64 * 1024 * 1024

# What reading a damaged jar raises.
ZIP_ERRORS = (zipfile.BadZipFile, OSError, RuntimeError, EOFError)

# What the runtime says when a class or a module is not there.
MISSING = (
    ("class", re.compile(rb"NoClassDefFoundError: ([A-Za-z_$][\w$/.]*)")),
    ("class", re.compile(rb"ClassNotFoundException: ([A-Za-z_$][\w$.]*)")),
    ("module", re.compile(rb"FindException: Module ([\w.]+) not found")),
)


def copy_class(jar, entry, out, name, path):
    """Copies the class entry of jar (from path) into out as name, refusing one too large."""
    too_large = Failure("-m auto: %s holds %s, larger than a class may be (%d MiB)" % (
        path, entry.filename, MAX_CLASS_BYTES // (1024 * 1024)))
    if entry.file_size > MAX_CLASS_BYTES:
        raise too_large
    try:
        with jar.open(entry) as source, out.open(name, "w") as target:
            written = 0
            for block in iter(lambda: source.read(1024 * 1024), b""):
                written += len(block)
                if written > MAX_CLASS_BYTES:
                    raise too_large
                target.write(block)
    except zlib.error as e:
        raise Failure("-m auto: %s holds %s with corrupt compressed data (%s)" %
                      (path, entry.filename, e))


def class_name(entry):
    """The dotted class of a jar entry ("a/B.class", also below META-INF/versions/N/); None."""
    parts = entry.split("/")
    if parts[:2] == ["META-INF", "versions"] and len(parts) > 3:
        parts = parts[3:]
    if not parts[-1].endswith(".class") or parts[-1] == "module-info.class":
        return None
    return ".".join(parts)[:-len(".class")]


def class_jar(sources, path, origins):
    """Writes the classes of sources into one jar at path, their jars into origins; how many."""
    # Without module declarations jdeps reads all as one class path: no requires, split packages
    # or multi-release versions get in the way.
    seen = set()
    count = 0

    def add_jar(out, path):
        nonlocal count
        try:
            with zipfile.ZipFile(path) as jar:
                for entry in jar.infolist():
                    name = class_name(entry.filename)
                    parts = entry.filename.split("/")
                    if entry.is_dir() or name is None or ".." in parts or not parts[0]:
                        continue
                    # Each jar's classes go below a directory of their own.
                    copy_class(jar, entry, out, "%d/%s" % (len(seen), entry.filename), path)
                    count += 1
                    origins.setdefault(name, []).append(path)
        except ZIP_ERRORS as e:
            note("skipped %s in the search for classes, which cannot be read as a jar: %s" %
                 (path, e))

    def add(out, path, relative):
        nonlocal count
        programs.SIGNALS.check()
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
            # Its class path directory is one of its parents: each is kept, as no wrong one is used.
            parts = relative[:-len(".class")].split("/")
            for i in range(1, len(parts)):
                origins.setdefault(".".join(parts[i:]), []).append(
                    path[:-len("/".join(parts[i:]) + ".class") - 1])

    with zipfile.ZipFile(path, "w", zipfile.ZIP_STORED) as out:
        for source in sources:
            add(out, source, os.path.basename(os.path.normpath(source)))
    return count


CACHE_KEPT = 16

# A line of `jdeps -verbose:class`: the class, the class it uses, and where that one is.
USE = re.compile(r"^\s+(\S+)\s+->\s+(\S+)\s+(.*?)\s*$")
INTERNAL = re.compile(r"JDK internal API \(([\w.]+)\)")


class Analysis:
    """What jdeps finds: {class: jars or directories}, {class: classes used}, {module: users}."""

    def __init__(self, origins, out):
        self.origins = origins
        self.said = None  # jdeps's last line; None when it had no class to read
        self.calls = {}
        self.modules = {}
        for line in out.splitlines():
            m = USE.match(line)
            if m is None:
                continue
            user, used, where = m.groups()
            internal = INTERNAL.fullmatch(where)
            module = internal.group(1) if internal else where
            if re.fullmatch(r"[\w.]+", module) and not module.endswith(".jar") and \
                    used not in origins:
                users = self.modules.setdefault(module, [])
                if user not in users:
                    users.append(user)
            else:
                self.calls.setdefault(user, []).append(used)


def digest(parts, paths, root="/"):
    """A digest of make-bundle's version, parts, and the name, size and time of each of paths."""
    h = hashlib.sha256()
    for part in [version()] + parts:
        h.update(os.fsencode(part) + b"\0")
    for path in paths:
        with contextlib.suppress(OSError):
            st = os.stat(path) if os.path.exists(path) else os.lstat(path)
            h.update(b"%s %d %d\0" % (os.fsencode(os.path.relpath(path, root)), st.st_size,
                                      st.st_mtime_ns))
    return h.hexdigest()


def sources_digest(jdk_home, sources, root):
    """A digest of what decides an analysis: make-bundle, the JDK, and the files of sources."""
    with open(__file__, encoding="utf-8") as f:
        parts = [f.read(), os.path.realpath(os.path.join(jdk_home, "bin", "jdeps")),
                 repr(sorted(jdk.release(jdk_home).items()))]
    paths = []
    for source in sources:
        paths += sorted(os.path.join(d, n) for d, _, names in os.walk(source) for n in names) \
            if os.path.isdir(source) else [source]
    return digest(parts, paths, root)


def analyse(jdk_home, sources):
    """The Analysis of the classes of sources by jdeps of jdk_home, cached for the same inputs."""
    if not sources:
        return Analysis({}, "")
    # The cache holds paths below the sources' common directory, another one each run.
    root = os.path.commonpath([os.path.abspath(source) for source in sources])
    cache = os.path.join(os.path.expanduser("~/Library/Caches") if platform.system() == "Darwin"
                         else os.environ.get("XDG_CACHE_HOME") or os.path.expanduser("~/.cache"),
                         "make-bundle")
    cached = os.path.join(cache, "uses-%s.json" % sources_digest(jdk_home, sources, root))
    with contextlib.suppress(OSError, ValueError, TypeError, AttributeError):
        with open(cached, encoding="utf-8") as f:
            analysis = Analysis({}, "")
            analysis.__dict__.update(json.load(f))
        analysis.origins = {c: [os.path.normpath(os.path.join(root, o)) for o in jars]
                            for c, jars in analysis.origins.items()}
        return analysis
    origins = {}
    with tempfile.TemporaryDirectory(prefix="make-bundle-classes.") as work:
        jar = os.path.join(work, "classes.jar")
        if class_jar(sources, jar, origins) == 0:
            return Analysis({}, "")
        out = programs.run_tool([os.path.join(jdk_home, "bin", "jdeps"), "-verbose:class",
                                 "--ignore-missing-deps", jar], "jdeps")
    analysis = Analysis(origins, out)
    analysis.said = programs.last_line(out)
    try:
        os.makedirs(cache, exist_ok=True)
        with tempfile.NamedTemporaryFile("w", dir=cache, delete=False, encoding="utf-8") as f:
            json.dump(dict(analysis.__dict__, origins={
                c: [os.path.relpath(os.path.abspath(o), root) for o in jars]
                for c, jars in analysis.origins.items()}), f)
        os.replace(f.name, cached)
        kept = sorted((os.path.join(cache, n) for n in os.listdir(cache) if n.startswith("uses-")),
                      key=os.path.getmtime)
        for old in kept[:-CACHE_KEPT]:
            os.remove(old)
    except OSError as e:
        note("could not keep the analysis of the classes in %s: %s" % (cached, e.strerror or e))
    return analysis


def resolve(given, analysis):
    """The modules of -m given, "auto" replaced by those of the Analysis that analysis() gives."""
    names = [m for m in given.split(",") if m]
    if AUTO not in names:
        return names
    found = analysis()
    if found.said is None:
        raise Failure("-m auto found no class files among the files for the bundle")
    if not found.modules:
        raise Failure("jdeps printed no modules: " + found.said)
    found = sorted(found.modules)
    chosen = list(dict.fromkeys(m for name in names for m in (found if name == AUTO else [name])))
    note("-m auto chose %s (-m %s pins this choice)" % (",".join(found), ",".join(chosen)))
    return chosen


def missing(text):
    """("class" or "module", name) of what the runtime's words text say is missing, in order."""
    found = sorted((m.start(), kind, m.group(1).decode("ascii").replace("/", ".").rstrip("."))
                   for kind, pattern in MISSING for m in pattern.finditer(text))
    return [(kind, name) for _, kind, name in found]


class JdkImage:
    """The modules and classes of a JDK's module image, as its own jimage lists them."""

    def __init__(self, home):
        self.classes = {}
        self.modules = set()
        out = programs.run_tool([os.path.join(home, "bin", "jimage"), "list",
                                 os.path.join(home, "lib", "modules")], "jimage")
        module = None
        for line in out.splitlines():
            if line.startswith("Module: "):
                module = line[len("Module: "):].strip()
                self.modules.add(module)
            elif module is not None and line.strip().endswith(".class"):
                self.classes[line.strip()[:-len(".class")].replace("/", ".")] = module


def needed(text, image, present):
    """(module, what is missing) of the first module that text shows missing and not present."""
    for kind, name in missing(text):
        module = image.classes.get(name) if kind == "class" else \
            name if name in image.modules else None
        if module is not None and module not in present:
            return module, name if kind == "class" else "the module " + name
    return None
