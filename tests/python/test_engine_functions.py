"""The pure functions (rixs, rixs_plane, edge_step, fit_rixs) against talvern-cli on the
sample data: each must give what the work-space's command writes, to its six digits, and
refuse arrays it cannot take with a ValueError."""

import json
import re
import shutil
import signal

import numpy as np
import pytest

import talvern
from conftest import cli


def dat(ws, name):
    return talvern.read_dat(ws / name)


def dat_text(tmp_path, rows):
    """`rows` as the work-space writes them."""
    path = tmp_path / "rows.DAT"
    talvern.write_dat(path, rows)
    return path.read_text()


def six(value):
    """Numbers of a JSON value to six significant digits, as the work-space writes them."""
    if isinstance(value, dict):
        return {k: six(v) for k, v in value.items()}
    if isinstance(value, list):
        return [six(v) for v in value]
    if isinstance(value, float) or (isinstance(value, int) and not isinstance(value, bool)):
        return f"{value:.6g}"
    return value


@pytest.fixture(scope="module")
def inputs(tour_ws):
    """The engine's inputs of the tour: selective, conv_xafs, parameters, lorentz."""
    return (dat(tour_ws, "SelectiveXAFS_for_RIXS.DAT"), dat(tour_ws, "ConvXAFS_Norm_Spectrum.DAT"),
            dat(tour_ws, "RIXS_Calculation_Parameters.DAT")[0],
            dat(tour_ws, "RIXS_Calculation_Lorentz.DAT")[0])


@pytest.fixture(scope="module")
def set_ws(tour_ws, tmp_path_factory):
    """A copy of the tour's work-space with two measured cuts and a HERFD."""
    ws = tmp_path_factory.mktemp("set") / "ws"
    shutil.copytree(tour_ws, ws)
    cli(ws, "load-exp-cut", "Fe_RIXS_Cut_7113eV.DAT", "--exc", "7113")
    cli(ws, "load-exp-cut", "Fe_RIXS_Exc7115.6eV.DAT", "--exc", "7115.6")
    cli(ws, "load-exp-herfd", "Fe_HERFD_Em7058eV.DAT", "--emission", "7058")
    return ws


def copy_of(ws, tmp_path):
    shutil.copytree(ws, tmp_path / "ws")
    return tmp_path / "ws"


def test_rixs_gives_the_rows_rixs_calculate_wrote(tour_ws, inputs, tmp_path):
    rows = talvern.rixs(*inputs, 7115.6)
    assert rows.shape == (241, 4)
    assert dat_text(tmp_path, rows) == (tour_ws / "Calculated_RIXS.DAT").read_text()
    # The same values by name give the same rows.
    sel, conv, par, lor = inputs
    names = ["gamma", "core_energy", "emission_start", "emission_end", "emission_step",
             "abs_correction", "scale"]
    by_name = talvern.rixs(sel, conv, dict(zip(names, par)),
                           {"two_component": int(lor[0]), "width": lor[1:5],
                            "position": lor[5:9], "amplitude": lor[9:13]}, 7115.6)
    assert np.array_equal(by_name, rows)


def test_rixs_plane_gives_the_file_rixs_plane_wrote(tour_ws, inputs, tmp_path):
    ws = copy_of(tour_ws, tmp_path)
    cli(ws, "rixs-plane", "--from", "7110", "--to", "7120", "--step", "2.5")
    lines = []
    omega, emission, total, one, two = talvern.rixs_plane(
        *inputs, 7110 + 2.5 * np.arange(5), progress=lines.append)
    assert lines == [f"excitation energy {i}/5" for i in range(1, 6)]
    assert total.shape == one.shape == two.shape == (5, emission.size)
    blocks = []
    for r, exc in enumerate(omega):
        block = np.column_stack([np.full(emission.size, exc), emission,
                                 total[r], one[r], two[r]])
        blocks.append(dat_text(tmp_path, block))
    assert "\n".join(blocks) + "\n" == (ws / "RIXS_Plane.DAT").read_text()


@pytest.mark.parametrize("options, keywords", [
    ([], {}),
    (["--e0", "7113.8", "--nnorm", "2", "--flatten", "--pre1", "-60", "--pre2", "-20",
      "--norm1", "30"],
     dict(e0=7113.8, nnorm=2, flatten=True, pre1=-60, pre2=-20, norm1=30)),
])
def test_edge_step_normalises_as_xafs_load(tour_ws, tmp_path, options, keywords):
    ws = copy_of(tour_ws, tmp_path)
    said = cli(ws, "xafs-load", "--normalise", "edge-step", *options).stdout
    measured = dat(ws, "Conventional_XAFS.DAT")
    fit = talvern.edge_step(measured[:, 0], measured[:, 1], **keywords)
    assert fit["norm"].shape == (measured.shape[0],)
    assert dat_text(tmp_path, np.column_stack([measured[:, 0], fit["norm"]])) == \
        (ws / "ConvXAFS_Norm_Spectrum.DAT").read_text()
    source = "the core energy box" if "e0" in keywords else "Edge from Data"
    assert f"E0: {fit['e0']:.6g} eV ({source})" in said
    assert fit["e0_source"] == ("given" if "e0" in keywords else "Edge from Data")
    assert f"Edge step: {fit['step']:.6g}" in said
    assert (f"({'E0' if fit['pre1'] < 0 else 'E0+'}{fit['pre1']:.6g} to "
            f"E0{fit['pre2']:.6g})") in said
    assert f"(E0+{fit['norm1']:.6g} to E0+{fit['norm2']:.6g})" in said
    assert f"Post-edge polynomial of degree {fit['nnorm']}:" in said
    # The step is the jump of the two lines at E0; rows in another order keep it.
    assert fit["step"] == pytest.approx(fit["post"][0] - fit["pre"][0])
    backwards = talvern.edge_step(measured[::-1, 0], measured[::-1, 1], **keywords)
    assert np.allclose(backwards["norm"], fit["norm"][::-1], rtol=1e-12, atol=1e-12)


