# python3 -m corvella.batch on a local Dask cluster of two worker processes: the outputs of
# `corvella convert --batch` byte for byte, failures reported per file, and refused command lines.
import os
import subprocess
import sys

import pytest

IMAGES = os.path.join(os.environ["CORVELLA_TEST_DATA"], "images")
INPUTS = [os.path.join(IMAGES, name) for name in
          ("egret_600x450.jpg", "snake_600x450.gif", "coffee_rgb_600x400.png", "SOURCES.md")]
INPUTS.append("missing.jpg")


def batch(*args, cwd):
    return subprocess.run([sys.executable, "-m", "corvella.batch", "--workers", "2", *args],
                          cwd=cwd, capture_output=True, text=True, timeout=300)


@pytest.fixture(scope="module")
def command(tmp_path_factory):
    folder = tmp_path_factory.mktemp("command")
    done = subprocess.run([os.environ["CORVELLA_CLI"], "convert", "--batch", "--out-dir", "out",
                           "--resample", "160,0", *INPUTS], cwd=folder, capture_output=True, text=True)
    return folder / "out", done


@pytest.mark.parametrize("ship", [[], ["--ship-bytes"]])
def test_batch_writes_and_reports_what_the_command_does(tmp_path, command, ship):
    expected, told = command
    done = batch(*INPUTS, "--out-dir", "out", "--resample", "160,0", *ship, cwd=tmp_path)
    assert done.returncode == told.returncode == 1, done.stderr
    # Dask may warn of its own affairs on a busy machine (slow scratch folders): not compared.
    lines = [line for line in done.stderr.splitlines() if ": error " in line or line.startswith("converted")]
    assert sorted(lines[:-1]) == sorted(told.stderr.splitlines()[:-1]) and len(lines) == 3
    assert lines[-1] == told.stderr.splitlines()[-1] == "converted 3 of 5 files into out; 2 failed"
    written = sorted(os.listdir(tmp_path / "out"))
    assert written == sorted(os.listdir(expected)) and len(written) == 3
    for name in written:
        assert (tmp_path / "out" / name).read_bytes() == (expected / name).read_bytes(), name


@pytest.mark.parametrize("args, message", [
    ([INPUTS[0], INPUTS[0], "--out-dir", "o", "--resample", "9,0"], "would both be written to"),
    ([INPUTS[0], "--out-dir", "o", "--resample", "9"], "is not W,H"),
    ([INPUTS[0], "--resample", "9,0"], "--out-dir")])
def test_faulty_command_lines_convert_nothing(tmp_path, args, message):
    done = batch(*args, cwd=tmp_path)
    assert done.returncode == 2 and message in done.stderr and not os.path.exists(tmp_path / "o")
