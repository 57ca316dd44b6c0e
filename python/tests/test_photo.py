import os
import re
import shutil
import subprocess
import sys
from concurrent.futures import ThreadPoolExecutor
from pathlib import Path

import numpy as np
import pytest

import vantorix
from vantorix._settings import SCALARS
from conftest import ROOT, corpus_file, read_ppm

F32 = lambda v: float(np.float32(v))  # noqa: E731 - what a 32-bit float setting stores


@pytest.mark.parametrize("source", ["raw", "jpeg/canon_eos5d3_K6A7943.JPG"])
def test_example_workflow(source, raw_file, tmp_path):
    path, out = raw_file if source == "raw" else corpus_file(source), tmp_path / "out.jpg"
    with vantorix.open(path, size_level=2) as photo:
        photo.exposure, photo.contrast = 0.5, 15
        rgba, hist = photo.preview(), photo.histograms()
        assert rgba.dtype == np.uint8 and rgba.shape == (photo.height, photo.width, 4) and rgba.flags.c_contiguous
        assert (rgba[..., 3] == 255).all() and hist.shape == (4, 256) and hist.dtype == np.uint32
        assert (hist.sum(axis=1) == photo.width * photo.height).all()
        photo.export(out, quality=90, keep_metadata=True)
    source_exif, out_exif = vantorix.read_exif(path), vantorix.read_exif(out)
    assert source_exif.model and (source == "raw" or out_exif.model == source_exif.model)
    assert out_exif.orientation in (0, 1) and 0 <= vantorix.phash(out) < 2**64
    assert vantorix.extract_thumbnail(path)[:2] == b"\xff\xd8"


LEAN_IMPORT = """import sys; before = set(sys.modules); import vantorix
print(sorted({"numpy", "typing", "dataclasses", "enum", "json", "pathlib", "re"} & set(sys.modules) - before),
      vantorix.Stage(3).name, "enum" in sys.modules)"""


def test_import_leaves_heavy_modules_to_first_use():  # a load-develop-export script starts faster
    env = dict(os.environ, PYTHONPATH=str(ROOT / "python"))
    out = subprocess.run([sys.executable, "-c", LEAN_IMPORT], env=env, capture_output=True, text=True, check=True)
    assert out.stdout == "[] PROCESS True\n"


# One row per setting: a value that is not the default, and how it reads back.
COMPOUND = [
    ("crop", (0.1, 0.2, 0.5, 0.25), vantorix.Crop(F32(0.1), F32(0.2), 0.5, 0.25)),
    ("split_highlights", (40, 30.3), vantorix.SplitTone(40, F32(30.3))),
    ("split_shadows", vantorix.SplitTone(200, 10), (200, 10)),
    ("split_balance", -20, -20), ("bg_blur", 150, 100),
]
SCALAR_ROWS = [(n, True if isinstance(d, bool) else d + 7.3, True if isinstance(d, bool) else F32(d + 7.3))
               for n, (d, _) in SCALARS.items()]


@pytest.mark.parametrize("name,value,expected", SCALAR_ROWS + COMPOUND)
def test_setting_round_trip(name, value, expected):
    photo = vantorix.Photo()
    setattr(photo, name, value)
    assert getattr(photo, name) == expected
    photo.settings_json = photo.settings_json  # the engine's own record agrees
    assert getattr(photo, name) == expected
    photo.reset()
    assert name not in SCALARS or getattr(photo, name) == SCALARS[name][0]


def test_bands_curves_and_reset():
    photo = vantorix.Photo()
    photo.hsl.update({"aqua": (10, -20.1, 5), 7: vantorix.HslBand(luminance=3)})
    photo.curves["red"] = np.array([[0, 0.1], [0.5, 0.6], [1, 1]])
    assert photo.hsl[4] == (10, F32(-20.1), 5) and photo.hsl["magenta"] == (0, 0, 3)
    assert photo.curves["red"] == ((0, F32(0.1)), (0.5, F32(0.6)), (1, 1))
    del photo.curves["red"]
    assert photo.curves[1] == ((0, 0), (1, 1))
    photo.reset()
    assert photo.hsl["aqua"] == (0, 0, 0) and photo.settings()["temperature"] == 5500


