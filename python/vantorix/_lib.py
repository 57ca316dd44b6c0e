"""Finding and loading libvantorix, and the C prototypes of its functions.

ctypes.CDLL releases the global interpreter lock for the duration of every
foreign call, so long engine calls (loading, developing, exporting) made from
different threads on different contexts run in parallel.

The package imports only what a load-develop-export script needs (ctypes, os,
collections, numbers): typing, pathlib, dataclasses, enum, json and numpy
together take longer to import than a short script runs, so annotations stay
unevaluated and those modules are imported where they are first used.
"""
from __future__ import annotations

import ctypes
import os

TYPE_CHECKING = False  # typing.TYPE_CHECKING without importing typing; type checkers take it as true
if TYPE_CHECKING:
    from typing import Any, Callable, Dict, List, Sequence, Tuple

__all__ = ["Error", "lib", "has", "library_path", "ExifRecord", "AutoEnhanceRecord", "ProgressFn", "encode_path"]


class Error(RuntimeError):
    """A failure reported by the engine.

    ``message`` is the engine's text (``vantorix_last_error``), ``code`` the
    negative status the C function returned, ``function`` its name.
    """

    def __init__(self, message: str, code: int = -1, function: str = "") -> None:
        super().__init__(message)
        self.message = message
        self.code = code
        self.function = function


class ExifRecord(ctypes.Structure):
    """The C ``ExifSummary`` record."""

    _fields_ = [
        ("make", ctypes.c_char * 64),
        ("model", ctypes.c_char * 64),
        ("lens", ctypes.c_char * 128),
        ("focal_length", ctypes.c_float),
        ("aperture", ctypes.c_float),
        ("exposure_time", ctypes.c_float),
        ("iso", ctypes.c_int32),
        ("datetime", ctypes.c_char * 32),
        ("width", ctypes.c_int32),
        ("height", ctypes.c_int32),
        ("orientation", ctypes.c_int32),
        ("gps_latitude", ctypes.c_double),
        ("gps_longitude", ctypes.c_double),
    ]


class AutoEnhanceRecord(ctypes.Structure):
    """The C ``AutoEnhanceResult`` record."""

    _fields_ = [("slots", ctypes.c_float * 32)]


_ctx = ctypes.c_void_p
_f = ctypes.c_float
_i = ctypes.c_int
_p = ctypes.c_char_p
_fp = ctypes.POINTER(ctypes.c_float)
_u8p = ctypes.POINTER(ctypes.c_uint8)
_u32p = ctypes.POINTER(ctypes.c_uint32)

ProgressFn = ctypes.CFUNCTYPE(ctypes.c_int, ctypes.c_void_p, ctypes.c_int, ctypes.c_float)

# name: (result type, argument types). Functions marked optional are used only
# when the loaded library exports them.
_PROTOTYPES: Dict[str, Tuple[Any, List[Any]]] = {
    "vantorix_version": (_p, []),
    "vantorix_create_context": (_ctx, []),
    "vantorix_destroy_context": (None, [_ctx]),
    "vantorix_last_error": (_p, [_ctx]),
    "vantorix_get_width": (_i, [_ctx]),
    "vantorix_get_height": (_i, [_ctx]),
    "vantorix_set_crop": (None, [_ctx, _f, _f, _f, _f]),
    "vantorix_set_hsl": (None, [_ctx, _i, _f, _f, _f]),
    "vantorix_set_split_toning": (None, [_ctx, _i, _f, _f, _f]),
    "vantorix_set_tone_curve": (None, [_ctx, _i, _fp, _i]),
    "vantorix_reset_tone_curve": (None, [_ctx, _i]),
    "vantorix_reset_adjustments": (None, [_ctx]),
    "vantorix_set_bg_blur": (None, [_ctx, _f]),
    "vantorix_load_arw": (_i, [_ctx, _p, _i]),
    "vantorix_unload": (None, [_ctx]),
    "vantorix_process": (_i, [_ctx]),
    "vantorix_get_preview": (_i, [_ctx, ctypes.c_void_p, _i]),
    "vantorix_get_histogram": (_i, [_ctx, _u32p, _u32p, _u32p, _u32p]),
    "vantorix_export_jpeg": (_i, [_ctx, _p, _i, _i, _i]),
    "vantorix_export_png": (_i, [_ctx, _p, _i]),
    "vantorix_export_tiff": (_i, [_ctx, _p]),
    "vantorix_get_exif": (_i, [_ctx, ctypes.POINTER(ExifRecord)]),
    "vantorix_extract_thumbnail": (_i, [_p, ctypes.POINTER(_u8p), ctypes.POINTER(ctypes.c_uint32)]),
    "vantorix_free_thumb": (None, [_u8p]),
    "vantorix_phash": (_i, [_p, ctypes.POINTER(ctypes.c_uint64)]),
    "vantorix_auto_exposure": (_i, [_ctx, _fp]),
    "vantorix_auto_white_balance": (_i, [_ctx, _fp, _fp]),
    "vantorix_auto_enhance": (_i, [_ctx, ctypes.POINTER(AutoEnhanceRecord)]),
    "vantorix_auto_straighten": (_i, [_ctx, _fp]),
    "vantorix_auto_crop": (_i, [_ctx, _fp, _fp, _fp, _fp]),
    "vantorix_segment_subject": (_i, [_ctx, _f, _f]),
    "vantorix_get_mask": (_i, [_ctx, ctypes.c_void_p, _i]),
    "vantorix_export_subject_png": (_i, [_ctx, _p]),
    # Newer functions: optional.
    "vantorix_load_pixels": (_i, [_ctx, ctypes.c_void_p, _i, _i, _i, _i, _i]),
    "vantorix_read_exif": (_i, [_p, ctypes.POINTER(ExifRecord)]),
    "vantorix_get_settings_json": (_i, [_ctx, ctypes.c_char_p, _i]),
    "vantorix_set_settings_json": (_i, [_ctx, _p]),
    "vantorix_set_progress_callback": (_i, [_ctx, ProgressFn, ctypes.c_void_p]),
    "vantorix_auto_level": (_i, [_ctx, _fp, _fp]),
    "vantorix_segment_subject_auto": (_i, [_ctx]),
    "vantorix_segment_subject_box": (_i, [_ctx, _f, _f, _f, _f]),
}
_OPTIONAL = {
    "vantorix_load_pixels", "vantorix_read_exif", "vantorix_get_settings_json", "vantorix_set_settings_json",
    "vantorix_set_progress_callback", "vantorix_auto_level", "vantorix_segment_subject_auto",
    "vantorix_segment_subject_box",
}
# The single-value setters: (float or int argument).
SCALAR_SETTERS: Tuple[str, ...] = (
    "exposure", "brightness", "contrast", "highlights", "shadows", "whites", "blacks", "temperature", "tint",
    "saturation", "vibrance", "sharpening_amount", "sharpening_radius", "sharpening_threshold", "nr_luminance",
    "nr_color", "clarity", "texture", "dehaze", "distortion", "ca_correction", "lens_vignette", "defringe",
    "rotation", "perspective_h", "perspective_v", "flip_h", "flip_v", "vignette_amount", "vignette_midpoint",
    "vignette_roundness", "grain_amount", "grain_size",
)
for _name in SCALAR_SETTERS:
    _PROTOTYPES["vantorix_set_" + _name] = (None, [_ctx, _i if _name.startswith("flip_") else _f])


