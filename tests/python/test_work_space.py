"""talvern.WorkSpace runs the commands of talvern-cli: the same lines leave the same
files, refusals raise CommandError where talvern-cli exits with 1, and a call it cannot
take is refused before anything runs."""

import ast
import gzip
import os
import pathlib
import pickle
import re
import signal
import shutil

import numpy as np
import pytest

import talvern
from conftest import EXAMPLES, cli, run_tour, TOUR

# talvern-cli lines, each beside the same command as a method call: positionals,
# keywords with _ for -, numbers as numbers (NumPy's too), flags as bools (NumPy's too), a
# repeatable option as a list or an array, one of two flags.
SESSION = [
    (["construct"], lambda ws: ws.construct()),
    (["load-conv-xafs", EXAMPLES / "Fe_Conventional_XAFS.DAT"],
     lambda ws: ws.load_conv_xafs(EXAMPLES / "Fe_Conventional_XAFS.DAT")),
    (["load-xrf", EXAMPLES / "Fe_XRF_Kbeta.DAT"],
     lambda ws: ws.load_xrf(str(EXAMPLES / "Fe_XRF_Kbeta.DAT"))),
    (["load-exp-rixs", EXAMPLES / "Fe_RIXS_Exc7115.6eV.DAT"],
     lambda ws: ws.load_exp_rixs(EXAMPLES / "Fe_RIXS_Exc7115.6eV.DAT")),
    (["import-wien2k", EXAMPLES / "Fe_1compo_WIEN2k.DAT"],
     lambda ws: ws.import_wien2k(EXAMPLES / "Fe_1compo_WIEN2k.DAT")),
    (["xafs-load"], lambda ws: ws.xafs_load()),
    (["xafs-confirm", "--edge", "Fe K", "--core-energy", "7113.8"],
     lambda ws: ws.xafs_confirm(edge="Fe K", core_energy=7113.8)),
    (["xafs-complete"], lambda ws: ws.xafs_complete()),
    (["xrf-load"], lambda ws: ws.xrf_load()),
    (["xrf-confirm", "--flag", "1", "--widths", "4.3,5.78,2,1.07",
      "--positions", "7045.5,7056,7058,7060.1", "--amplitudes", "0.65,0,1,0"],
     lambda ws: ws.xrf_confirm(flag=1, widths="4.3,5.78,2,1.07",
                               positions="7045.5,7056,7058,7060.1", amplitudes="0.65,0,1,0")),
    (["xrf-fit", "--exc", "7213.8"], lambda ws: ws.xrf_fit(exc=7213.8)),
    (["xrf-complete"], lambda ws: ws.xrf_complete()),
    (["xrf-lsq", "--fix", "A.width", "--background"],
     lambda ws: ws.xrf_lsq(fix="A.width", background=True)),
    (["rixs-load-selective"], lambda ws: ws.rixs_load_selective()),
    (["rixs-show-peak", "--center", "7115.6", "--amp", "1.0", "--width", "3"],
     lambda ws: ws.rixs_show_peak(center=7115.6, amp="1.0", width=3)),
    (["rixs-modify", "--mode", "AB", "--add"], lambda ws: ws.rixs_modify(mode="AB", add=True)),
    (["rixs-save-temporarily"], lambda ws: ws.rixs_save_temporarily()),
    (["rixs-complete", "--min", "7108.8", "--max", "7128.8"],
     lambda ws: ws.rixs_complete(min=7108.8, max=7128.8)),
    (["rixs-calculate", "--exc", "7115.6", "--scale", "7.9e-09", "--abs-corr", "1"],
     lambda ws: ws.rixs_calculate(exc=7115.6, scale=7.9e-09, abs_corr=1)),
    (["load-exp-cut", EXAMPLES / "Fe_RIXS_Cut_7113eV.DAT", "--exc", "7113"],
     lambda ws: ws.load_exp_cut(EXAMPLES / "Fe_RIXS_Cut_7113eV.DAT", exc=np.int64(7113))),
    (["fit-rixs", "--peak", "7115.6,0.1,2", "--peak", "7120,0.05,3", "--fit-scale", "--json"],
     lambda ws: ws.fit_rixs(peak=np.array(["7115.6,0.1,2", "7120,0.05,3"]),
                            fit_scale=np.True_, json=True)),
    (["rixs-plane", "--from", "7112", "--to", "7114", "--step", "1"],
     lambda ws: ws.rixs_plane(from_=np.float64(7112), to=np.uint16(7114), step=np.float32(1))),
]