CLI_EDITS = [
    (["--curve", "master:0,0;0.4,0.55;1,1", "--hsl", "blue:20,-30,10", "--split-highlights", "40,30",
      "--split-shadows", "220,20", "--split-balance", "15"],  # the tool's white balance is 6500 K by default
     dict(curves={"master": [(0, 0), (0.4, 0.55), (1, 1)]}, hsl={"blue": (20, -30, 10)},
          split_highlights=(40, 30), split_shadows=(220, 20), split_balance=15, temperature=6500)),
    (["--exposure", "0.5", "--contrast", "15", "--crop", "0.1,0.2,0.5,0.6", "--rotate", "3", "--flip-h",
      "--sharpen", "80,1.5,100", "--vignette", "-30,40,20", "--temperature", "4200", "--clarity", "25"],
     dict(exposure=0.5, contrast=15, crop=(0.1, 0.2, 0.5, 0.6), rotation=3, flip_h=True, sharpening_amount=80,
          sharpening_radius=1.5, sharpening_threshold=100, vignette_amount=-30, vignette_midpoint=40,
          vignette_roundness=20, temperature=4200, clarity=25)),
]


@pytest.mark.parametrize("args,edit", CLI_EDITS)
def test_preview_equals_cli(args, edit, cli, raw_file, tmp_path):
    out = tmp_path / "cli.ppm"
    subprocess.run([str(cli), "develop", str(raw_file), str(out), "--size-level", "4", *args], check=True)
    with vantorix.open(raw_file, size_level=4) as photo:
        photo.update(**{name: value for name, value in edit.items() if name not in ("curves", "hsl")})
        photo.curves.update(edit.get("curves", {}))
        photo.hsl.update(edit.get("hsl", {}))
        assert np.array_equal(photo.preview()[..., :3], read_ppm(out))


def _pattern(shape, dtype):
    return np.random.default_rng(sum(shape)).integers(0, 256, shape).astype(dtype)


