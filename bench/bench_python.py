#!/usr/bin/python3
"""talvern.rixs against the engine in memory, 5000 selective XAFS rows x 2000
emission energies at 7116 eV.

Writes the inputs (those of bench_process.cpp: an iron K-edge selective XAFS
on a 0.1 eV grid from 7105 eV, emission energies from 6900 eV by 0.1 eV) into
a folder with talvern.write_dat and reads them back, so that both sides take
the same six-digit values; times talvern.rixs on them; runs talvern_bench's
BM_RixsInMemory (rixs_rows on the same files, TALVERN_BENCH_RIXS_INPUTS) and
reads its JSON; and checks that talvern.rixs writes what talvern-cli calc-rixs
writes from that folder. Each side's time is the best of several repetitions,
each repetition the mean of many calls, the two sides taking turns so that
other work on the machine falls on both. Prints both times and the ratio
module / engine; the target is at most 1.10. Exits 1 when the module misses
the target or gives another result.

    /usr/bin/python3 bench/bench_python.py [--build build] [--rounds 5]
"""

import argparse
import json
import os
import pathlib
import subprocess
import sys
import tempfile
import time

import numpy as np

ROOT = pathlib.Path(__file__).resolve().parents[1]
OMEGA = 7116.0
TARGET = 1.10


def write_inputs(talvern, folder):
    e = 7105.0 + 0.1 * np.arange(5000)

    def peak(c, w, a):
        return a / (1 + ((e - c) / w) ** 2)

    step = 0.5 * (1 + np.tanh((e - 7120) / 2.0))
    selective = np.column_stack([e, step + peak(7113, 1.0, 0.08) + peak(7132, 4.0, 0.5),
                                 step + peak(7114, 1.2, 0.12) + peak(7128, 5.0, 0.4)])
    ce = 7000.0 + 0.3 * np.arange(1000)
    conv = np.column_stack([ce, 0.5 * (1 + np.tanh((ce - 7120) / 3.0))])
    parameters = [[1.25, 7114, 6900, 7099.95, 0.1, 1, 7.9e-09]]
    lorentz = [[1, 8.12, 5.78, 1.9, 1.07, 7045, 7056, 7058.8, 7060.1, 0.75, 0.305, 0.15, 0.105]]
    for name, rows in [("SelectiveXAFS_for_RIXS.DAT", selective),
                       ("ConvXAFS_Norm_Spectrum.DAT", conv),
                       ("RIXS_Calculation_Parameters.DAT", parameters),
                       ("RIXS_Calculation_Lorentz.DAT", lorentz)]:
        talvern.write_dat(folder / name, np.asarray(rows, dtype=float))
    return (talvern.read_dat(folder / "SelectiveXAFS_for_RIXS.DAT"),
            talvern.read_dat(folder / "ConvXAFS_Norm_Spectrum.DAT"),
            talvern.read_dat(folder / "RIXS_Calculation_Parameters.DAT")[0],
            talvern.read_dat(folder / "RIXS_Calculation_Lorentz.DAT")[0])


def time_module(talvern, inputs, repetitions, seconds=0.5):
    """Best over `repetitions` of the mean time of a call (ms)."""
    talvern.rixs(*inputs, OMEGA)
    best = float("inf")
    for _ in range(repetitions):
        calls, start = 0, time.perf_counter()
        while True:
            talvern.rixs(*inputs, OMEGA)
            calls += 1
            elapsed = time.perf_counter() - start
            if elapsed >= seconds:
                break
        best = min(best, 1000 * elapsed / calls)
    return best


def time_engine(bench, folder, repetitions):
    """Best over `repetitions` of BM_RixsInMemory's mean time (ms)."""
    out = folder / "bench.json"
    subprocess.run([str(bench), "--benchmark_filter=^BM_RixsInMemory/",
                    f"--benchmark_repetitions={repetitions}", "--benchmark_min_time=0.5",
                    f"--benchmark_out={out}", "--benchmark_out_format=json"],
                   env=dict(os.environ, TALVERN_BENCH_RIXS_INPUTS=str(folder)),
                   stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, check=True)
    runs = [b for b in json.loads(out.read_text())["benchmarks"]
            if b.get("run_type") == "iteration" and not b.get("error_occurred")]
    if not runs:
        sys.exit("BM_RixsInMemory gave no timing (are the inputs readable?)")
    scale = {"ns": 1e-6, "us": 1e-3, "ms": 1.0, "s": 1e3}
    return min(b["real_time"] * scale[b["time_unit"]] for b in runs)


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("--build", default=str(ROOT / "build"))
    parser.add_argument("--rounds", type=int, default=5)
    parser.add_argument("--repetitions", type=int, default=3)
    args = parser.parse_args()
    build = pathlib.Path(args.build).resolve()
    sys.path.insert(0, str(build))
    import talvern

    with tempfile.TemporaryDirectory(prefix="talvern-bench-python-") as tmp:
        folder = pathlib.Path(tmp)
        inputs = write_inputs(talvern, folder)
        rows = talvern.rixs(*inputs, OMEGA)
        talvern.write_dat(folder / "module.DAT", rows)
        subprocess.run([str(build / "talvern-cli"), "--workspace", str(folder), "calc-rixs",
                        str(OMEGA)], check=True, stdout=subprocess.DEVNULL)
        same = (folder / "module.DAT").read_text() == \
            (folder / "Calculated_RIXS.DAT").read_text()

        module = engine = float("inf")
        for _ in range(args.rounds):
            engine = min(engine, time_engine(build / "talvern_bench", folder, args.repetitions))
            module = min(module, time_module(talvern, inputs, args.repetitions))

    ratio = module / engine
    print(f"talvern.rixs {inputs[0].shape[0]} x {rows.shape[0]}: module {module:.3f} ms, "
          f"engine in memory {engine:.3f} ms, module/engine = {ratio:.3f} "
          f"(target {TARGET:.2f}){'' if ratio <= TARGET else ' (OVER)'}; "
          f"same rows as calc-rixs: {'yes' if same else 'NO'}")
    return 0 if same and ratio <= TARGET else 1


if __name__ == "__main__":
    sys.exit(main())
