"""The library answers metadata calls without loading the development engine, and says so when it cannot."""
import re
import shutil
import subprocess
import sys
from pathlib import Path

import vantorix
from conftest import ROOT

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


def test_metadata_calls_leave_the_engine_unloaded(raw_file):
    assert probe(Path(vantorix.library_path), raw_file) == ["0 Canon 0 29366 False", "True True "]


def test_missing_engine_is_reported(raw_file, tmp_path):
    shutil.copy(Path(vantorix.library_path).resolve(), tmp_path / "libvantorix.so")
    first, second = probe(tmp_path / "libvantorix.so", raw_file)
    assert first == "0 Canon 0 29366 False"
    assert second.startswith("False False cannot load the development engine: ") and "libvantorix_engine.so" in second