def _candidates() -> List[str]:
    """Where the library is looked for, in order."""
    found: List[str] = []
    env = os.environ.get("VANTORIX_LIBRARY")
    if env:
        found.append(env)
    checkout = os.path.dirname(os.path.dirname(os.path.dirname(os.path.realpath(__file__))))
    for root in (checkout, os.getcwd()):  # the checkout this package lives in, then the current one
        for build in ("build", "build-release", "build-asan"):
            found.append(os.path.join(root, build, "libvantorix.so"))
    found.append("libvantorix.so.1")  # the system loader path (after `cmake --install`)
    found.append("libvantorix.so")
    return list(dict.fromkeys(found))


def _load() -> Tuple[ctypes.CDLL, str]:
    tried: List[str] = []
    for candidate in _candidates():
        is_file = os.sep in candidate
        if is_file and not os.path.isfile(candidate):
            tried.append(f"{candidate} (no such file)")
            continue
        try:
            return ctypes.CDLL(candidate), candidate
        except OSError as exc:
            tried.append(f"{candidate} ({exc})")
    raise ImportError(
        "vantorix: cannot load libvantorix; set VANTORIX_LIBRARY to its path. Tried:\n  " + "\n  ".join(tried)
    )


lib, library_path = _load()
_available = set()
for _name, (_res, _args) in _PROTOTYPES.items():
    try:
        _fn = getattr(lib, _name)
    except AttributeError:
        if _name in _OPTIONAL:
            continue
        raise ImportError(f"vantorix: {library_path} lacks {_name}; is it an older build?") from None
    _fn.restype = _res
    _fn.argtypes = _args
    _available.add(_name)


def has(name: str) -> bool:
    """True when the loaded library exports ``vantorix_<name>``."""
    return ("vantorix_" + name) in _available


def require(name: str) -> Callable[..., Any]:
    """The C function ``vantorix_<name>``, or NotImplementedError naming the library."""
    if not has(name):
        raise NotImplementedError(f"vantorix_{name} is not in {library_path}; a newer libvantorix is needed")
    fn: Callable[..., Any] = getattr(lib, "vantorix_" + name)
    return fn


def encode_path(path: Any, must_exist: bool = True) -> bytes:
    """A path as the bytes the engine expects; TypeError / FileNotFoundError before any call."""
    if not isinstance(path, (str, bytes, os.PathLike)):
        raise TypeError(f"path must be str, bytes or os.PathLike, not {type(path).__name__}")
    raw = os.fsencode(path)
    if b"\0" in raw:
        raise ValueError("path contains a NUL byte")
    if must_exist and not os.path.isfile(raw):
        raise FileNotFoundError(2, "No such file (or not a regular file)", os.fsdecode(raw))
    return raw


def check_floats(values: Sequence[Any], what: str) -> List[float]:
    """Every value a real number (int, float, bool, numpy scalar; not str), as float."""
    out = []
    for v in values:
        if isinstance(v, (str, bytes)) or not hasattr(v, "__float__"):
            raise TypeError(f"{what} must be a number, not {type(v).__name__}")
        out.append(float(v))
    return out


def version() -> str:
    """The engine version text, e.g. "1.0.0"."""
    text: bytes = lib.vantorix_version()
    return text.decode()