def files_of(ws):
    """Every file of a work-space by name; the history without its clock times."""
    out = {}
    for path in sorted(pathlib.Path(ws).iterdir()):
        text = path.read_bytes()
        if path.name == "TALVERN_History.sh":
            text = re.sub(rb"# \S+Z exit", b"# exit", text)
        out[path.name] = text
    return out


def test_the_same_lines_leave_the_same_files_and_say_the_same(tmp_path):
    # The work-space named by bytes, which are no UTF-8, as the system gives them.
    by_cli, by_python = tmp_path / "cli", tmp_path / os.fsdecode(b"python-\xf6")
    for words, call in SESSION:
        printed = cli(by_cli, *words).stdout.rstrip("\n")
        result = call(talvern.WorkSpace(os.fsencode(by_python)))
        assert result.ok and result.status == 0
        assert result.message == printed, words
    assert files_of(by_python) == files_of(by_cli)
    # The history names each run as talvern-cli would (replayable elsewhere).
    assert b"talvern-cli rixs-plane --from 7112 --to 7114 --step 1" in \
        files_of(by_python)["TALVERN_History.sh"]


def test_boxes_and_cautions_of_a_result(tour_ws, tmp_path):
    ws_dir = tmp_path / "ws"
    shutil.copytree(tour_ws, ws_dir)
    ws = talvern.WorkSpace(ws_dir)
    fitted = ws.xrf_lsq(fix="A.width", background=True)
    printed = re.search(r"R-Factor: (\S+)", fitted.message).group(1)
    assert fitted.r_factor == float(printed) == fitted.boxes["r_factor"]
    assert fitted.cautions == []
    # A core energy far from its edge is stored with a caution.
    far = ws.xafs_confirm(edge="Fe K", core_energy=7411)
    assert far.ok and far.cautions
    assert far.cautions[0].startswith("The core energy 7411 eV is 297 eV from Fe K-edge")
    assert "\r" not in far.message


def test_refusals_raise_command_error_where_talvern_cli_exits_1(tmp_path, tour_ws):
    empty = tmp_path / "empty"
    ws = talvern.WorkSpace(empty)
    ws.construct()
    printed = cli(empty, "rixs-calculate", "--exc", "7115.6", check=False)
    assert printed.returncode == 1
    with pytest.raises(talvern.CommandError) as refused:
        ws.rixs_calculate(exc=7115.6)
    assert refused.value.message == printed.stdout.rstrip("\n")
    assert refused.value.message.startswith("ERROR!!")
    assert not refused.value.result.ok
    # It crosses to another process (multiprocessing pickles it) as it was.
    again = pickle.loads(pickle.dumps(refused.value))
    assert again.message == str(again) == refused.value.message and again.result.status == 1
    unchecked = ws.rixs_calculate(exc=7115.6, check=False)
    assert not unchecked and unchecked.status == 1
    with pytest.raises(talvern.CommandError):  # None is the default, as for every keyword
        ws.rixs_calculate(exc=7115.6, check=None)

    # A file that cannot be read, and a save that cannot be written.
    with pytest.raises(talvern.CommandError) as unreadable:
        ws.load_xrf(tmp_path / "no such file.DAT")
    assert "no such file.DAT" in unreadable.value.message
    # A label of a project file in Latin-1, which the message quotes.
    latin = tmp_path / "latin.prj"
    project = gzip.decompress((EXAMPLES / "Fe_project.prj").read_bytes())
    latin.write_bytes(gzip.compress(project.replace(b"'Fe foil'", b"'Fe f\xf6il'")))
    with pytest.raises(talvern.CommandError, match='"Fe f\ufffdil"'):
        ws.load_conv_xafs(latin, group="nope")
    full = tmp_path / "full"
    shutil.copytree(tour_ws, full)
    target = tmp_path / "missing folder" / "calculated.DAT"
    assert cli(full, "rixs-save", target, check=False).returncode == 1
    with pytest.raises(talvern.CommandError):
        talvern.WorkSpace(full).rixs_save(target)
    # A work-space path that is a file.
    a_file = tmp_path / "a file"
    a_file.write_text("")
    with pytest.raises(talvern.CommandError, match="is a file, not a directory"):
        talvern.WorkSpace(a_file).xafs_load()


