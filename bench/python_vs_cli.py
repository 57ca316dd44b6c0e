#!/usr/bin/env python3
"""Times one 24-megapixel development through the Python package against the `vantorix` command.

    /usr/bin/python3 bench/python_vs_cli.py [build-dir] [input] [runs]

Workload (both ways): load the large JPEG (reduced to 4096 px), temperature 6500, +0.5 EV, contrast
20, saturation 20, sharpening 100 at radius 1, JPEG quality 90. The two commands run alternately,
`runs` times each (default 7); the medians of whole processes are compared (Python: interpreter start,
numpy and package import included), and the in-process time of the Python calls is shown beside.
The modules are byte-compiled once (the cache goes to the temporary directory), as an installed package's
are (pip compiles them): PYTHONDONTWRITEBYTECODE in the caller's environment would otherwise make every
run compile them afresh (about 20 ms). The first Python run, which compiles, counts among the runs.
The machine's load drifts over a run of the benchmark, so the median of the paired ratios (each Python
run over the command's run just before it) is shown too; it is steadier than the ratio of medians.
Input: the corpus's 6240 x 4160 camera JPEG, else a synthetic 6000 x 4000 BMP written here.
"""
import os
import statistics
import subprocess
import sys
import tempfile
import time
from pathlib import Path

import numpy as np

root = Path(__file__).resolve().parents[1]
build = Path(sys.argv[1]).resolve() if len(sys.argv) > 1 else root / "build"
runs = int(sys.argv[3]) if len(sys.argv) > 3 else 7
work = Path(tempfile.mkdtemp(prefix="vx-pybench-"))


def synthetic_bmp(path: Path, w: int = 6000, h: int = 4000) -> None:
    y, x = np.mgrid[0:h, 0:w].astype(np.float32)
    rng = np.random.default_rng(1)
    base = 128 + 60 * np.sin(x / 97) * np.cos(y / 61) + rng.normal(0, 12, (h, w))
    bgr = np.stack([base, np.roll(base, 40, 1), np.roll(base, 40, 0)], -1).clip(0, 255).astype(np.uint8)
    header = b"BM" + (54 + bgr.nbytes).to_bytes(4, "little") + bytes(4) + (54).to_bytes(4, "little")
    info = b"".join(v.to_bytes(4, "little", signed=True) for v in (40, w, -h)) + (1).to_bytes(2, "little") + \
        (24).to_bytes(2, "little") + bytes(24)
    path.write_bytes(header + info + bgr.tobytes())  # 6000 * 3 is a multiple of 4: no row padding


if len(sys.argv) > 2 and sys.argv[2]:
    source = Path(sys.argv[2])
else:
    source = root.parent / "shared" / "corpus" / "jpeg" / "canon_eos_rp_MG_0631.JPG"
    if not source.is_file():
        source = work / "big.bmp"
        synthetic_bmp(source)

cli = [str(build / "vantorix"), "develop", str(source), str(work / "cli.jpg"), "--temperature", "6500",
       "--exposure", "0.5", "--contrast", "20", "--saturation", "20", "--sharpen", "100,1", "--quality", "90"]
py_code = f"""
import time, vantorix
t = time.perf_counter()
with vantorix.open({str(source)!r}) as p:
    p.update(temperature=6500, exposure=0.5, contrast=20, saturation=20, sharpening_amount=100, sharpening_radius=1)
    p.export({str(work / 'py.jpg')!r}, quality=90)
print(time.perf_counter() - t)
"""
env = dict(os.environ, VANTORIX_LIBRARY=str(build / "libvantorix.so"), PYTHONPATH=str(root / "python"),
           PYTHONPYCACHEPREFIX=str(work / "pycache"))
env.pop("PYTHONDONTWRITEBYTECODE", None)
python = [sys.executable, "-c", py_code]

cli_times, py_times, py_inner = [], [], []
for _ in range(runs):
    t = time.perf_counter()
    subprocess.run(cli, check=True)
    cli_times.append(time.perf_counter() - t)
    t = time.perf_counter()
    out = subprocess.run(python, check=True, env=env, capture_output=True, text=True).stdout
    py_times.append(time.perf_counter() - t)
    py_inner.append(float(out))
same = (work / "cli.jpg").read_bytes() == (work / "py.jpg").read_bytes()
c, p, i = (statistics.median(v) for v in (cli_times, py_times, py_inner))
pairs = [py / cli for py, cli in zip(py_times, cli_times)]
print(f"input {source.name}, {runs} runs each, medians; outputs byte-identical: {same}")
print(f"  vantorix develop (process)       {c:7.3f} s")
print(f"  python, whole process            {p:7.3f} s   ratio {p / c:.3f}")
print(f"  python, calls only (in process)  {i:7.3f} s   ratio {i / c:.3f}")
print(f"  paired ratios (python / vantorix, run by run): median {statistics.median(pairs):.3f}, "
      f"range {min(pairs):.3f} .. {max(pairs):.3f}")
