# The corvella module through Python: its members against the component's member table, errors,
# bytes and numpy round trips (pixels against Pillow), threads, and the type stubs; then
# python3 -m corvella.batch on a local Dask cluster of two worker processes: the outputs of
# `corvella convert --batch` byte for byte, failures reported per file, and refused command lines.
import ast
import os
import pickle
import subprocess
import sys
import threading
import time

import numpy as np
import pytest
from PIL import Image

import corvella

IMAGES = os.path.join(os.environ["CORVELLA_TEST_DATA"], "images")
EGRET = os.path.join(IMAGES, "egret_600x450.jpg")


def opened(name=EGRET):
    picture = corvella.Pictron()
    picture.OpenFile(name)
    return picture


def test_every_member_of_the_table_is_an_attribute_with_its_docstring():
    table = subprocess.run([os.environ["CORVELLA_CLI"], "members"], capture_output=True,
                           text=True, check=True).stdout.splitlines()[1:]
    names = {line.split()[1] for line in table}
    assert len(table) == 47 and len(names) == 39
    for name in names:
        assert getattr(corvella.Pictron, name).__doc__, name
    stubs = ast.parse(open(os.path.join(os.path.dirname(corvella.__file__), "__init__.pyi")).read())
    pictron = next(node for node in stubs.body if getattr(node, "name", "") == "Pictron")
    assert {node.name for node in pictron.body} == names | {"__init__", "to_numpy"}


@pytest.mark.parametrize("name, value, read", [
    ("FontFace", "", ""), ("FontSize", 14, 14), ("FontSize", -3, -3), ("FontBold", True, True),
    ("FontBold", 0, False), ("FontColor", "FF00FF", "FF00FF"), ("FontColor", "red", "000000"),
    ("FontItalic", True, True), ("FontOrientation", -90, -90), ("FontCharset", 70000, 70000)])
def test_properties_store_as_scripts_see_them(name, value, read):
    picture = corvella.Pictron()
    setattr(picture, name, value)
    assert getattr(picture, name) == read


def test_properties_without_get_or_let_and_in_out_parameters():
    picture = opened()
    with pytest.raises(AttributeError):
        picture.width = 3
    with pytest.raises(AttributeError):
        picture.Quality
    picture.Quality = 60
    assert (picture.OriginalWidth, picture.width, picture.Height) == (600, 600, 450)
    assert picture.Resample(200, 0) == (200, 150)
    assert picture.Crop(10, 10, 500, 20) == (10, 10, 200, 20)
    assert picture.StripNulls("ab\0\0") == "ab" and picture.JPEGSkipVariables(4) == 20


@pytest.mark.parametrize("call, number", [
    (lambda p: p.OpenFile(""), -2147220504), (lambda p: p.OpenFile("no such.jpg"), -2147220474),
    (lambda p: p.OpenBinary(b"not an image"), -2147220494), (lambda p: p.Flip(), -2146828279),
    (lambda p: p.Resample("x", 1), -2146828275), (lambda p: setattr(p, "FontSize", 1 << 40), -2146828282),
    (lambda p: p.Resample(1), -2146827839), (lambda p: p.Resample(1, 2, 3), -2146827838)])
def test_errors_carry_what_a_script_sees(call, number):
    with pytest.raises(corvella.Error) as raised:
        call(corvella.Pictron())
    error = raised.value
    assert isinstance(error, Exception) and error.number == number
    assert error.source == "Corvella.Pictron" and error.description in str(error)
    assert pickle.loads(pickle.dumps(error)).number == number


def test_bytes_round_trips():
    data = open(EGRET, "rb").read()
    for given in (data, bytearray(data), memoryview(data), np.frombuffer(data, np.uint8)):
        picture = corvella.Pictron()
        picture.OpenBinary(given)
        assert picture.SaveBinary() == data  # an untouched image passes through unchanged
    spread = np.zeros(2 * len(data), np.uint8)
    spread[::2] = np.frombuffer(data, np.uint8)
    picture.OpenBinary(memoryview(spread)[::2])  # not contiguous
    picture.Mirror()
    assert Image.open(__import__("io").BytesIO(picture.SaveBinary())).size == (600, 450)


# Every bundled image but the 16-bit PNGs, which Pillow reduces to 8 bits another way, and the
# top-down BMP, which the component refuses.
PILLOW_SAME = sorted(name for name in os.listdir(IMAGES)
                     if not name.endswith((".md", "16.png", "topdown_600x450.bmp")))


@pytest.mark.parametrize("name", PILLOW_SAME)
def test_to_numpy_gives_the_pixels_that_pillow_decodes(name):
    array = opened(os.path.join(IMAGES, name)).to_numpy()
    assert array.dtype == np.uint8 and array.flags.c_contiguous
    np.testing.assert_array_equal(array, np.asarray(Image.open(os.path.join(IMAGES, name)).convert("RGB")))


def test_from_numpy_takes_rgb_and_grey_arrays_with_any_strides():
    rgb = np.asarray(Image.open(os.path.join(IMAGES, "coffee_rgb_600x400.png")).convert("RGB"))
    grey = np.asarray(Image.open(os.path.join(IMAGES, "camera_grey_512x512.png")))
    for array in (rgb, rgb[::-1, ::2], rgb.transpose(1, 0, 2), np.asfortranarray(rgb)):
        np.testing.assert_array_equal(corvella.from_numpy(array).to_numpy(), array)
    for array in (grey, grey[:, :, None], grey.T):
        grey2d = array.reshape(array.shape[:2])
        np.testing.assert_array_equal(corvella.from_numpy(array).to_numpy(), np.dstack([grey2d] * 3))
    made = corvella.from_numpy(rgb)
    made.Resample(300, 0)
    assert Image.open(__import__("io").BytesIO(made.SaveBinary())).format == "JPEG"
    with pytest.raises(TypeError):
        corvella.from_numpy(rgb.astype(np.uint16))
    with pytest.raises(ValueError):
        corvella.from_numpy(np.zeros((4, 4, 4), np.uint8))


DRAGONFLY = os.path.join(IMAGES, "dragonfly_4224x3168_prog.jpg")


def test_python_runs_while_a_member_decodes():
    picture = corvella.Pictron()
    picture.OpenFile(DRAGONFLY)
    inside = threading.Event()
    done = threading.Event()

    def decode():
        inside.set()
        picture.Resample(800, 0)  # decodes 13 megapixels first
        done.set()

    def count(stop):
        n, started = 0, time.perf_counter()
        while not stop():
            n += 1
        return n / (time.perf_counter() - started)

    solo = count(lambda n=iter(range(200000)): next(n, None) is None)
    thread = threading.Thread(target=decode)
    thread.start()
    inside.wait()
    rate = count(done.is_set)
    thread.join()
    # With the GIL held for the call this thread could not count at all meanwhile.
    assert rate > solo * 0.3, f"counted {rate:.0f}/s beside the member, {solo:.0f}/s alone"


def test_threads_may_share_one_object():
    picture = opened()
    threads = [threading.Thread(target=lambda: [picture.Mirror() for _ in range(50)]) for _ in range(4)]
    for thread in threads:
        thread.start()
    for thread in threads:
        thread.join()
    np.testing.assert_array_equal(picture.to_numpy(), opened().to_numpy())  # 200 mirrors


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
