"""read_dat and write_dat keep the work-space's rules: six significant digits, TAB
between values, a file replaced whole and never with a value that is not finite."""

import os

import numpy as np
import pytest

import talvern


def test_written_as_the_work_space_writes_and_read_back(tmp_path, tour_ws):
    path = tmp_path / "rows.DAT"
    rows = np.array([[7115.61234, 1.234567e-9, -0.5], [7116, 2.0, 1e20]])
    talvern.write_dat(os.fsencode(path), rows)  # a path as bytes names the same file
    assert path.read_text() == "7115.61\t1.23457e-09\t-0.5\n7116\t2\t1e+20\n"
    assert np.array_equal(talvern.read_dat(path),
                          [[7115.61, 1.23457e-9, -0.5], [7116, 2, 1e20]])
    # A file the work-space wrote reads back to the same text.
    original = (tour_ws / "Calculated_RIXS.DAT").read_text()
    calculated = talvern.read_dat(tour_ws / "Calculated_RIXS.DAT")
    assert calculated.shape == (original.count("\n"), 4)
    talvern.write_dat(path, calculated)
    assert path.read_text() == original
    # Rows of the measured set, groups apart by blank lines; one-row files.
    path.write_text("7113\t7050\t1\t0\n7113\t7051\t2\t0\n\n7058\t7110\t3\t1\n")
    assert talvern.read_dat(path).shape == (3, 4)
    assert talvern.read_dat(tour_ws / "RIXS_Calculation_Parameters.DAT").shape == (1, 7)


def test_what_cannot_be_written_or_read_is_refused(tmp_path):
    path = tmp_path / "kept.DAT"
    path.write_text("1\t2\n")
    for bad, match in [(np.array([[1.0, np.nan]]), "not finite"),
                       (np.array([1.0, 2.0]), "2-D"),
                       (np.empty((5, 0)), "at least 1 column, not 0"),
                       (np.array([["a", "b"]]), "real numbers"),
                       (np.array([[1 + 2j, 0]]), "real numbers")]:
        with pytest.raises(ValueError, match=match):
            talvern.write_dat(path, bad)
        assert path.read_text() == "1\t2\n"  # the file as it was
    assert list(tmp_path.iterdir()) == [path]  # no temporary left
    with pytest.raises(OSError):
        talvern.write_dat(tmp_path / "no folder" / "x.DAT", np.ones((1, 1)))

    path.write_text("1\t2\n3\tfour\n")
    with pytest.raises(ValueError, match="line 2 holds a word that is not a number"):
        talvern.read_dat(path)
    path.write_text("1\t2\n3\n")
    with pytest.raises(ValueError, match="line 2 holds 1 value, the first row 2"):
        talvern.read_dat(path)
    with pytest.raises(FileNotFoundError):
        talvern.read_dat(tmp_path / "missing.DAT")
    with pytest.raises(IsADirectoryError):
        talvern.read_dat(tmp_path)
    with pytest.raises(ValueError, match="null byte"):
        talvern.read_dat(str(path) + "\0.bak")
