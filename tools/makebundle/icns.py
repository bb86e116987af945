"""The .icns icon of a PNG or an .iconset: macOS 11 reads PNG data, which goes in unchanged."""

import os
import re
import struct

from .files import read_regular
from .report import Failure

PNG_SIGNATURE = b"\x89PNG\r\n\x1a\n"

# The PNG icon types: (type, pixels, the .iconset file that holds it), in the written order.
TYPES = (
    (b"icp4", 16, "icon_16x16.png"),
    (b"icp5", 32, "icon_32x32.png"),
    (b"ic11", 32, "icon_16x16@2x.png"),
    (b"icp6", 64, None),
    (b"ic12", 64, "icon_32x32@2x.png"),
    (b"ic07", 128, "icon_128x128.png"),
    (b"ic08", 256, "icon_256x256.png"),
    (b"ic13", 256, "icon_128x128@2x.png"),
    (b"ic09", 512, "icon_512x512.png"),
    (b"ic14", 512, "icon_256x256@2x.png"),
    (b"ic10", 1024, "icon_512x512@2x.png"),
)

ICONSET_FILES = {name: (kind, pixels) for kind, pixels, name in TYPES if name}

SIZES = sorted({pixels for _, pixels, _ in TYPES})

# Larger than any icon has reason to be: a file past it is refused before it is read whole.
MAX_PNG_BYTES = 64 * 1024 * 1024


def png_size(data):
    """(width, height) of the PNG data, from its header; None when data is no PNG."""
    if len(data) < 24 or not data.startswith(PNG_SIGNATURE) or data[12:16] != b"IHDR":
        return None
    return struct.unpack(">II", data[16:24])


def png_cut(data):
    """Where the chunks of the PNG data stop holding together; None when they end in IEND."""
    at = len(PNG_SIGNATURE)
    while at + 8 <= len(data):
        length, kind = struct.unpack(">I", data[at:at + 4])[0], data[at + 4:at + 8]
        if at + 12 + length > len(data):
            return "its %s chunk at byte %d runs past the end" % (
                kind.decode("latin-1"), at)
        if kind == b"IEND":
            return None
        at += 12 + length
    return "it ends without an IEND chunk"


def read_png(path):
    try:
        if os.path.getsize(path) > MAX_PNG_BYTES:
            raise Failure("%s is larger than an icon's PNG may be (%d MiB)" %
                          (path, MAX_PNG_BYTES // (1024 * 1024)))
        data = read_regular(path)
    except OSError as e:
        raise Failure("cannot read %s: %s" % (path, e.strerror or e))
    size = png_size(data)
    if size is None:
        raise Failure(path + " is not a PNG file")
    cut = png_cut(data)
    if cut is not None:
        raise Failure("%s is a damaged PNG file: %s" % (path, cut))
    return data, size


def types_of_png(path):
    """The (type, data) pairs of one PNG: every type of its size."""
    data, size = read_png(path)
    if size[0] != size[1] or size[0] not in SIZES:
        raise Failure("%s is %dx%d pixels; an icon's PNG is square, of %s pixels" %
                      ((path,) + size + (", ".join(str(n) for n in SIZES),)))
    return [(kind, data) for kind, pixels, _ in TYPES if pixels == size[0]]


def types_of_iconset(path):
    """The (type, data) pairs of an .iconset folder: one per PNG file, of its name's size."""
    try:
        names = sorted(os.listdir(path))
    except OSError as e:
        raise Failure("cannot read %s: %s" % (path, e.strerror or e))
    found = {}
    for name in names:
        if not name.lower().endswith(".png"):
            continue
        if name not in ICONSET_FILES:
            raise Failure("%s is no file of an .iconset (icon_16x16.png, icon_16x16@2x.png "
                          "... icon_512x512@2x.png)" % os.path.join(path, name))
        kind, pixels = ICONSET_FILES[name]
        file_path = os.path.join(path, name)
        data, size = read_png(file_path)
        if size != (pixels, pixels):
            raise Failure("%s is %dx%d pixels; its name calls for %dx%d" %
                          ((file_path,) + size + (pixels, pixels)))
        found[kind] = data
    if not found:
        raise Failure("%s holds no icon_*.png file" % path)
    return [(kind, found[kind]) for kind, _, _ in TYPES if kind in found]


def icns_from(path):
    """The .icns bytes of the PNG file, .iconset folder or (checked) .icns file at path."""
    if path.lower().endswith(".icns") and not os.path.isdir(path):
        try:
            data = read_regular(path)
        except OSError as e:
            raise Failure("cannot read %s: %s" % (path, e.strerror or e))
        try:
            read(data)
        except Failure as e:
            raise Failure("%s is a damaged .icns file: %s" % (path, e))
        return data
    entries = types_of_iconset(path) if os.path.isdir(path) else types_of_png(path)
    body = b"".join(kind + struct.pack(">I", 8 + len(data)) + data for kind, data in entries)
    return b"icns" + struct.pack(">I", 8 + len(body)) + body


def icns_name(path):
    """The .icns file's name for the source at path: Name.iconset, .png or .icns: Name.icns."""
    base = os.path.basename(os.path.normpath(path))
    return re.sub(r"\.(iconset|png|icns)$", "", base, flags=re.IGNORECASE) + ".icns"


def read(data):
    """The (type, data) entries of the .icns bytes data; Failure when they are not one."""
    if len(data) < 8 or data[:4] != b"icns" or struct.unpack(">I", data[4:8])[0] != len(data):
        raise Failure("not an .icns file (header or length)")
    entries = []
    at = 8
    while at < len(data):
        if at + 8 > len(data):
            raise Failure("an .icns entry header is cut at byte %d" % at)
        kind, length = data[at:at + 4], struct.unpack(">I", data[at + 4:at + 8])[0]
        if length < 8 or at + length > len(data):
            raise Failure("the .icns entry %r at byte %d has a wrong length %d" %
                          (kind, at, length))
        entries.append((kind, data[at + 8:at + length]))
        at += length
    return entries
