"""The class-data archive (-a): one trial run writes it; the check sees its options used."""

import errno
import os
import shlex
import tempfile

from . import jdk, reach, runtime, staging, trial
from .report import Failure, note

# The oldest runtime that writes an archive of the application's classes at exit.
DYNAMIC_ARCHIVE_SINCE = 13

# AOT caches from Java 25 on, once fixed not to serve a changed jar's classes (JDK-8377932).
AOT_CACHE_SINCE = 25
AOT_CACHE_FIXED_IN = (25, 0, 4)
AOT_CACHE_FIXED_SINCE = 27

# Measured: Java 17 uses an archive only where it was made, Java 25 wherever the bundle lies.
ARCHIVE_MOVES_SINCE = 25


def runtime_version(home, linked=None):
    """The version of the runtime of -a (linked: that of its jmods); it must write archives."""
    numbers, early_access = jdk.version(home) if linked is None else \
        jdk.version_numbers(linked, "java.base.jmod")
    if numbers[0] < DYNAMIC_ARCHIVE_SINCE:
        raise Failure("-a needs Java %d or later; %s is Java %d" %
                      (DYNAMIC_ARCHIVE_SINCE, home, numbers[0]))
    return numbers, early_access


def gets_aot_cache(numbers, early_access):
    fixed = numbers[0] >= AOT_CACHE_FIXED_SINCE or numbers[0] == AOT_CACHE_FIXED_IN[0] and \
        numbers + (0, 0) >= AOT_CACHE_FIXED_IN
    return fixed and not early_access


def with_java_options(cfg, options, after):
    """(cfg with options after its line after, else in a new [JavaOptions]; line; count)."""
    added = [b"java-options=" + os.fsencode(option) for option in options]
    if after is not None:
        lines = cfg.split(b"\n")
        return b"\n".join(lines[:after] + added + lines[after:]), after, len(options)
    if cfg and not cfg.endswith(b"\n"):
        cfg += b"\n"
    return cfg + b"[JavaOptions]\n" + b"\n".join(added) + b"\n", cfg.count(b"\n"), len(added) + 1


def archive_kind(p, base, name):
    """The archive's file name, the option that writes it at base and the options that use it."""
    path = base + "/" + name
    # Without logging, an archive that the runtime cannot use (a moved bundle) prints nothing.
    if gets_aot_cache(p.version, p.early_access):
        return (p.o.name + ".aot", "-XX:AOTCacheOutput=" + path + ".aot",
                ["-XX:AOTCache=" + path + ".aot", "-XX:AOTMode=auto", "-Xlog:aot*=off",
                 "-Xlog:cds*=off"])
    return (p.o.name + ".jsa", "-XX:ArchiveClassesAtExit=" + path + ".jsa",
            ["-XX:SharedArchiveFile=" + path + ".jsa", "-Xshare:auto", "-Xlog:cds*=off"])


def place_options(p, cfg_path, cfg, options, expanded):
    """Writes cfg with options after the check's last Java option; one of expanded must show."""
    place = p.checker.launch(p.bundle)["java_options_place"]
    after = None if place is None or place["file"] != cfg_path else place["line"]
    text, line, count = with_java_options(cfg, options, after)
    with open(cfg_path, "wb") as f:
        f.write(text)
    given = [a["value"] for a in (p.checker.launch(p.bundle) or {}).get("command_line", [])
             if a["file"] == cfg_path]
    if not any(all(option in given for option in kind) for kind in expanded):
        raise Failure("the archive's Java options do not reach the launcher's command line "
                      "(applauncher-check --format json " + p.bundle + " shows what does)")
    return line, count


def output_place(outcome, log):
    """Where the trial's output is, for a failure line; a log that a full disk emptied goes."""
    try:
        full = not outcome.output and os.statvfs(os.path.dirname(log)).f_bavail == 0
        if full:
            os.remove(log)
    except OSError:
        full = False
    return "; its output could not be written to %s (%s)" % (log, os.strerror(errno.ENOSPC)) \
        if full else "; its output is in " + log


