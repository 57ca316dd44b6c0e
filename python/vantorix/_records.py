"""The records whose machinery (dataclasses, enum) is imported on first use: vantorix.ExifSummary and
vantorix.Stage are looked up here when a script first reads them."""
from __future__ import annotations

import ctypes
import math
from dataclasses import dataclass
from enum import IntEnum


class Stage(IntEnum):
    """Work reported to a progress callback."""

    LOAD = 1
    RAW_DEVELOP = 2
    PROCESS = 3
    SEGMENT = 4
    EXPORT = 5


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
