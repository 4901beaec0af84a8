#!/usr/bin/env python3
"""Writes the seed inputs of the pipeline and dispatch fuzz targets into fuzz/corpus/.

The seeds follow the input layout that each target documents at its top: a few operations in
front of a small image for pipeline, scripted member calls for dispatch. Run it again after
changing either layout.
"""

import os
import struct

HERE = os.path.dirname(os.path.abspath(__file__))
IMAGES = os.path.join(HERE, "corpus", "picture_loader")


def write(target, name, data):
    folder = os.path.join(HERE, "corpus", target)
    os.makedirs(folder, exist_ok=True)
    with open(os.path.join(folder, name), "wb") as out:
        out.write(bytes(data))


def pipeline_seeds():
    # Operations: code, then four argument bytes (see pipeline_fuzz.cpp).
    resample = [0, 0, 40, 0, 30]
    resample_width = [0, 0, 20, 0, 0]
    crop = [1, 1, 1, 8, 6]
    text = [11, 65, 1, 24, 0x45]
    overlay = [12, 0, 8, 1, 2]
    quality = [13, 60, 0, 0, 0]
    rotate = [4, 0, 0, 0, 0]
    gamma = [8, 40, 20, 64, 0]
    save = [15, 0, 0, 0, 0]
    plans = {
        "resample": [resample],
        "thumbnail": [resample_width, quality, save],
        "crop_rotate_text": [crop, rotate, text],
        "overlay_gamma_save": [overlay, gamma, save],
        "text_overlay": [text, overlay],
    }
    for image in sorted(os.listdir(IMAGES)):
        with open(os.path.join(IMAGES, image), "rb") as f:
            data = f.read()
        stem = os.path.splitext(image)[0]
        for plan, ops in plans.items():
            prefix = [len(ops)] + [b for op in ops for b in op]
            write("pipeline", f"{stem}_{plan}", prefix + list(data))


# Member indices in the table (slot - 1) and the word list of dispatch_fuzz.cpp.
MEMBERS = [
    "OnStartPage", "OnEndPage", "OriginalWidth", "OriginalHeight", "OriginalSize", "width",
    "Height", "Size", "FontFace", "FontBold", "FontColor", "FontItalic", "FontOrientation",
    "FontSize", "FontUnderline", "FontCharset", "Quality", "Comment", "FontFace=", "FontBold=",
    "FontColor=", "FontItalic=", "FontOrientation=", "FontSize=", "FontUnderline=",
    "FontCharset=", "OpenFile", "SaveFile", "Resample", "Crop", "Flip", "Mirror", "RotateRight",
    "RotateLeft", "AddText", "AddImage", "Download", "OpenBinary", "SaveBinary", "Blur",
    "Sharpen", "Gamma", "Negative", "GreyScale", "LoadPictureFromStd", "StripNulls",
    "JPEGSkipVariables",
]
WORDS = [
    "", "LEFT", "CENTER", "RIGHT", "TOP", "BOTTOM", "a.jpg", "b.png", "c.bmp", "out.jpg",
    "\\site\\a.jpg", "../x.jpg", "%2e%2e/x", "sub/none.jpg", "FFFFFF", "00ff7G", "12345",
    "&H7FFF", "&O777", "1E400", " 12 ", "-0", "1,000.5", "NaN", "2147483648", "-32769", "#TRUE#",
    "True", "Arial", "No Such Face", "DejaVu Sans", "\\",
]


def word(text):
    return [7, WORDS.index(text)]


def i2(value):
    return [2] + list(struct.pack(">h", value))


def i4(value):
    return [3] + list(struct.pack(">i", value))


def r4(value):
    return [4] + list(struct.pack(">f", value))


def array(kind, bound=0):
    # kind: 1 JPEG, 2 PNG, 3 BMP sample; bound: index into the lower bounds of MakeArray.
    return [12, (kind << 3) | bound]


MISSING = [11, 1]


def call(member, *args):
    return [MEMBERS.index(member), 0, len(args)] + [b for a in args for b in a]


def dispatch_seeds():
    scripts = {
        "thumbnail_page": [1] + call("OpenFile", word("a.jpg")) + call("Resample", i4(4), i4(0))
        + call("Quality", i2(75)) + call("SaveFile", word("out.jpg")) + call("SaveBinary", [0]),
        "text_and_overlay": [1] + call("OpenFile", word("b.png")) + call("FontSize=", i2(12))
        + call("FontColor=", word("FFFFFF")) + call("AddText", word("LEFT"), word("RIGHT"),
                                                      word("BOTTOM"))
        + call("AddImage", word("c.bmp"), word("CENTER"), word("CENTER"), word("FFFFFF")),
        "binary_ops": [0] + call("OpenBinary", array(2)) + call("Crop", i2(1), i2(1), i2(6), i2(5))
        + call("RotateRight") + call("Gamma", r4(1.5), r4(0.5), r4(2.0)) + call("Negative")
        + call("SaveBinary", [0]),
        "bounds_and_skip": [0] + call("OpenBinary", array(1, 2)) + call("JPEGSkipVariables", i4(2))
        + call("OriginalSize") + call("StripNulls", word("")),
        "download": [1] + call("OpenFile", word("c.bmp")) + call("Blur") + call("Sharpen")
        + call("Download", word("out.jpg"), MISSING, MISSING),
        "reload_from_file": [1] + call("OpenFile", word("a.jpg")) + call("LoadPictureFromStd")
        + call("Mirror") + call("SaveFile", MISSING),
        "unknown_dispid": [0, 250] + list(struct.pack(">i", 0x60030099)) + [1, 1, 0]
        + call("OnEndPage"),
    }
    for name, script in scripts.items():
        write("dispatch", name, script)


if __name__ == "__main__":
    pipeline_seeds()
    dispatch_seeds()
