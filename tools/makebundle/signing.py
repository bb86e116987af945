"""codesign (macOS): the runtime's code, the launcher, then the bundle, with the entitlements."""

import os

from .programs import run_tool


def is_mach_o(path):
    try:
        with open(path, "rb") as f:
            head = f.read(8)
    except OSError:
        return False
    thin = (b"\xfe\xed\xfa\xce", b"\xfe\xed\xfa\xcf", b"\xce\xfa\xed\xfe", b"\xcf\xfa\xed\xfe")
    # A universal binary; a Java class file shares its magic but has a version >= 45 there.
    universal = head[:4] == b"\xca\xfe\xba\xbe" and int.from_bytes(head[4:], "big") < 45
    return len(head) == 8 and (head[:4] in thin or universal)


def codesign(p, path, entitlements=False):
    command = ["codesign", "--force", "--options", "runtime", "--timestamp"]
    if entitlements:
        command += ["--entitlements", p.o.entitlements]
    run_tool(command + ["--sign", p.o.identity, path], "codesign " + path)


def sign(p):
    runtime = os.path.join(p.bundle, p.layout.runtime_dir)
    for directory, _, names in os.walk(runtime):
        for n in sorted(names):
            path = os.path.join(directory, n)
            if not os.path.islink(path) and is_mach_o(path):
                codesign(p, path)
    codesign(p, p.layout.executable(p.bundle, p.o.name), entitlements=True)
    codesign(p, p.bundle, entitlements=True)
    run_tool(["codesign", "--verify", "--deep", "--strict", p.bundle], "codesign --verify")
