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
def expected(tmp_path_factory):
    folder = tmp_path_factory.mktemp("command")
    subprocess.run([os.environ["CORVELLA_CLI"], "convert", "--batch", "--out-dir", "out",
                    "--resample", "160,0", *INPUTS], cwd=folder, capture_output=True)
    return folder / "out"


@pytest.mark.parametrize("ship", [[], ["--ship-bytes"]])
def test_batch_writes_what_the_command_writes_and_reports_each_failure(tmp_path, expected, ship):
    done = batch(*INPUTS, "--out-dir", "out", "--resample", "160,0", *ship, cwd=tmp_path)
    assert done.returncode == 1, done.stderr
    lines = done.stderr.splitlines()
    assert f"{INPUTS[3]}: error -2147220494 (Corvella.Pictron): Format not supported (Error 1010)" in lines
    assert "missing.jpg: error -2147220474 (Corvella.Pictron): File not found (Error 1030)" in lines
    assert lines[-1] == "converted 3 of 5 files into out; 2 failed"
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
