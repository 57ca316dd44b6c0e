import os
from pathlib import Path

import numpy as np
import pytest

import vantorix

ROOT = Path(__file__).resolve().parents[2]
CORPUS = Path(os.environ.get("VANTORIX_CORPUS", ROOT.parent / "shared" / "corpus"))


def corpus_file(rel: str) -> Path:
    path = CORPUS / rel
    if not path.is_file():
        pytest.skip(f"{CORPUS} is absent: skipping a test on real camera files")
    return path


def read_ppm(path) -> np.ndarray:
    data = Path(path).read_bytes()
    magic, w, h, maxval, pixels = data.split(maxsplit=4)
    assert magic == b"P6" and maxval == b"255"
    return np.frombuffer(pixels, np.uint8).reshape(int(h), int(w), 3)


@pytest.fixture
def cli() -> Path:
    path = Path(vantorix.library_path).resolve().parent / "vantorix"
    if not path.is_file():
        pytest.skip(f"no vantorix command beside {vantorix.library_path}")
    return path


@pytest.fixture
def raw_file() -> Path:
    return ROOT / "samples" / "canon_powershot_g2_CRW_0304.CRW"