def test_edge_step_refuses_with_the_reason_xafs_load_gives(tour_ws, tmp_path):
    ws = copy_of(tour_ws, tmp_path)
    said = cli(ws, "xafs-load", "--normalise", "edge-step", "--e0", "7113.8", "--nnorm", "2",
               "--flatten", "--pre1", "-100", "--norm2", "300", check=False)
    assert said.returncode == 1
    measured = dat(ws, "Conventional_XAFS.DAT")
    with pytest.raises(ValueError) as refused:
        talvern.edge_step(measured[:, 0], measured[:, 1], e0=7113.8, nnorm=2, flatten=True,
                          pre1=-100, norm2=300)
    assert str(refused.value).startswith("The edge step post(E0) - pre(E0) = ")
    assert str(refused.value) in said.stdout


FITS = [
    (["--peak", "7114.6,0.7,2.5", "--fit-scale"], dict(peaks=[(7114.6, 0.7, 2.5)], fit_scale=True)),
    (["--peak", "7114.6,0.7,3", "--components", "A", "--fix", "peak1.width", "--fit-scale",
      "--fit-shift", "--weights", "poisson"],
     dict(peaks=np.array([[7114.6, 0.7, 3]]), components="A", fix=["peak1.width"],
          fit_scale=True, fit_shift=True, weights="poisson")),
]


@pytest.mark.parametrize("options, keywords", FITS)
def test_fit_rixs_gives_what_fit_rixs_json_prints(set_ws, tmp_path, options, keywords):
    printed = json.loads(cli(set_ws, "fit-rixs", *options, "--json").stdout)
    result = talvern.fit_rixs(
        dat(set_ws, "RIXS_Plane_Exp.DAT"), dat(set_ws, "SelectiveXAFS_for_RIXS_Temp.DAT"),
        dat(set_ws, "ConvXAFS_Norm_Spectrum.DAT"), dat(set_ws, "RIXS_Calculation_Parameters.DAT")[0],
        dat(set_ws, "RIXS_Calculation_Lorentz.DAT")[0], **keywords)
    selective = result.pop("selective")
    assert six(result) == six(printed)
    # The fitted selective XAFS is what --confirm makes the working copy.
    ws = copy_of(set_ws, tmp_path)
    cli(ws, "fit-rixs", *options, "--confirm")
    assert dat_text(tmp_path, selective) == (ws / "SelectiveXAFS_for_RIXS_Temp.DAT").read_text()


def test_fit_rixs_refuses_as_fit_rixs_does(set_ws):
    args = [dat(set_ws, "RIXS_Plane_Exp.DAT"), dat(set_ws, "SelectiveXAFS_for_RIXS_Temp.DAT"),
            dat(set_ws, "ConvXAFS_Norm_Spectrum.DAT"),
            dat(set_ws, "RIXS_Calculation_Parameters.DAT")[0],
            dat(set_ws, "RIXS_Calculation_Lorentz.DAT")[0]]
    for options, keywords in [([], {}),
                              (["--peak", "7114.6,0.7,2.5", "--fix", "peak1.size"],
                               dict(peaks=[(7114.6, 0.7, 2.5)], fix="peak1.size"))]:
        said = cli(set_ws, "fit-rixs", *options, check=False)
        assert said.returncode == 1
        with pytest.raises(ValueError) as refused:
            talvern.fit_rixs(*args, **keywords)
        assert re.match(r"(INPUT )?ERROR!!\n", str(refused.value))
        assert str(refused.value) == said.stdout.strip()


