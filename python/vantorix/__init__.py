"""Vantorix photo development from Python: numpy arrays in and out.

    import vantorix
    with vantorix.open("IMG_0001.CR2", size_level=2) as photo:
        photo.exposure = 0.5
        photo.contrast = 15
        rgba = photo.preview()          # uint8 array, shape (height, width, 4)
        photo.export("out.jpg", quality=90, keep_metadata=True)
    print(vantorix.read_exif("IMG_0001.CR2").model, vantorix.phash("a.jpg"))

The library is looked for at $VANTORIX_LIBRARY, then in the build tree, then
on the system loader path. Engine failures raise vantorix.Error.
"""
from ._lib import Error, has, library_path, version
from ._types import BAND_NAMES, CURVE_NAMES, Crop, CurvePoint, HslBand, Level, SplitTone
from ._photo import HslBands, Photo, ToneCurves, from_array, open
from ._files import extract_thumbnail, hamming, phash, read_exif

TYPE_CHECKING = False  # see _lib
if TYPE_CHECKING:
    from ._records import ExifSummary, Stage
_LAZY = ("ExifSummary", "Stage")  # their modules (dataclasses, enum) are imported when first asked for


def __getattr__(name: str) -> object:
    if name in _LAZY:
        from . import _records

        value = getattr(_records, name)
        globals()[name] = value
        return value
    raise AttributeError(f"module 'vantorix' has no attribute {name!r}")


def __dir__() -> list:
    return sorted(set(globals()) | set(_LAZY))

__all__ = [
    "Error", "Photo", "open", "from_array", "read_exif", "extract_thumbnail", "phash", "hamming", "version", "has",
    "library_path", "ExifSummary", "Crop", "HslBand", "SplitTone", "CurvePoint", "Level", "Stage", "HslBands",
    "ToneCurves", "BAND_NAMES", "CURVE_NAMES",
]
__version__ = "1.0.0"
