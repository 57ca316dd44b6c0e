"""Small value types: records the engine hands back and compound settings."""
from __future__ import annotations

import ctypes
import math
from dataclasses import dataclass
from enum import IntEnum
from typing import NamedTuple


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


class Stage(IntEnum):
    """Work reported to a progress callback."""

    LOAD = 1
    RAW_DEVELOP = 2
    PROCESS = 3
    SEGMENT = 4
    EXPORT = 5


class Level(NamedTuple):
    """A straightening proposal of Photo.auto_level: rotation in degrees (-10..10) and confidence 0..1."""

    rotation: float
    confidence: float


@dataclass(frozen=True)
class ExifSummary:
    """Shooting data of a file (the C ExifSummary record). Absent entries are "" / 0 / NaN (GPS)."""

    make: str
    model: str
    lens: str
    focal_length: float  # millimetres
    aperture: float  # f-number
    exposure_time: float  # seconds
    iso: int
    datetime: str  # "YYYY:MM:DD HH:MM:SS"
    width: int  # pixels, as recorded in the file
    height: int
    orientation: int  # EXIF orientation 1..8 (LibRaw flip code for the RAW fallback)
    gps_latitude: float  # degrees, negative in the south; NaN when absent
    gps_longitude: float  # degrees, negative in the west; NaN when absent

    @property
    def has_gps(self) -> bool:
        return not (math.isnan(self.gps_latitude) or math.isnan(self.gps_longitude))

    @classmethod
    def _from_record(cls, rec: ctypes.Structure) -> "ExifSummary":
        def text(raw: bytes) -> str:
            return raw.decode("utf-8", errors="replace")

        return cls(text(rec.make), text(rec.model), text(rec.lens), rec.focal_length, rec.aperture,
                   rec.exposure_time, rec.iso, text(rec.datetime), rec.width, rec.height, rec.orientation,
                   rec.gps_latitude, rec.gps_longitude)


BAND_NAMES = ("red", "orange", "yellow", "green", "aqua", "blue", "purple", "magenta")
CURVE_NAMES = ("master", "red", "green", "blue")

# The 19 settings in the slot order of the auto-enhance record.
AUTO_ENHANCE_SLOTS = (
    "exposure", "brightness", "contrast", "highlights", "shadows", "whites", "blacks", "temperature", "tint",
    "saturation", "vibrance", "sharpening_amount", "sharpening_radius", "sharpening_threshold", "nr_luminance",
    "nr_color", "clarity", "texture", "dehaze",
)
