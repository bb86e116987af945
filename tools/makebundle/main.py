"""make-bundle put together: options, plan, the bundle built aside, the steps at its place."""

import os
import shutil
import signal
import sys

from . import archive, dittozip, modules, options, reach, runtime, signing, staging, verdict
from .files import copy_file, copy_followed, copy_keeping_links
from .icns import icns_name
from .plan import plan
from .programs import ENDING_SIGNALS, SIGNALS
from .report import Failure, Interrupted, UsageError, fail, failure_text, note, result


def build(p, stage):
    o = p.o
    executable = p.layout.executable(stage, o.name)
    app = p.layout.app(stage)
    os.makedirs(os.path.dirname(executable))
    os.makedirs(app)
    copy_file(o.launcher, executable)
    os.chmod(executable, 0o755)
    with open(os.path.join(stage, "Contents", "Info.plist"), "wb") as f:
        f.write(p.info_bytes)
    with open(os.path.join(stage, "Contents", "PkgInfo"), "w") as f:
        f.write("APPL????")
    if o.icon is not None:
        os.makedirs(os.path.join(stage, "Contents", "Resources"))
        icon = os.path.join(stage, "Contents", "Resources", icns_name(o.icon))
        with open(icon, "wb") as f:
            f.write(p.icon_data)
    shutil.copyfile(o.cfg, os.path.join(app, o.name + ".cfg"))
    copy = copy_keeping_links if o.keep_links else copy_followed
    for source, target in p.copies:
        copy(source, os.path.join(app, target))
    reach.settle(p, stage)
    if o.modules is not None:
        p.modules = modules.resolve(o.modules, lambda: reach.analysis(p, stage))
    runtime.put(p, stage)
    reach.judge(p, stage)
    # Only a checked bundle takes its place: a run killed at any moment leaves one or the old.
    verdict.verify(p, stage)


def finish(p):
    """The steps that need the bundle at its final path; the zip waits beside its place."""
    if p.o.archive:
        archive.make(p)
        # The bundle as it ships, with the archive's options in its configuration.
        verdict.verify(p)
    if p.o.identity is not None:
        signing.sign(p)
    if p.o.zip:
        SIGNALS.check()
        p.zip_temporary = dittozip.write_temporary(p.bundle, p.zip)


def main(argv):
    SIGNALS.__init__()
    previous = {}
    for signum in ENDING_SIGNALS:
        # A signal that the caller ignores (nohup, a background job) stays ignored.
        if signal.getsignal(signum) is not signal.SIG_IGN:
            previous[signum] = signal.signal(signum, SIGNALS.handler)
    p = None
    try:
        o = options.parse(argv)
        if o.help:
            sys.stdout.write(options.parser().format_help())
            return 0
        if o.show_version:
            result("make-bundle " + options.version())
            return 0
        p = plan(o)
        staging.make(p, build, finish)
        if p.zip_temporary is not None:
            try:
                os.replace(p.zip_temporary, p.zip)
            except OSError as e:
                raise Failure("the bundle is made, but its zip is not: cannot write %s: %s" %
                              (p.zip, e.strerror or e))
            p.zip_temporary = None
            note("wrote " + p.zip)
    except UsageError as e:
        fail(str(e))
        return 2
    except (Failure, OSError, shutil.Error, Interrupted) as e:
        text = failure_text(e)
        fail(staging.shown(p, text) if p is not None else text)
        return 1
    finally:
        for signum, handler in previous.items():
            signal.signal(signum, handler)
        if p is not None and p.zip_temporary is not None:
            dittozip.remove_quietly(p.zip_temporary)
    result(p.bundle)
    return 0