@pytest.mark.parametrize("pixels", [
    _pattern((31, 47, 3), np.uint8), _pattern((20, 9, 4), np.uint8), np.asfortranarray(_pattern((13, 17, 3), np.uint8)),
    _pattern((40, 30, 3), np.uint8)[3:30:2, 5:25],  # a view with gaps between rows and pixels
    _pattern((12, 10, 3), np.uint16) * 257,  # 16-bit: exact multiples come back unchanged
    (_pattern((12, 10, 3), np.uint16) * 257).astype(">u2"),  # other byte order
])
def test_load_array_neutral_preview(pixels):
    with vantorix.from_array(pixels) as photo:
        photo.temperature = 6500  # neutral white balance (the default 5500 K warms)
        rgba = photo.preview()
    assert np.array_equal(rgba[..., :3], (pixels[..., :3] // (257 if pixels.dtype.itemsize == 2 else 1)))
    assert (rgba[..., 3] == 255).all()


ERRORS = [
    (lambda t: vantorix.open(t / "missing.CR2"), FileNotFoundError, "missing.CR2"),
    (lambda t: vantorix.open(t), FileNotFoundError, "not a regular file"),
    (lambda t: vantorix.open(42), TypeError, "path must be str, bytes or os.PathLike, not int"),
    (lambda t: vantorix.open(ROOT / "samples" / "canon_powershot_g2_CRW_0304.CRW", "2"), TypeError, "size_level"),
    (lambda t: setattr(vantorix.Photo(), "exposure", "1"), TypeError, "exposure must be a number, not str"),
    (lambda t: setattr(vantorix.Photo(), "flip_h", 0.5), TypeError, "flip_h must be a bool"),
    (lambda t: setattr(vantorix.Photo(), "crop", (1, 2)), TypeError, "crop is an (x, y, w, h) sequence"),
    (lambda t: vantorix.Photo().hsl.__setitem__("pink", (1, 2, 3)), KeyError, "band must be one of red"),
    (lambda t: vantorix.Photo().curves.__setitem__(0, [(0, 0)]), ValueError, "at least 2 points"),
    (lambda t: vantorix.Photo().load_array([[1, 2, 3]]), TypeError, "pixels must be a numpy array, not list"),
    (lambda t: vantorix.Photo().load_array(np.zeros((4, 4, 3))), TypeError, "uint8 or uint16, not float64"),
    (lambda t: vantorix.Photo().load_array(np.zeros((4, 4), np.uint8)), ValueError, "shape (height, width, 3 or 4)"),
    (lambda t: vantorix.Photo().load_array(np.zeros((1, 70000, 3), np.uint8)), vantorix.Error, "must be at most 65535"),
    (lambda t: (t / "bad.jpg").write_bytes(b"\xff\xd8 not a JPEG") and vantorix.open(t / "bad.jpg"), vantorix.Error,
     "OpenCV could not read: "),
    (lambda t: (p := vantorix.Photo()).close() or setattr(p, "exposure", 1), ValueError, "closed"),
    (lambda t: vantorix.Photo().mask(), vantorix.Error, "no segmentation mask \u2014 call vantorix_segment_subject"),
    (lambda t: vantorix.from_array(np.zeros((5, 5, 3), np.uint8)).export(t / "no" / "x.png"), vantorix.Error, ""),
    (lambda t: vantorix.phash(ROOT / "README.md"), vantorix.Error, "cannot hash"),
]


@pytest.mark.parametrize("call,kind,text", ERRORS)
def test_errors(call, kind, text, tmp_path):
    with pytest.raises(kind) as info:
        call(tmp_path)
    assert text in str(info.value) and (kind is not vantorix.Error or info.value.code < 0)


def test_two_threads_develop_at_once(raw_file):
    def develop(exposure):
        with vantorix.open(raw_file, size_level=4) as photo:
            photo.exposure, photo.nr_luminance = exposure, 40
            return [photo.preview() for _ in range(3)]

    serial = [develop(e)[0] for e in (0.0, 0.3)]
    with ThreadPoolExecutor(2) as pool:
        parallel = list(pool.map(develop, (0.0, 0.3)))
    assert all(np.array_equal(s, p) for s, runs in zip(serial, parallel) for p in runs)
    assert not np.array_equal(*serial)


# The library answers metadata calls without loading the development engine, and says so when it cannot.
PROBE = """
import ctypes, sys
lib = ctypes.CDLL(sys.argv[1])
maps = lambda: open("/proc/self/maps").read()
lib.vantorix_last_file_error.restype = ctypes.c_char_p
data, size = ctypes.POINTER(ctypes.c_uint8)(), ctypes.c_uint32()
record = ctypes.create_string_buffer(336)
print(lib.vantorix_read_exif(sys.argv[2].encode(), record), record.raw[:5].decode(),
      lib.vantorix_extract_thumbnail(sys.argv[2].encode(), ctypes.byref(data), ctypes.byref(size)), size.value,
      "libopencv_core" in maps() or "libvantorix_engine" in maps())
lib.vantorix_create_context.restype = ctypes.c_void_p
print(lib.vantorix_create_context() is not None, "libopencv_core" in maps(), lib.vantorix_last_file_error().decode())
"""


def probe(library: Path, raw: Path) -> list:
    out = subprocess.run([sys.executable, "-c", PROBE, str(library), str(raw)], capture_output=True, text=True, check=True)
    return out.stdout.splitlines()


def test_every_declared_function_is_exported():
    names = re.findall(r"^VANTORIX_API[^(]*?\b(vantorix_\w+)\s*\(", (ROOT / "include" / "vantorix.h").read_text(), re.M)
    assert len(names) > 70 and [n for n in names if not hasattr(vantorix._lib.lib, n)] == []


def test_metadata_calls_leave_the_engine_unloaded_and_a_missing_engine_is_reported(raw_file, tmp_path):
    assert probe(Path(vantorix.library_path), raw_file) == ["0 Canon 0 29366 False", "True True "]
    shutil.copy(Path(vantorix.library_path).resolve(), tmp_path / "libvantorix.so")  # alone in its folder
    first, second = probe(tmp_path / "libvantorix.so", raw_file)
    assert first == "0 Canon 0 29366 False" and "libvantorix_engine.so" in second
    assert second.startswith("False False cannot load the development engine: ")