def trial_failure(p, outcome, log):
    """The one line for a failed trial run: the runtime's words, the first frame, the log."""
    where = output_place(outcome, log)
    lacking = runtime.lacking(p, outcome.output)
    if lacking is not None:
        return lacking + where
    refused = trial.refusal(outcome.output)
    if refused is not None:
        return "the runtime refused the trial run: %s%s%s" % (
            refused, reach.directory_source(p, outcome.output), where)
    frame = trial.first_frame(outcome.output)
    where = (" at " + frame if frame else "") + where
    if outcome.thrown is not None:
        thread = trial.THROWN.match(outcome.thrown).group(1).decode("utf-8", "replace")
        return "the trial run threw %s (in thread \"%s\")%s" % (
            trial.exception(outcome.thrown).decode("utf-8", "replace"), thread, where)
    return "the trial run ended with status %d: %s%s" % (outcome.status,
                                                        trial.complaint(outcome.output), where)


def make(p):
    o = p.o
    app = p.layout.app(p.bundle)
    cfg_path = os.path.join(app, o.name + ".cfg")
    with open(cfg_path, "rb") as f:
        cfg = f.read()
    # The name as a configuration value that expands to itself.
    archive, _, use_options = archive_kind(p, "$APPDIR",
                                           o.name.replace("\\", "\\\\").replace("$", "\\$"))
    # The launcher's $APPDIR: the bundle's path as given, or with its links resolved.
    appdirs = sorted({app, p.layout.app(os.path.realpath(p.bundle))})
    kinds = [archive_kind(p, appdir, o.name) for appdir in appdirs]
    # Only the trial writes the archive, aside: the bundle in place stays the one checked.
    trial_dir = staging.new_staging(p, "trial")
    written = os.path.join(trial_dir, archive)
    log = os.path.join(p.outdir, o.name + ".trial.log")
    note("trial run for the class-data archive, started as a double-click starts it (in /, "
         "launchd's environment) by applauncher-check --run%s, up to %d s (-t); its output goes "
         "to %s" % ("".join(" " + shlex.quote(a) for a in o.trial_args), o.time_limit, log))
    # --trial-home: a new empty HOME, removed with the trial's directory.
    home = tempfile.mkdtemp(prefix="home.", dir=trial_dir) if o.trial_home else None
    outcome = trial.run(p.checker, p.bundle, [archive_kind(p, trial_dir, o.name)[1]],
                        o.time_limit, log, o.idle, o.trial_env, home, o.trial_args)
    # The runtime may refuse to write the archive on the way out of a run that went well.
    if outcome.failed or not os.path.isfile(written) and trial.refusal(outcome.output):
        raise Failure(trial_failure(p, outcome, log))
    if not os.path.isfile(written):
        raise Failure("the trial run wrote no archive" + output_place(outcome, log))
    os.replace(written, os.path.join(app, archive))
    p.cfg_map.added(*place_options(p, cfg_path, cfg, use_options, [k[2] for k in kinds]))
    lacking = runtime.lacking(p, outcome.output)
    if lacking is not None:
        note("the trial run's output says: " + lacking)
    if outcome.ended == "idle":
        note("the trial run was ended after %.0f s, when it had loaded no class for %d s "
             "(--trial-idle)" % (outcome.seconds, o.idle))
    elif outcome.ended:
        note("the trial run was ended after %d s (-t)" % o.time_limit)
    major = p.version[0]
    if archive.endswith(".jsa") and major >= AOT_CACHE_SINCE:
        note("Java %s keeps serving the classes of a changed jar from an AOT cache "
             "(JDK-8377932); the bundle has a dynamic archive, which the runtime checks" %
             ".".join(map(str, p.version)))
    if major < ARCHIVE_MOVES_SINCE:
        note("Java %d uses the archive only while the bundle stays at %s; moved elsewhere, "
             "the application starts without it" % (major, p.bundle))
