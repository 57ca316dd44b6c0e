"""Photo: one engine context holding one photograph and its development settings."""
from __future__ import annotations

import ctypes
import numbers
import os
import sys
from _thread import RLock  # threading.RLock itself, without the import of threading
from collections.abc import MutableMapping, Sequence

from . import _lib
from ._lib import Error, encode_path, check_floats, lib
from ._settings import SCALARS
from ._types import AUTO_ENHANCE_SLOTS, BAND_NAMES, CURVE_NAMES, Crop, CurvePoint, HslBand, Level, SplitTone

TYPE_CHECKING = False  # see _lib
if TYPE_CHECKING:
    from typing import Any, Callable, Dict, Iterator, List, Optional, Tuple, Union

    import numpy as np
    import numpy.typing as npt

    from ._records import ExifSummary

    PathLike = Union[str, bytes, "os.PathLike[str]", "os.PathLike[bytes]"]
    ProgressCallback = Callable[[int, float], Any]  # (Stage, fraction) -> true to cancel
    _BandMapping = MutableMapping[Union[str, int], HslBand]
    _CurveMapping = MutableMapping[Union[str, int], Tuple[CurvePoint, ...]]
else:
    _BandMapping = _CurveMapping = MutableMapping

    class _Numpy:
        """numpy, imported on first use: a script that only loads, develops and exports starts faster."""

        def __getattr__(self, name: str) -> Any:
            import numpy

            globals()["np"] = numpy
            return getattr(numpy, name)

    np = _Numpy()


def _f32(value: float) -> float:
    """The value as the engine stores it: rounded to a 32-bit float."""
    return ctypes.c_float(value).value


def _is_int(value: Any) -> bool:
    """An int or numpy integer, not a bool."""
    return isinstance(value, numbers.Integral) and not isinstance(value, bool)


def _is_flag(value: Any) -> bool:
    """A bool, an int, or a numpy bool or integer."""
    numpy = sys.modules.get("numpy")  # a numpy bool exists only once numpy is imported
    return isinstance(value, numbers.Integral) or (numpy is not None and isinstance(value, numpy.bool_))


def _index(key: Any, names: Tuple[str, ...], what: str) -> int:
    if isinstance(key, str):
        try:
            return names.index(key.lower())
        except ValueError:
            raise KeyError(f"{what} must be one of {', '.join(names)}, not {key!r}") from None
    if not _is_int(key):
        raise TypeError(f"{what} must be a name or an index, not {type(key).__name__}")
    if not 0 <= int(key) < len(names):
        raise KeyError(f"{what} index must be 0..{len(names) - 1}, not {key}")
    return int(key)


class _Scalar:
    """A single-value setting: stored by ``vantorix_set_<name>``, read back from the photo's record."""

    def __init__(self, name: str) -> None:
        self.name = name
        self.default, self.__doc__ = SCALARS[name]
        self.is_flag = isinstance(self.default, bool)
        self.setter = getattr(lib, "vantorix_set_" + name)

    def __get__(self, photo: Optional["Photo"], owner: type) -> Any:
        if photo is None:
            return self
        return photo._values[self.name]

    def __set__(self, photo: "Photo", value: Any) -> None:
        if self.is_flag:
            if not _is_flag(value):
                raise TypeError(f"{self.name} must be a bool, not {type(value).__name__}")
            stored: Any = bool(value)
        else:
            stored = _f32(check_floats([value], self.name)[0])
        with photo._engine():
            self.setter(photo._ctx, int(stored) if self.is_flag else stored)
        photo._values[self.name] = stored


