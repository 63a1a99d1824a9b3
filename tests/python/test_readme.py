"""The README's Python script runs as the README says and prints what its comments say."""

import os
import pathlib
import re
import subprocess
import sys

import pytest

import talvern

from conftest import EXAMPLES, ROOT


def readme_script():
    text = (ROOT / "README.md").read_text()
    section = text[text.index("## From Python"):]
    return re.search(r"```python\n(.*?)```", section, re.S).group(1)


def test_the_readme_script_draws_the_plane(tmp_path):
    pytest.importorskip("matplotlib")
    script = readme_script()
    assert '"/tmp/ws-python"' in script and '"examples/' in script
    script = script.replace('"/tmp/ws-python"', repr(str(tmp_path / "ws")))
    script = script.replace('"examples/', '"' + str(EXAMPLES) + "/")
    env = dict(os.environ, MPLCONFIGDIR=str(tmp_path / "mpl"),
               PYTHONPATH=str(pathlib.Path(talvern.__file__).parent))
    done = subprocess.run([sys.executable, "-c", script], cwd=tmp_path, env=env,
                          capture_output=True, text=True)
    assert done.returncode == 0, done.stderr
    for line in script.splitlines():
        if line.startswith("print(") and "#" in line:
            for number in re.findall(r"\d[\d.]*", line.split("#", 1)[1]):
                assert number in done.stdout, (line, done.stdout)
    picture = (tmp_path / "rixs-plane-python.png").read_bytes()
    assert picture.startswith(b"\x89PNG")
