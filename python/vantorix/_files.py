"""Functions on files that need no Photo."""
from __future__ import annotations

import ctypes

from . import _lib
from ._lib import Error, encode_path, lib

TYPE_CHECKING = False  # see _lib
if TYPE_CHECKING:
    from typing import Any

    from ._records import ExifSummary

_THUMB_ERRORS = {
    -1: "the image cannot be read, or LibRaw cannot open the file",
    -2: "no embedded thumbnail could be unpacked",
    -3: "the thumbnail could not be produced",
    -4: "out of memory",
}
_PHASH_ERRORS = {
    -1: "the image cannot be read, or LibRaw cannot open the file",
    -2: "no embedded thumbnail",
    -3: "no thumbnail in memory",
    -4: "the thumbnail decodes to nothing",
}


def read_exif(path: Any) -> ExifSummary:
    """Shooting data of a file (make, model, lens, focal length, ...), from its EXIF block or, for a RAW
    file without one, from what LibRaw reports."""
    from ._records import ExifSummary

    raw = encode_path(path)
    rec = _lib.ExifRecord()
    if _lib.has("read_exif"):
        rc = lib.vantorix_read_exif(raw, ctypes.byref(rec))
        if rc < 0:
            raise Error(f"cannot read the shooting data of {path!s} (status {rc})", rc, "vantorix_read_exif")
        return ExifSummary._from_record(rec)
    # Older libraries: load the file into a temporary context (quarter size, as `vantorix info` does).
    ctx = lib.vantorix_create_context()
    if not ctx:
        raise MemoryError("vantorix_create_context failed")
    try:
        for function, rc in (("vantorix_load_arw", lambda: lib.vantorix_load_arw(ctx, raw, 4)),
                             ("vantorix_get_exif", lambda: lib.vantorix_get_exif(ctx, ctypes.byref(rec)))):
            status = rc()
            if status < 0:
                raise Error(lib.vantorix_last_error(ctx).decode("utf-8", "replace"), status, function)
    finally:
        lib.vantorix_destroy_context(ctx)
    return ExifSummary._from_record(rec)


def extract_thumbnail(path: Any) -> bytes:
    """A small JPEG of a file: a RAW file's embedded thumbnail, or an ordinary image reduced to 160 pixels."""
    raw = encode_path(path)
    data = ctypes.POINTER(ctypes.c_uint8)()
    size = ctypes.c_uint32()
    rc = lib.vantorix_extract_thumbnail(raw, ctypes.byref(data), ctypes.byref(size))
    try:
        if rc < 0:
            reason = _THUMB_ERRORS.get(rc, "unknown failure")
            raise Error(f"no thumbnail for {path!s}: {reason}", rc, "vantorix_extract_thumbnail")
        return ctypes.string_at(data, size.value)
    finally:
        lib.vantorix_free_thumb(data)


def phash(path: Any) -> int:
    """64-bit perceptual hash of an image file (compare with ``bin(a ^ b).count("1")``)."""
    raw = encode_path(path)
    out = ctypes.c_uint64()
    rc = lib.vantorix_phash(raw, ctypes.byref(out))
    if rc < 0:
        raise Error(f"cannot hash {path!s}: {_PHASH_ERRORS.get(rc, 'unknown failure')}", rc, "vantorix_phash")
    return out.value


def hamming(a: int, b: int) -> int:
    """Number of differing bits of two hashes."""
    return bin((a ^ b) & 0xFFFFFFFFFFFFFFFF).count("1")