class HslBands(_BandMapping):
    """The eight HSL bands by name ("red", "orange", "yellow", "green", "aqua", "blue", "purple", "magenta")
    or index 0..7. Assign an HslBand or a (hue, saturation, luminance) sequence; del resets a band."""

    def __init__(self, photo: "Photo") -> None:
        self._photo = photo

    def __getitem__(self, key: Union[str, int]) -> HslBand:
        return self._photo._hsl[_index(key, BAND_NAMES, "band")]

    def __setitem__(self, key: Union[str, int], value: Sequence[float]) -> None:
        band = _index(key, BAND_NAMES, "band")
        if isinstance(value, (str, bytes)) or not isinstance(value, Sequence) or len(value) != 3:
            raise TypeError("an HSL band is a (hue, saturation, luminance) sequence")
        h, s, lum = (_f32(v) for v in check_floats(value, "HSL shift"))
        with self._photo._engine():
            lib.vantorix_set_hsl(self._photo._ctx, band, h, s, lum)
        self._photo._hsl[band] = HslBand(h, s, lum)

    def __delitem__(self, key: Union[str, int]) -> None:
        self[key] = HslBand()

    def __iter__(self) -> Iterator[str]:
        return iter(BAND_NAMES)

    def __len__(self) -> int:
        return len(BAND_NAMES)

    def __repr__(self) -> str:
        return "HslBands({" + ", ".join(f"{n!r}: {tuple(self[n])}" for n in BAND_NAMES) + "})"


