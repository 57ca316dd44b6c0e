"""Small value types: compound settings and the proposals of the automatic tools.

The records that need dataclasses or enum (ExifSummary, Stage) are in _records,
imported on first use.
"""
from __future__ import annotations

from collections import namedtuple

TYPE_CHECKING = False  # see _lib
if TYPE_CHECKING:
    from typing import NamedTuple
else:
    class _NamedTupleMeta(type):
        """Makes ``class C(NamedTuple): x: float = 0.0`` a collections.namedtuple, as typing.NamedTuple
        does, without importing typing (whose import costs more than the rest of the package's)."""

        def __new__(mcs, name: str, bases: tuple, body: dict) -> type:
            fields = tuple(body.get("__annotations__", {}))
            cls = namedtuple(name, fields, defaults=[body[f] for f in fields if f in body], module=body["__module__"])
            for key, value in body.items():
                if key not in fields:
                    setattr(cls, key, value)
            return cls

    NamedTuple = type.__new__(_NamedTupleMeta, "NamedTuple", (), {})


class Crop(NamedTuple):
    """Kept region as fractions: x, w of the width; y, h of the height. w or h <= 0: no crop."""

    x: float = 0.0
    y: float = 0.0
    w: float = 0.0
    h: float = 0.0


class HslBand(NamedTuple):
    """Shifts of one hue band: hue in degrees (-180..180 nominal), saturation and luminance in
    percent (-100..100); all 0 by default."""

    hue: float = 0.0
    saturation: float = 0.0
    luminance: float = 0.0


class SplitTone(NamedTuple):
    """Split-toning colour: hue in degrees (0..360), saturation in percent (0..100); default (0, 0)."""

    hue: float = 0.0
    saturation: float = 0.0


class CurvePoint(NamedTuple):
    """A tone-curve control point, input x and output y, both 0..1."""

    x: float
    y: float


class Level(NamedTuple):
    """A straightening proposal of Photo.auto_level: rotation in degrees (-10..10) and confidence 0..1."""

    rotation: float
    confidence: float


BAND_NAMES = ("red", "orange", "yellow", "green", "aqua", "blue", "purple", "magenta")
CURVE_NAMES = ("master", "red", "green", "blue")

# The 19 settings in the slot order of the auto-enhance record.
AUTO_ENHANCE_SLOTS = (
    "exposure", "brightness", "contrast", "highlights", "shadows", "whites", "blacks", "temperature", "tint",
    "saturation", "vibrance", "sharpening_amount", "sharpening_radius", "sharpening_threshold", "nr_luminance",
    "nr_color", "clarity", "texture", "dehaze",
)
