"""What the module's tests share: talvern-cli beside the module, the sample data, and
work-spaces prepared by talvern-cli lines (the README's tour)."""

import os
import pathlib
import subprocess

import pytest

ROOT = pathlib.Path(__file__).resolve().parents[2]
CLI = os.environ.get("TALVERN_CLI", str(ROOT / "build" / "talvern-cli"))
EXAMPLES = pathlib.Path(os.environ.get("TALVERN_EXAMPLES", ROOT / "examples"))

# The README's tour up to a calculated RIXS, as talvern-cli lines (without the
# --workspace option). Paths are relative to examples/.
TOUR = [
    ["construct"],
    ["load-conv-xafs", "Fe_Conventional_XAFS.DAT"],
    ["load-xrf", "Fe_XRF_Kbeta.DAT"],
    ["load-exp-rixs", "Fe_RIXS_Exc7115.6eV.DAT"],
    ["import-wien2k", "Fe_1compo_WIEN2k.DAT"],
    ["xafs-load"],
    ["xafs-confirm", "--edge", "Fe K", "--core-energy", "7113.8"],
    ["xafs-complete"],
    ["xrf-load"],
    ["xrf-confirm", "--flag", "1", "--widths", "4.3,5.78,2,1.07",
     "--positions", "7045.5,7056,7058,7060.1", "--amplitudes", "0.65,0,1,0"],
    ["xrf-fit", "--exc", "7213.8"],
    ["xrf-complete"],
    ["rixs-load-selective"],
    ["rixs-complete", "--min", "7108.8", "--max", "7128.8"],
    ["rixs-calculate", "--exc", "7115.6", "--scale", "7.9e-09", "--abs-corr", "1"],
]


def cli(ws, *words, check=True):
    """Runs talvern-cli on the work-space `ws`; the completed process."""
    done = subprocess.run([CLI, "--workspace", str(ws), *map(str, words)],
                          capture_output=True, text=True, cwd=EXAMPLES)
    if check and done.returncode != 0:
        raise AssertionError(f"talvern-cli {' '.join(map(str, words))} exited "
                             f"{done.returncode}:\n{done.stdout}{done.stderr}")
    return done


def run_tour(ws, lines=TOUR):
    for words in lines:
        cli(ws, *words)


@pytest.fixture(scope="session")
def tour_ws(tmp_path_factory):
    """A work-space after the tour's lines, run by talvern-cli (read it, do not change it)."""
    ws = tmp_path_factory.mktemp("tour") / "ws"
    run_tour(ws)
    return ws