def refusals(sel, conv, par, lor):
    """(call, what its ValueError says) of arguments the functions cannot take."""
    rows = lambda n: np.column_stack([7105 + 0.1 * np.arange(n), np.ones(n), np.ones(n)])
    nan_sel = sel.copy()
    nan_sel[3, 1] = np.nan
    measured = np.array([[7115.6, 7050, 1.0, 0], [7115.6, 7051, 1.0, 2]])
    par_dict = dict(gamma=1.25, core_energy=7113.8, emission_start=7020, emission_end=7080,
                    emission_step=0.25, abs_correction=1, scale=7.9e-9)

    def rixs(*changed, exc=7115.6):
        """talvern.rixs of the tour's inputs with the first ones `changed` (None: as they are)."""
        given = list(changed) + [None] * (4 - len(changed))
        return lambda: talvern.rixs(*(c if c is not None else d
                                      for c, d in zip(given, (sel, conv, par, lor))), exc)
    return [
        (rixs(sel[:, 0]), "selective must be a 2-D array of rows of 3 columns, not of 1 dim"),
        (rixs(None, np.ones((4, 3))), "conv_xafs must have 2 columns, not 3"),
        (rixs(sel.astype(str)), "selective must hold real numbers"),
        (rixs(sel.astype(complex)), "selective must hold real numbers"),
        (rixs(nan_sel), r"selective holds a value that is not finite \(row 3, column 1\)"),
        (rixs(sel[:1]), "selective must have at least 2 rows, not 1"),
        (rixs(rows(5001)), "selective has 5001 rows, more than the engine's capacity of 5000"),
        (rixs(None, np.ones((2001, 2))), "conv_xafs has 2001 rows, more than the engine's "
                                         "capacity of 2000"),
        (rixs(None, None, par[:6]), "parameters must hold 7 values, not 6"),
        (rixs(None, None, {**par_dict, "scal": 1}), "parameters has an unknown key 'scal'"),
        (rixs(None, None, {k: v for k, v in par_dict.items() if k != "gamma"}),
         "parameters has no 'gamma'"),
        (rixs(None, None, {**par_dict, "gamma": "1.25"}), r"parameters\['gamma'\] must hold real"),
        (rixs(None, None, np.r_[par[:4], 0, par[5:]]), "emission grid .* capacity of 5000 points"),
        (rixs(None, None, None, np.r_[2, lor[1:]]), "flag of lorentz must be 0 or 1, not 2"),
        (rixs(None, None, None, {"two_component": 1, "width": [1, 2, 3], "position": lor[5:9],
                                 "amplitude": lor[9:]}),
         r"lorentz\['width'\] must hold 4 values, not 3"),
        (rixs(exc="7115.6"), "exc must hold real numbers"),
        (rixs(exc=float("nan")), "exc must be finite, not nan"),
        (rixs(exc=0.0), "The calculation gave undefined values"),
        (lambda: talvern.rixs_plane(sel, conv, par, lor, [[7115.6]]),
         "exc_energies must be a 1-D array"),
        (lambda: talvern.edge_step(np.arange(10.0), np.arange(9.0)),
         "energy and mu must hold as many values, not 10 and 9"),
        (lambda: talvern.edge_step(conv, conv[:, 1]), "energy must be a 1-D array"),
        (lambda: talvern.edge_step(conv[:, 0], conv[:, 1], nnorm=3), "must be 0, 1 or 2, not 3"),
        (lambda: talvern.edge_step(conv[:4, 0], conv[:4, 1]),
         "The spectrum has no single steepest rise, so\nE0 is not known"),
        (lambda: talvern.fit_rixs(measured[:, :3], sel, conv, par, lor, fit_scale=True),
         "measured must have 4 columns, not 3"),
        (lambda: talvern.fit_rixs(measured, sel, conv, par, lor, fit_scale=True),
         r"measured row 1: K must be 0 .* or 1 .*, not 2.0"),
        (lambda: talvern.fit_rixs(measured[:1], sel, conv, par, lor, peaks=(7114.6, 0.7, 2.5)),
         "peaks must be a 2-D array of rows of 3 columns"),
        (lambda: talvern.fit_rixs(measured[:1], sel, conv, par, lor, components="C"),
         "--components takes A, B or AB, not C"),
    ]


def test_arguments_that_cannot_be_taken_are_refused_with_a_value_error(inputs):
    for call, said in refusals(*inputs):
        with pytest.raises(ValueError, match=said):
            call()


def test_ctrl_c_stops_rixs_plane(inputs):
    """Ctrl-C at the first excitation energy: KeyboardInterrupt once the run has stopped,
    no line after it, and the next run goes on as usual."""
    sel, conv, par, lor = inputs
    e = 7105.0 + 0.1 * np.arange(5000)
    big = np.column_stack([e, np.ones_like(e), np.ones_like(e)])
    wide = np.r_[par[:2], 7000, 7099.9, 0.05, par[5:]]  # 2000 emission energies
    energies = np.linspace(7110, 7120, 200)
    lines = []

    def interrupt(line):
        lines.append(line)
        signal.raise_signal(signal.SIGINT)  # Ctrl-C, handled before it returns

    with pytest.raises(KeyboardInterrupt):
        talvern.rixs_plane(big, conv, wide, lor, energies, progress=interrupt)
    assert lines == ["excitation energy 1/200"]
    omega, emission, total, _, _ = talvern.rixs_plane(sel, conv, par, lor, [7115.6])
    assert total.shape == (1, 241)