def test_calls_talvern_cli_would_not_take_are_refused_before_anything_runs(tmp_path):
    ws = talvern.WorkSpace(tmp_path / "ws")
    ws.construct()
    before = files_of(tmp_path / "ws")
    with pytest.raises(TypeError, match="unexpected keyword argument 'excitation'"):
        ws.rixs_calculate(excitation=7115.6)
    with pytest.raises(TypeError, match="missing required keyword argument 'exc'"):
        ws.load_exp_cut(EXAMPLES / "Fe_RIXS_Cut_7113eV.DAT")
    with pytest.raises(TypeError, match="positional argument"):
        ws.load_xrf()
    with pytest.raises(TypeError, match="positional argument"):
        ws.xrf_load("extra")
    with pytest.raises(TypeError, match="exactly one of add=True or subtract=True"):
        ws.rixs_modify(mode="AB", add=True, subtract=True)
    with pytest.raises(TypeError, match="flag"):
        ws.fit_rixs(fit_scale="yes")
    with pytest.raises(TypeError, match="takes a value"):
        ws.rixs_calculate(exc=True)
    with pytest.raises(ValueError, match="finite"):
        ws.rixs_calculate(exc=float("nan"))
    with pytest.raises(ValueError, match="--normalise takes max or edge-step, not bogus"):
        ws.xafs_load(normalise="bogus")
    with pytest.raises(ValueError, match="null character"):  # the system would stop at it
        ws.load_xrf(str(EXAMPLES / "Fe_XRF_Kbeta.DAT") + "\0.bak")
    with pytest.raises(TypeError, match="progress takes a callable"):
        ws.xafs_load(progress=True)  # (a command that posts no line too)
    assert files_of(tmp_path / "ws") == before  # nothing ran, nothing was recorded


def test_help_of_each_method_begins_with_a_signature_python_reads(tmp_path):
    for name in talvern.WorkSpace(tmp_path).commands():
        line = getattr(talvern.WorkSpace, name).__doc__.split("\n")[0]
        assert line.startswith(name + "(") and line.endswith(" -> Result"), line
        ast.parse(f"def {line[:-len(' -> Result')]}: pass")  # "[X_L]" too


def test_ctrl_c_stops_a_long_command_as_stop_does(tour_ws, tmp_path):
    ws_dir = tmp_path / "ws"
    shutil.copytree(tour_ws, ws_dir)
    lines = []

    def interrupt_at_first_line(line):
        lines.append(line)
        if len(lines) == 1:
            os.kill(os.getpid(), signal.SIGINT)

    with pytest.raises(KeyboardInterrupt) as stopped:
        talvern.WorkSpace(ws_dir).rixs_plane(from_=7110, to=7130, step=0.5,
                                             progress=interrupt_at_first_line)
    assert lines and lines[0].startswith("excitation energy 1/41")
    result = stopped.value.result
    assert "stopped" in result.message
    # The run waited while the line was handed over, so it stopped after the first
    # excitation energy; the plane holds that one.
    plane = talvern.read_dat(ws_dir / "RIXS_Plane.DAT")
    assert set(plane[:, 0]) == {7110}