class ToneCurves(_CurveMapping):
    """The tone curves "master", "red", "green", "blue" (or 0..3), each a sequence of (x, y) points in
    0..1 (at least 2; stored in the given order). Default: (0, 0), (1, 1). del resets a curve."""

    def __init__(self, photo: "Photo") -> None:
        self._photo = photo

    def __getitem__(self, key: Union[str, int]) -> Tuple[CurvePoint, ...]:
        return self._photo._curves[_index(key, CURVE_NAMES, "curve")]

    def __setitem__(self, key: Union[str, int], points: Any) -> None:
        channel = _index(key, CURVE_NAMES, "curve")
        if hasattr(points, "tolist"):  # a numpy array
            points = points.tolist()
        if isinstance(points, (str, bytes)) or not isinstance(points, Sequence):
            raise TypeError("a tone curve is a sequence of (x, y) points")
        flat: List[float] = []
        for point in points:
            if isinstance(point, (str, bytes)) or not isinstance(point, Sequence) or len(point) != 2:
                raise TypeError("each tone-curve point is an (x, y) pair")
            flat.extend(_f32(v) for v in check_floats(point, "curve coordinate"))
        if len(flat) < 4:
            raise ValueError("a tone curve needs at least 2 points")
        array = (ctypes.c_float * len(flat))(*flat)
        with self._photo._engine():
            lib.vantorix_set_tone_curve(self._photo._ctx, channel, array, len(flat) // 2)
        self._photo._curves[channel] = tuple(CurvePoint(flat[i], flat[i + 1]) for i in range(0, len(flat), 2))

    def __delitem__(self, key: Union[str, int]) -> None:
        channel = _index(key, CURVE_NAMES, "curve")
        with self._photo._engine():
            lib.vantorix_reset_tone_curve(self._photo._ctx, channel)
        self._photo._curves[channel] = _DEFAULT_CURVE

    def __iter__(self) -> Iterator[str]:
        return iter(CURVE_NAMES)

    def __len__(self) -> int:
        return len(CURVE_NAMES)

    def __repr__(self) -> str:
        return "ToneCurves({" + ", ".join(f"{n!r}: {[tuple(p) for p in self[n]]}" for n in CURVE_NAMES) + "})"


_DEFAULT_CURVE = (CurvePoint(0.0, 0.0), CurvePoint(1.0, 1.0))


class Photo:
    """One engine context: load a photograph, change its settings, read pixels, export.

    Every development setting is a property named like its C setter, with the
    engine's units and defaults (see each property's documentation). Setting a
    property stores the value only; ``preview()``, ``histograms()``,
    ``process()`` and the exports develop with the current settings.
    A Photo is used by one thread at a time (calls from several threads are
    serialised); use one Photo per thread to develop in parallel.
    """

    def __init__(self) -> None:
        self._ctx: Optional[int] = lib.vantorix_create_context()
        if not self._ctx:
            raise MemoryError("vantorix_create_context failed")
        self._lock = RLock()
        self._busy = False
        self._loaded_size = (0, 0)
        self._mask_size: Optional[Tuple[int, int]] = None
        self._progress: Optional[Tuple[ProgressCallback, Any]] = None
        self._callback_error: Optional[BaseException] = None
        self._bg_blur = 0.0
        self._reset_mirror()

    # ---- lifecycle -----------------------------------------------------------------------------------------
    def close(self) -> None:
        """Releases the engine context; further use raises ValueError. Called by ``with`` on exit."""
        with self._lock:
            if self._busy:
                raise RuntimeError("a progress callback must not close its photo")
            ctx, self._ctx = self._ctx, None
            if ctx:
                lib.vantorix_destroy_context(ctx)

    @property
    def closed(self) -> bool:
        return self._ctx is None

    def __enter__(self) -> "Photo":
        return self

    def __exit__(self, *exc: Any) -> None:
        self.close()

    def __del__(self) -> None:
        ctx = getattr(self, "_ctx", None)
        if ctx and lib is not None:  # module globals may already be gone at interpreter exit
            lib.vantorix_destroy_context(ctx)
            self._ctx = None

    def __repr__(self) -> str:
        if self._ctx is None:
            return "<vantorix.Photo closed>"
        return f"<vantorix.Photo {self.width}x{self.height}>"

    # ---- engine calls --------------------------------------------------------------------------------------
    class _Call:
        def __init__(self, photo: "Photo") -> None:
            self.photo = photo

        def __enter__(self) -> None:
            photo = self.photo
            photo._lock.acquire()
            if photo._busy:
                photo._lock.release()
                raise RuntimeError("a progress callback must not use the photo it reports on")
            if photo._ctx is None:
                photo._lock.release()
                raise ValueError("the photo is closed")
            photo._busy = True

        def __exit__(self, *exc: Any) -> None:
            self.photo._busy = False
            self.photo._lock.release()

    def _engine(self) -> "Photo._Call":
        return Photo._Call(self)

    def _check(self, rc: int, function: str) -> int:
        """Raises Error with the engine's message for a negative status; re-raises a callback's exception."""
        if self._callback_error is not None:
            error, self._callback_error = self._callback_error, None
            raise error
        if rc < 0:
            message = lib.vantorix_last_error(self._ctx).decode("utf-8", errors="replace")
            raise Error(message or f"{function} failed with status {rc}", rc, function)
        return rc

    def _reset_mirror(self) -> None:
        self._values: Dict[str, Any] = {name: default for name, (default, _) in SCALARS.items()}
        self._hsl: List[HslBand] = [HslBand()] * 8
        self._curves: List[Tuple[CurvePoint, ...]] = [_DEFAULT_CURVE] * 4
        self._crop = Crop()
        self._split = [SplitTone(), SplitTone()]
        self._split_balance = 0.0

    # ---- loading -------------------------------------------------------------------------------------------
    def load(self, path: PathLike, size_level: int = 2) -> "Photo":
        """Loads a file: JPEG, PNG, TIFF, BMP, WebP (reduced to 4096 pixels on the longer side) or a camera
        RAW file developed at size_level 1 (full) .. 4 (quarter), at most 2000 pixels. Settings return to
        their defaults. A failed load keeps the earlier image and settings. Returns self."""
        if not _is_int(size_level):
            raise TypeError(f"size_level must be an int 1..4, not {type(size_level).__name__}")
        raw = encode_path(path)
        with self._engine():
            self._check(lib.vantorix_load_arw(self._ctx, raw, int(size_level)), "vantorix_load_arw")
            self._after_load()
        return self

    def load_array(self, pixels: "npt.NDArray[Any]") -> "Photo":
        """Loads an image from memory: a uint8 or uint16 array of shape (height, width, 3) RGB or
        (height, width, 4) RGBA (alpha is not kept). It becomes the working image as a decoded file does:
        reduced to 4096 pixels on the longer side, 8-bit samples widened by 257 (so a uint8 array gives
        exactly what the same pixels saved as PNG give), 16-bit samples kept. Settings return to their
        defaults; the photo then has no file, so exif() fails. Returns self."""
        load = _lib.require("load_pixels")
        if not isinstance(pixels, np.ndarray):
            raise TypeError(f"pixels must be a numpy array, not {type(pixels).__name__}")
        if pixels.dtype.kind != "u" or pixels.dtype.itemsize not in (1, 2):
            raise TypeError(f"pixels must be uint8 or uint16, not {pixels.dtype}")
        if pixels.ndim != 3 or pixels.shape[2] not in (3, 4):
            raise ValueError(f"pixels must have shape (height, width, 3 or 4), not {pixels.shape}")
        item = pixels.dtype.itemsize
        channels = pixels.shape[2]
        # Rows may be apart (a crop of a bigger array); pixels within a row must be packed, native order.
        if (pixels.strides[2] != item or pixels.strides[1] != item * channels or pixels.strides[0] <= 0
                or not pixels.dtype.isnative):
            pixels = np.ascontiguousarray(pixels, dtype=pixels.dtype.newbyteorder("="))
        height, width = pixels.shape[:2]
        with self._engine():
            rc = load(self._ctx, pixels.ctypes.data, width, height, channels, 8 * item, pixels.strides[0])
            self._check(rc, "vantorix_load_pixels")
            self._after_load()
        return self

    def _after_load(self) -> None:
        self._reset_mirror()
        self._loaded_size = (lib.vantorix_get_width(self._ctx), lib.vantorix_get_height(self._ctx))

    def unload(self) -> None:
        """Empties the photo (the settings stay)."""
        with self._engine():
            lib.vantorix_unload(self._ctx)
        self._loaded_size = (0, 0)

    @property
    def width(self) -> int:
        """Width of the last development while it is current (after a crop it is smaller), else of the
        loaded image; 0 when empty."""
        with self._engine():
            return int(lib.vantorix_get_width(self._ctx))

    @property
    def height(self) -> int:
        """Height, chosen like width."""
        with self._engine():
            return int(lib.vantorix_get_height(self._ctx))

    # ---- settings ------------------------------------------------------------------------------------------
    exposure = _Scalar("exposure")
    brightness = _Scalar("brightness")
    contrast = _Scalar("contrast")
    highlights = _Scalar("highlights")
    shadows = _Scalar("shadows")
    whites = _Scalar("whites")
    blacks = _Scalar("blacks")
    temperature = _Scalar("temperature")
    tint = _Scalar("tint")
    saturation = _Scalar("saturation")
    vibrance = _Scalar("vibrance")
    sharpening_amount = _Scalar("sharpening_amount")
    sharpening_radius = _Scalar("sharpening_radius")
    sharpening_threshold = _Scalar("sharpening_threshold")
    nr_luminance = _Scalar("nr_luminance")
    nr_color = _Scalar("nr_color")
    clarity = _Scalar("clarity")
    texture = _Scalar("texture")
    dehaze = _Scalar("dehaze")
    distortion = _Scalar("distortion")
    ca_correction = _Scalar("ca_correction")
    lens_vignette = _Scalar("lens_vignette")
    defringe = _Scalar("defringe")
    rotation = _Scalar("rotation")
    perspective_h = _Scalar("perspective_h")
    perspective_v = _Scalar("perspective_v")
    flip_h = _Scalar("flip_h")
    flip_v = _Scalar("flip_v")
    vignette_amount = _Scalar("vignette_amount")
    vignette_midpoint = _Scalar("vignette_midpoint")
    vignette_roundness = _Scalar("vignette_roundness")
    grain_amount = _Scalar("grain_amount")
    grain_size = _Scalar("grain_size")

    @property
    def crop(self) -> Crop:
        """Kept region Crop(x, y, w, h) as fractions of the width (x, w) and height (y, h); w or h <= 0 (the
        default Crop(0, 0, 0, 0)) or None means no crop. A crop of 10 pixels or fewer is ignored."""
        return self._crop

    @crop.setter
    def crop(self, value: Optional[Sequence[float]]) -> None:
        if value is None:
            value = Crop()
        if isinstance(value, (str, bytes)) or not isinstance(value, Sequence) or len(value) != 4:
            raise TypeError("crop is an (x, y, w, h) sequence or None")
        x, y, w, h = (_f32(v) for v in check_floats(value, "crop"))
        with self._engine():
            lib.vantorix_set_crop(self._ctx, x, y, w, h)
        self._crop = Crop(x, y, w, h)

    @property
    def hsl(self) -> HslBands:
        """The eight HSL bands: ``photo.hsl["red"] = (hue_degrees, saturation_percent, luminance_percent)``."""
        return HslBands(self)

    @property
    def curves(self) -> ToneCurves:
        """The tone curves: ``photo.curves["master"] = [(0, 0), (0.5, 0.6), (1, 1)]``."""
        return ToneCurves(self)

    def _set_split(self, which: int, tone: Any, balance: Optional[float] = None) -> None:
        if isinstance(tone, (str, bytes)) or not isinstance(tone, Sequence) or len(tone) != 2:
            raise TypeError("a split tone is a (hue, saturation) sequence")
        hue, sat = (_f32(v) for v in check_floats(tone, "split tone"))
        bal = self._split_balance if balance is None else _f32(check_floats([balance], "split_balance")[0])
        with self._engine():
            lib.vantorix_set_split_toning(self._ctx, which, hue, sat, bal)
        self._split[which] = SplitTone(hue, sat)
        if which == 0:
            self._split_balance = bal

    @property
    def split_highlights(self) -> SplitTone:
        """Split-toning colour of the highlights: SplitTone(hue degrees 0..360, saturation percent 0..100),
        default (0, 0)."""
        return self._split[0]

    @split_highlights.setter
    def split_highlights(self, tone: Sequence[float]) -> None:
        self._set_split(0, tone)

    @property
    def split_shadows(self) -> SplitTone:
        """Split-toning colour of the shadows: SplitTone(hue degrees, saturation percent), default (0, 0)."""
        return self._split[1]

    @split_shadows.setter
    def split_shadows(self, tone: Sequence[float]) -> None:
        self._set_split(1, tone)

    @property
    def split_balance(self) -> float:
        """Balance between the split-toning colours, -100 (shadows) ..100 (highlights), default 0."""
        return self._split_balance

    @split_balance.setter
    def split_balance(self, value: float) -> None:
        self._set_split(0, self._split[0], value)

    @property
    def bg_blur(self) -> float:
        """Background blur of the preview behind a segmented subject, 0..100 (clamped), default 0."""
        return self._bg_blur

    @bg_blur.setter
    def bg_blur(self, value: float) -> None:
        amount = _f32(check_floats([value], "bg_blur")[0])
        with self._engine():
            lib.vantorix_set_bg_blur(self._ctx, amount)
        self._bg_blur = 100.0 if amount != amount else min(max(amount, 0.0), 100.0)

    def update(self, **settings: Any) -> None:
        """Sets several settings by name, e.g. ``photo.update(exposure=0.5, contrast=15)``."""
        for name, value in settings.items():
            if name not in _SETTABLE:
                raise AttributeError(f"no setting named {name!r}")
            setattr(self, name, value)

    def reset(self) -> None:
        """Restores every development setting to its default (not bg_blur, which is not a setting of the
        record)."""
        with self._engine():
            lib.vantorix_reset_adjustments(self._ctx)
        self._reset_mirror()

    def settings(self) -> Dict[str, Any]:
        """All development settings as a dict of plain values (crop, hsl, curves and split toning as named
        tuples), readable without the engine."""
        out: Dict[str, Any] = dict(self._values)
        out.update(crop=self._crop, hsl=dict(zip(BAND_NAMES, self._hsl)), curves=dict(zip(CURVE_NAMES, self._curves)),
                   split_highlights=self._split[0], split_shadows=self._split[1], split_balance=self._split_balance,
                   bg_blur=self._bg_blur)
        return out

    @property
    def settings_json(self) -> str:
        """The settings as the engine's JSON document (needs vantorix_get_settings_json). Assigning a
        document replaces every setting (keys left out take their defaults); a refused document raises
        Error and changes nothing."""
        get = _lib.require("get_settings_json")
        with self._engine():
            size = self._check(get(self._ctx, None, 0), "vantorix_get_settings_json")
            buf = ctypes.create_string_buffer(size + 1)
            self._check(get(self._ctx, buf, size + 1), "vantorix_get_settings_json")
        return buf.value.decode("utf-8")

    @settings_json.setter
    def settings_json(self, document: str) -> None:
        put = _lib.require("set_settings_json")
        if not isinstance(document, str):
            raise TypeError(f"a settings document is a str, not {type(document).__name__}")
        with self._engine():
            self._check(put(self._ctx, document.encode("utf-8")), "vantorix_set_settings_json")
        self._mirror_from_json(self.settings_json)

    def _mirror_from_json(self, document: str) -> None:
        import json

        s = json.loads(document)["settings"]

        def num(v: Any) -> float:  # the document writes the shortest text of each float32
            return _f32(float(v) if not isinstance(v, str) else float(v.replace("Infinity", "inf")))

        self._reset_mirror()
        for name in SCALARS:
            if name in s:
                self._values[name] = bool(s[name]) if name.startswith("flip_") else num(s[name])
        c = s.get("crop", {})
        self._crop = Crop(*(num(c.get(k, 0)) for k in "xywh"))
        t = s.get("split_toning", {})
        self._split = [SplitTone(num(t.get("highlight_hue", 0)), num(t.get("highlight_saturation", 0))),
                       SplitTone(num(t.get("shadow_hue", 0)), num(t.get("shadow_saturation", 0)))]
        self._split_balance = num(t.get("balance", 0))
        for i, band in enumerate(s.get("hsl", [])[:8]):
            self._hsl[i] = HslBand(*(num(band.get(k, 0)) for k in ("hue", "saturation", "luminance")))
        for i, name in enumerate(CURVE_NAMES):
            if name in s.get("tone_curve", {}):
                self._curves[i] = tuple(CurvePoint(num(x), num(y)) for x, y in s["tone_curve"][name])
        self._bg_blur = num(s.get("bg_blur", self._bg_blur))

    # ---- development and read-out ---------------------------------------------------------------------------
    def process(self) -> None:
        """Develops the loaded image with the current settings (preview() and the exports do it themselves)."""
        with self._engine():
            self._check(lib.vantorix_process(self._ctx), "vantorix_process")

    def preview(self, out: "Optional[npt.NDArray[np.uint8]]" = None) -> "npt.NDArray[np.uint8]":
        """Develops and returns the picture as uint8 RGBA of shape (height, width, 4), rendered by the engine
        straight into the array's memory. ``out``: a C-contiguous uint8 array of that shape to reuse."""
        if out is not None and (not isinstance(out, np.ndarray) or out.dtype != np.uint8):
            raise TypeError("out must be a uint8 numpy array")
        with self._engine():
            # Only a crop changes the size, and never beyond the loaded size: a buffer of the loaded size
            # holds any development, so one pipeline run suffices.
            w, h = self._loaded_size if out is None else (out.shape[1], out.shape[0])
            buf = out if out is not None else np.empty(max(w * h * 4, 1), np.uint8)
            if out is not None and not (out.flags.c_contiguous and out.flags.writeable):
                raise ValueError("out must be C-contiguous and writeable")
            rc = lib.vantorix_get_preview(self._ctx, buf.ctypes.data, min(buf.size, 0x7FFFFFFF))
            if rc < 0 and out is None and lib.vantorix_process(self._ctx) == 0:
                # Larger than loaded (not the case today): develop once more into a buffer of the right size.
                w, h = lib.vantorix_get_width(self._ctx), lib.vantorix_get_height(self._ctx)
                buf = np.empty(max(w * h * 4, 1), np.uint8)
                rc = lib.vantorix_get_preview(self._ctx, buf.ctypes.data, min(buf.size, 0x7FFFFFFF))
            self._check(rc, "vantorix_get_preview")
            w, h = lib.vantorix_get_width(self._ctx), lib.vantorix_get_height(self._ctx)
        if out is not None:
            if out.shape != (h, w, 4):
                raise ValueError(f"out must have shape {(h, w, 4)}, not {out.shape}")
            return out
        return buf[: w * h * 4].reshape(h, w, 4)

    def histograms(self) -> "npt.NDArray[np.uint32]":
        """Four 256-bin histograms (red, green, blue, Rec. 709 luminance) of the developed image as a
        (4, 256) uint32 array; develops first when no development is current."""
        hist = np.zeros((4, 256), np.uint32)
        rows = [hist[i].ctypes.data_as(ctypes.POINTER(ctypes.c_uint32)) for i in range(4)]
        with self._engine():
            self._check(lib.vantorix_get_histogram(self._ctx, *rows), "vantorix_get_histogram")
        return hist

    def export(self, path: PathLike, quality: int = 90, keep_metadata: bool = False, bits: int = 8) -> None:
        """Writes the developed image (developing first when needed); the extension picks the format:
        .png (bits 8 or 16), .tif/.tiff (16-bit), anything else through the JPEG call (quality 1..100,
        keep_metadata carries the source's EXIF). The file is replaced atomically."""
        for name, value in (("quality", quality), ("bits", bits)):
            if not _is_int(value):
                raise TypeError(f"{name} must be an int, not {type(value).__name__}")
        raw = encode_path(path, must_exist=False)
        ext = os.path.splitext(raw)[1].lower()
        with self._engine():
            if ext == b".png":
                self._check(lib.vantorix_export_png(self._ctx, raw, int(bits)), "vantorix_export_png")
            elif ext in (b".tif", b".tiff"):
                self._check(lib.vantorix_export_tiff(self._ctx, raw), "vantorix_export_tiff")
            else:
                rc = lib.vantorix_export_jpeg(self._ctx, raw, int(quality), 0, int(bool(keep_metadata)))
                self._check(rc, "vantorix_export_jpeg")

    def exif(self) -> ExifSummary:
        """Shooting data of the loaded file (its EXIF, else what the RAW development reported)."""
        from ._records import ExifSummary

        rec = _lib.ExifRecord()
        with self._engine():
            self._check(lib.vantorix_get_exif(self._ctx, ctypes.byref(rec)), "vantorix_get_exif")
        return ExifSummary._from_record(rec)

    # ---- automatic tools: proposals, never applied ----------------------------------------------------------
    def _floats(self, function: str, count: int, *extra: Any) -> List[float]:
        outs = [ctypes.c_float() for _ in range(count)]
        with self._engine():
            rc = getattr(lib, function)(self._ctx, *extra, *(ctypes.byref(o) for o in outs))
            self._check(rc, function)
        return [o.value for o in outs]

    def auto_exposure(self) -> float:
        """Proposed exposure in stops, -1..1."""
        return self._floats("vantorix_auto_exposure", 1)[0]

    def auto_white_balance(self) -> Tuple[float, float]:
        """Proposed (temperature, tint)."""
        t, tint = self._floats("vantorix_auto_white_balance", 2)
        return t, tint

    def auto_enhance(self) -> Dict[str, float]:
        """Proposed basic settings by name; apply them with ``photo.update(**proposal)``."""
        rec = _lib.AutoEnhanceRecord()
        with self._engine():
            self._check(lib.vantorix_auto_enhance(self._ctx, ctypes.byref(rec)), "vantorix_auto_enhance")
        return dict(zip(AUTO_ENHANCE_SLOTS, list(rec.slots)))

    def auto_straighten(self) -> float:
        """Proposed rotation in degrees (0 when no long edge is found)."""
        return self._floats("vantorix_auto_straighten", 1)[0]

    def auto_crop(self) -> Crop:
        """Proposed 3:2 crop."""
        return Crop(*self._floats("vantorix_auto_crop", 4))

    def auto_level(self) -> Optional[Level]:
        """Proposed straightening Level(rotation, confidence), or None when the picture does not tell
        (needs vantorix_auto_level)."""
        fn = _lib.require("auto_level")
        rotation, confidence = ctypes.c_float(), ctypes.c_float()
        with self._engine():
            rc = self._check(fn(self._ctx, ctypes.byref(rotation), ctypes.byref(confidence)), "vantorix_auto_level")
        return Level(rotation.value, confidence.value) if rc == 0 else None

    # ---- subject segmentation ------------------------------------------------------------------------------
    def _segmented(self, rc: int, function: str) -> None:
        self._check(rc, function)
        w, h = self._loaded_size
        self._mask_size = (w, h)

    def segment_subject(self, center: Optional[Tuple[float, float]] = None) -> None:
        """Finds the main subject (GrabCut) around center (fractions of width and height; None: the image
        centre) and keeps its mask for mask(), bg_blur and export_subject()."""
        cx, cy = (-1.0, -1.0) if center is None else check_floats(center, "center")
        with self._engine():
            self._segmented(lib.vantorix_segment_subject(self._ctx, cx, cy), "vantorix_segment_subject")

    def segment_subject_auto(self) -> None:
        """Segments the subject seeded by a centred ellipse (needs vantorix_segment_subject_auto)."""
        fn = _lib.require("segment_subject_auto")
        with self._engine():
            self._segmented(fn(self._ctx), "vantorix_segment_subject_auto")

    def segment_subject_box(self, box: Sequence[float]) -> None:
        """Segments the subject inside box (x, y, w, h fractions) (needs vantorix_segment_subject_box)."""
        fn = _lib.require("segment_subject_box")
        if isinstance(box, (str, bytes)) or not isinstance(box, Sequence) or len(box) != 4:
            raise TypeError("box is an (x, y, w, h) sequence")
        x, y, w, h = check_floats(box, "box")
        with self._engine():
            self._segmented(fn(self._ctx, x, y, w, h), "vantorix_segment_subject_box")

    def mask(self) -> "npt.NDArray[np.uint8]":
        """The subject mask as uint8 (height, width) of the segmented image: 255 subject, 0 background."""
        with self._engine():
            w, h = self._mask_size or (1, 1)
            out = np.empty((h, w), np.uint8)
            self._check(lib.vantorix_get_mask(self._ctx, out.ctypes.data, out.size), "vantorix_get_mask")
        return out

    def export_subject(self, path: PathLike) -> None:
        """Writes the developed picture as an RGBA PNG whose alpha is the subject mask."""
        raw = encode_path(path, must_exist=False)
        with self._engine():
            self._check(lib.vantorix_export_subject_png(self._ctx, raw), "vantorix_export_subject_png")

    # ---- progress ------------------------------------------------------------------------------------------
    @property
    def progress(self) -> Optional[ProgressCallback]:
        """A callable fn(stage: Stage, fraction: float) called during loads, developments, segmentation and
        exports; returning True cancels the call (it raises Error "cancelled"). An exception in fn cancels
        too and is raised from the call. None removes it. Needs vantorix_set_progress_callback."""
        return self._progress[0] if self._progress else None

    @progress.setter
    def progress(self, fn: Optional[ProgressCallback]) -> None:
        install = _lib.require("set_progress_callback")
        if fn is not None and not callable(fn):
            raise TypeError("progress must be callable or None")

        c_fn = _lib.ProgressFn(0)  # NULL: no callback
        if fn is not None:
            import weakref

            from ._records import Stage

            stages = {int(stage) for stage in Stage}
            callback, photo = fn, weakref.ref(self)  # the C callback must not keep the photo alive

            def trampoline(_user: Any, stage: int, fraction: float) -> int:
                try:
                    return 1 if callback(Stage(stage) if stage in stages else stage, fraction) else 0
                except BaseException as exc:  # raised again from the engine call
                    owner = photo()
                    if owner is not None:
                        owner._callback_error = exc
                    return 1

            c_fn = _lib.ProgressFn(trampoline)
        with self._engine():
            self._check(install(self._ctx, c_fn, None), "vantorix_set_progress_callback")
        self._progress = (fn, c_fn) if fn is not None else None


_SETTABLE = set(SCALARS) | {"crop", "split_highlights", "split_shadows", "split_balance", "bg_blur"}


def open(path: PathLike, size_level: int = 2) -> Photo:  # noqa: A001 - the package's entry point
    """Loads a photograph into a new Photo (a context manager): ``with vantorix.open("a.CR2") as p: ...``."""
    photo = Photo()
    try:
        return photo.load(path, size_level)
    except BaseException:
        photo.close()
        raise


def from_array(pixels: "npt.NDArray[Any]") -> Photo:
    """A new Photo holding an image from memory (see Photo.load_array)."""
    photo = Photo()
    try:
        return photo.load_array(pixels)
    except BaseException:
        photo.close()
        raise
