#!/usr/bin/env python3
"""Writes the hand-made hostile images of tests/crashers/hostile/.

Each file exercises one way in which an upload can lie about itself: palette indices beyond the
palette, LZW streams that overflow their table or name codes not yet defined, BMP headers with
absurd sizes, offsets and bit counts, the largest dimensions each format can declare in a few
hundred bytes, zero-sized images, JPEG segments whose fields contradict each other. The hostile
input test runs every file below tests/crashers/ through OpenBinary, a decoding operation and
SaveBinary. Run this again to regenerate the folder after changing it.
"""

import os
import struct
import zlib

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
OUT = os.path.join(ROOT, "tests", "crashers", "hostile")
BASE_JPEG = os.path.join(ROOT, "fuzz", "corpus", "picture_loader", "colour_420_32x24.jpg")

files = {}


def put(name, data):
    assert name not in files, name
    files[name] = bytes(data)


# --------------------------------------------------------------------------------------------
# PNG


def chunk(kind, data, length=None, crc=None):
    body = kind + data
    return (struct.pack(">I", len(data) if length is None else length) + body +
            struct.pack(">I", zlib.crc32(body) if crc is None else crc))


SIGNATURE = b"\x89PNG\r\n\x1a\n"


def ihdr(width, height, depth=8, colour=2, interlace=0):
    return chunk(b"IHDR", struct.pack(">IIBBBBB", width, height, depth, colour, 0, 0, interlace))


def png(width, height, depth, colour, rows, extra=b"", interlace=0):
    raw = b"".join(b"\x00" + bytes(row) for row in rows)
    return (SIGNATURE + ihdr(width, height, depth, colour, interlace) + extra +
            chunk(b"IDAT", zlib.compress(raw)) + chunk(b"IEND", b""))


def png_files():
    palette2 = chunk(b"PLTE", bytes([255, 0, 0, 0, 0, 255]))
    # 8-bit indices 0 .. 255 over a palette of 2 colours.
    put("png_palette_index_overflow.png",
        png(16, 16, 8, 3, [[(x + 16 * y) & 255 for x in range(16)] for y in range(16)], palette2))
    # 4-bit indices 0 .. 15 over a palette of 1 colour, with a tRNS longer than the palette.
    put("png_palette4_one_entry_long_trns.png",
        png(8, 2, 4, 3, [[0x01, 0x23, 0x45, 0x67], [0x89, 0xAB, 0xCD, 0xEF]],
            chunk(b"PLTE", bytes([9, 9, 9])) + chunk(b"tRNS", bytes(range(40)))))
    put("png_palette_without_plte.png", png(4, 4, 8, 3, [[0, 1, 2, 3]] * 4))
    put("png_idat_before_plte.png",
        SIGNATURE + ihdr(4, 1, 8, 3) + chunk(b"IDAT", zlib.compress(b"\x00\x00\x01\x00\x01")) +
        palette2 + chunk(b"IEND", b""))
    # The largest sizes: libpng's own limits, a size whose low 16 bits read 0, 32767 x 32767.
    for w, h, name in [(0x7FFFFFFF, 0x7FFFFFFF, "int_max"), (0x7FFF, 0x7FFF, "32767"),
                       (0x10000, 1, "65536x1"), (1, 0x7FFFFFFF, "1xint_max"),
                       (0xFFFFFFFF, 1, "uint_max")]:
        put(f"png_declares_{name}.png",
            SIGNATURE + ihdr(w, h) + chunk(b"IDAT", zlib.compress(b"\x00" * 64)) +
            chunk(b"IEND", b""))
    for w, h in [(0, 0), (0, 5), (5, 0)]:
        put(f"png_zero_{w}x{h}.png", SIGNATURE + ihdr(w, h) + chunk(b"IEND", b""))
    # A row count that the compressed data does not hold; data that decompresses to far more
    # than the rows need (1 MiB of zeros in about a kilobyte).
    put("png_idat_short.png", png(64, 64, 8, 0, [[0] * 64] * 3))
    put("png_idat_inflates_far_beyond.png",
        SIGNATURE + ihdr(16, 16, 8, 0) + chunk(b"IDAT", zlib.compress(b"\x00" * (1 << 20), 9)) +
        chunk(b"IEND", b""))
    put("png_idat_not_zlib.png",
        SIGNATURE + ihdr(8, 8, 8, 0) + chunk(b"IDAT", b"\xff" * 40) + chunk(b"IEND", b""))
    put("png_idat_length_int_max.png",
        SIGNATURE + ihdr(8, 8, 8, 0) + chunk(b"IDAT", zlib.compress(b"\x00" * 72),
                                             length=0x7FFFFFFF) + chunk(b"IEND", b""))
    put("png_idat_length_uint_max.png",
        SIGNATURE + ihdr(8, 8, 8, 0) + chunk(b"IDAT", b"", length=0xFFFFFFFF))
    put("png_crc_wrong.png",
        SIGNATURE + ihdr(8, 8, 8, 0) + chunk(b"IDAT", zlib.compress(b"\x00" * 72), crc=0) +
        chunk(b"IEND", b""))
    put("png_no_iend.png", SIGNATURE + ihdr(8, 8, 8, 0) + chunk(b"IDAT", zlib.compress(b"\0" * 72)))
    put("png_bad_depth.png", SIGNATURE + ihdr(8, 8, 3, 2) + chunk(b"IEND", b""))
    put("png_bad_colour_type.png", SIGNATURE + ihdr(8, 8, 8, 5) + chunk(b"IEND", b""))
    put("png_bad_filter_bytes.png",
        SIGNATURE + ihdr(4, 4, 8, 0) + chunk(b"IDAT", zlib.compress(bytes([9, 1, 2, 3, 4] * 4))) +
        chunk(b"IEND", b""))
    put("png_interlaced_1x1_16bit_alpha.png", png(1, 1, 16, 6, [[1, 2, 3, 4, 5, 6, 7, 8]],
                                                    interlace=1))
    put("png_signature_only.png", SIGNATURE)
    put("png_ihdr_short.png", SIGNATURE + chunk(b"IHDR", b"\x00\x00\x00\x08"))
    put("png_23_bytes.png", (SIGNATURE + ihdr(8, 8))[:23])


# --------------------------------------------------------------------------------------------
# GIF


def pack_codes(codes):
    """Packs (code, width) pairs LSB first, as GIF's LZW does."""
    out = bytearray()
    acc = 0
    bits = 0
    for code, width in codes:
        acc |= code << bits
        bits += width
        while bits >= 8:
            out.append(acc & 255)
            acc >>= 8
            bits -= 8
    if bits:
        out.append(acc & 255)
    return bytes(out)


def sub_blocks(data, terminate=True):
    out = bytearray()
    for i in range(0, len(data), 255):
        piece = data[i:i + 255]
        out.append(len(piece))
        out += piece
    if terminate:
        out.append(0)
    return bytes(out)


def literal_codes(pixels, min_size):
    """An LZW stream that sends every pixel as a literal, clearing before the width grows."""
    clear = 1 << min_size
    width = min_size + 1
    codes = [(clear, width)]
    next_code = clear + 2
    for p in pixels:
        codes.append((p, width))
        next_code += 1
        if next_code >= (1 << width) - 1:
            codes.append((clear, width))
            next_code = clear + 2
    codes.append((clear + 1, width))
    return pack_codes(codes)


def gif(screen_w, screen_h, frame, table_bits=1, global_table=True, trailer=True, extra=b""):
    flags = (0x80 | table_bits - 1) if global_table else 0
    head = b"GIF89a" + struct.pack("<HHBBB", screen_w, screen_h, flags, 0, 0)
    table = bytes((i * 37) & 255 for i in range(3 * (1 << table_bits))) if global_table else b""
    return head + table + extra + frame + (b";" if trailer else b"")


def frame(left, top, w, h, min_size, data, local_bits=0, interlace=False, raw=False):
    flags = (0x80 | local_bits - 1 if local_bits else 0) | (0x40 if interlace else 0)
    desc = b"," + struct.pack("<HHHHB", left, top, w, h, flags)
    local = bytes(3 * (1 << local_bits)) if local_bits else b""
    return desc + local + bytes([min_size]) + (data if raw else sub_blocks(data))


def gif_files():
    pixels = [i & 255 for i in range(256)]
    put("gif_palette_index_overflow.gif",
        gif(16, 16, frame(0, 0, 16, 16, 8, literal_codes(pixels, 8))))
    put("gif_local_palette_index_overflow_interlaced.gif",
        gif(16, 16, frame(0, 0, 16, 16, 8, literal_codes(pixels, 8), local_bits=1,
                          interlace=True)))
    # Literals without a clear code fill the table to 4096 entries and go on at 12 bits.
    codes = [(4, 3)]
    next_code, width = 6, 3
    for i in range(6000):
        codes.append((i & 3, width))
        if next_code < 4096:
            next_code += 1
            if next_code == (1 << width) and width < 12:
                width += 1
    codes.append((5, width))
    put("gif_lzw_table_overflow.gif", gif(100, 100, frame(0, 0, 100, 100, 2, pack_codes(codes)),
                                          table_bits=2))
    # A code beyond the next free entry, as the first code after a clear, and later.
    put("gif_lzw_code_not_yet_defined.gif",
        gif(8, 8, frame(0, 0, 8, 8, 2, pack_codes([(4, 3), (7, 3), (1, 3), (5, 3)])),
            table_bits=2))
    put("gif_lzw_code_not_yet_defined_later.gif",
        gif(8, 8, frame(0, 0, 8, 8, 2, pack_codes([(4, 3), (1, 3), (2, 3), (7, 3), (7, 3),
                                                    (15, 4), (5, 4)])), table_bits=2))
    # More pixels than the frame holds, and a stream that ends without its end code.
    put("gif_lzw_more_pixels_than_frame.gif",
        gif(4, 4, frame(0, 0, 4, 4, 8, literal_codes([1] * 400, 8))))
    put("gif_lzw_no_end_code.gif",
        gif(16, 16, frame(0, 0, 16, 16, 2, pack_codes([(4, 3)] + [(1, 3)] * 5)), table_bits=2,
            trailer=False))
    for size in (0, 1, 9, 11, 12, 255):
        put(f"gif_lzw_min_code_size_{size}.gif",
            gif(8, 8, frame(0, 0, 8, 8, size, b"\x00\x01\x02\x03\x04\x05")))
    put("gif_sub_block_past_end.gif",
        gif(8, 8, frame(0, 0, 8, 8, 2, b"\xff" + b"\x44" * 10, raw=True), table_bits=2,
            trailer=False))
    put("gif_frame_far_outside_screen.gif",
        gif(10, 10, frame(65000, 65000, 100, 100, 2, literal_codes([1] * 50, 2)), table_bits=2))
    put("gif_frame_larger_than_screen.gif",
        gif(4, 4, frame(2, 2, 300, 300, 2, literal_codes([1, 2, 3] * 40, 2)), table_bits=2))
    # The largest sizes: 65535 (whose size field overflows the signed size read), 32767, and a
    # small screen with a frame of the largest size.
    tiny = frame(0, 0, 1, 1, 2, literal_codes([1], 2))
    put("gif_declares_65535x65535.gif", gif(65535, 65535, tiny, table_bits=2))
    put("gif_declares_32767x32767.gif", gif(32767, 32767, tiny, table_bits=2))
    put("gif_frame_declares_65535x65535.gif",
        gif(1, 1, frame(0, 0, 65535, 65535, 2, literal_codes([1], 2)), table_bits=2))
    put("gif_screen_0x0_frame_65535x65535.gif",
        gif(0, 0, frame(0, 0, 65535, 65535, 2, literal_codes([1], 2)), table_bits=2))
    # Zero sizes.
    put("gif_zero_screen_zero_frame.gif", gif(0, 0, frame(0, 0, 0, 0, 2, literal_codes([], 2)),
                                               table_bits=2))
    put("gif_zero_screen_frame_5x5.gif", gif(0, 0, frame(0, 0, 5, 5, 2, literal_codes([1] * 25, 2)),
                                              table_bits=2))
    put("gif_zero_frame.gif", gif(8, 8, frame(3, 3, 0, 0, 2, literal_codes([], 2)), table_bits=2))
    put("gif_no_colour_table.gif",
        gif(4, 4, frame(0, 0, 4, 4, 2, literal_codes([1] * 16, 2)), global_table=False))
    put("gif_no_image.gif", gif(4, 4, b"", table_bits=2))
    put("gif_extension_without_end.gif",
        gif(4, 4, b"", table_bits=2, trailer=False, extra=b"\x21\xf9\x04\x01\x00\x00\x07"))
    put("gif_graphic_control_short_block.gif",
        gif(4, 4, frame(0, 0, 4, 4, 2, literal_codes([1] * 16, 2)), table_bits=2,
            extra=b"\x21\xf9\x01\x01\x00"))
    put("gif_header_only.gif", b"GIF89a\x10\x00")


# --------------------------------------------------------------------------------------------
# BMP


def bmp(width, height, bits, compression=0, pixels=b"", palette=b"", info_size=40, offset=None,
        colours_used=0, masks=b"", file_size=None, image_size=0):
    info = struct.pack("<IiiHHIIiiII", info_size, width, height, 1, bits, compression, image_size,
                       0, 0, colours_used, 0)
    if 40 < info_size <= 124:
        info += masks.ljust(info_size - 40, b"\0")[:info_size - 40]
    else:
        info += masks
    header_end = 14 + len(info) + len(palette)
    data_offset = header_end if offset is None else offset
    total = header_end + len(pixels)
    head = b"BM" + struct.pack("<IHHI", total if file_size is None else file_size, 0, 0,
                               data_offset)
    return head + info + palette + pixels


def bmp_files():
    two = bytes([0, 0, 255, 0, 255, 255, 255, 0])
    # Palette indices beyond a palette of two entries (8 and 4 bits), and a count of colours
    # larger than any palette.
    put("bmp_palette_index_overflow_8bit.bmp",
        bmp(16, 4, 8, pixels=bytes(range(192, 256)), palette=two, colours_used=2))
    put("bmp_palette_index_overflow_4bit.bmp",
        bmp(8, 2, 4, pixels=b"\x01\x2f\xff\xee\x01\x2f\xff\xee", palette=two, colours_used=2))
    put("bmp_colours_used_uint_max.bmp",
        bmp(4, 4, 8, pixels=bytes(16), palette=two, colours_used=0xFFFFFFFF))
    put("bmp_palette_index_overflow_rle8.bmp",
        bmp(8, 2, 8, 1, pixels=b"\x08\xff\x00\x00\x00\x03\xfe\xfd\xfc\x00\x00\x01", palette=two,
            colours_used=2))
    # Absurd sizes.
    for w, h, name in [(0x7FFFFFFF, 1, "width_int_max"), (1, 0x7FFFFFFF, "height_int_max"),
                       (1, -0x80000000, "height_int_min"), (-1, 1, "width_negative"),
                       (0x7FFF, 0x7FFF, "32767x32767"), (0x10000, 1, "width_65536"),
                       (65535, 65535, "65535x65535"), (0x7FFF7FFF, 0x7FFF7FFF, "low_words_32767")]:
        put(f"bmp_{name}.bmp", bmp(w, h, 24, pixels=bytes(64)))
    for w, h in [(0, 0), (0, 4), (4, 0)]:
        put(f"bmp_zero_{w}x{h}.bmp", bmp(w, h, 24, pixels=bytes(64)))
    put("bmp_rle8_largest_from_tiny_data.bmp", bmp(0x7FFF, 0x7FFF, 8, 1, pixels=b"\x00\x01"))
    # Bit counts.
    for bits in (0, 2, 3, 7, 12, 48, 64, 0xFFFF):
        put(f"bmp_bit_count_{bits}.bmp", bmp(4, 4, bits, pixels=bytes(256)))
    # Offsets and header sizes.
    for offset, name in [(0xFFFFFFFF, "uint_max"), (0, "zero"), (13, "inside_file_header"),
                         (40, "inside_info_header"), (0x7FFFFFFF, "int_max")]:
        put(f"bmp_offset_{name}.bmp", bmp(4, 4, 24, pixels=bytes(64), offset=offset))
    put("bmp_offset_in_palette.bmp",
        bmp(4, 4, 8, pixels=bytes(16), palette=two * 4, offset=14 + 40 + 4))
    for size in (0, 8, 41, 64, 0xFFFFFFFF, 1000):
        put(f"bmp_header_size_{size}.bmp", bmp(4, 4, 24, pixels=bytes(64), info_size=size))
    put("bmp_file_size_lies.bmp", bmp(4, 4, 24, pixels=bytes(64), file_size=0xFFFFFFFF))
    put("bmp_image_size_lies.bmp", bmp(4, 4, 24, pixels=bytes(64), image_size=0xFFFFFFFF))
    put("bmp_truncated_rows.bmp", bmp(100, 100, 24, pixels=bytes(1000)))
    # Bit fields.
    for name, bits, masks in [
        ("zero", 32, struct.pack("<III", 0, 0, 0)),
        ("overlapping", 32, struct.pack("<III", 0xFF00, 0x0FF0, 0x00FF)),
        ("not_contiguous", 16, struct.pack("<III", 0x5, 0x30, 0x300)),
        ("wider_than_pixel", 16, struct.pack("<III", 0xFF0000, 0xFF00, 0xFF)),
        ("all_bits", 32, struct.pack("<III", 0xFFFFFFFF, 0xFFFFFFFF, 0xFFFFFFFF)),
        ("one_bit", 16, struct.pack("<III", 0x8000, 0x1, 0x2)),
    ]:
        put(f"bmp_bit_fields_{name}.bmp", bmp(3, 2, bits, 3, pixels=bytes(32), masks=masks))
    put("bmp_bit_fields_with_8_bits.bmp",
        bmp(3, 2, 8, 3, pixels=bytes(32), masks=struct.pack("<III", 1, 2, 4)))
    put("bmp_bit_fields_masks_cut_off.bmp", bmp(3, 2, 32, 3)[:60])
    put("bmp_alpha_bit_fields_v5.bmp",
        bmp(2, 2, 32, 6, pixels=bytes(range(16)), info_size=124,
            masks=struct.pack("<IIII", 0xFF0000, 0xFF00, 0xFF, 0xFF000000)))
    # Run-length data that runs off the bitmap in every direction.
    rle_cases = {
        "delta_past_end": b"\x00\x02\xff\xff\x02\x05\x00\x01",
        "delta_beyond_width": b"\x00\x02\xf0\x00\x04\x07\x00\x00\x00\x01",
        "run_past_row": b"\xff\x03\x00\x00\x00\x01",
        "literal_past_end": b"\x00\xff\x01\x02",
        "literal_past_row": b"\x00\x20" + bytes(range(32)) + b"\x00\x01",
        "no_end_of_bitmap": b"\x04\x01\x00\x00",
        "end_of_line_only": b"\x00\x00" * 20,
        "escape_cut_off": b"\x00",
    }
    for name, data in rle_cases.items():
        put(f"bmp_rle8_{name}.bmp", bmp(8, 4, 8, 1, pixels=data, palette=two, colours_used=2))
        put(f"bmp_rle4_{name}.bmp", bmp(8, 4, 4, 2, pixels=data, palette=two, colours_used=2))
    put("bmp_rle4_odd_literal.bmp",
        bmp(7, 1, 4, 2, pixels=b"\x00\x07\x12\x34\x50\x00\x00\x01", palette=two, colours_used=2))
    put("bmp_rle8_top_down.bmp", bmp(4, -4, 8, 1, pixels=b"\x04\x01\x00\x01", palette=two))
    put("bmp_rle8_with_24_bits.bmp", bmp(4, 4, 24, 1, pixels=b"\x04\x01\x00\x01"))
    put("bmp_rle_huge_height_tiny_data.bmp", bmp(1000, 1000, 8, 1, pixels=b"\x00\x00" * 4))
    for compression in (4, 5, 7, 0xFFFFFFFF):
        put(f"bmp_compression_{compression}.bmp", bmp(4, 4, 24, compression, pixels=bytes(64)))
    put("bmp_core_header_huge.bmp",
        b"BM" + struct.pack("<IHHI", 0, 0, 0, 26) + struct.pack("<IHHHH", 12, 65535, 65535, 1, 24)
        + bytes(16))
    put("bmp_core_header_bits_16.bmp",
        b"BM" + struct.pack("<IHHI", 0, 0, 0, 26) + struct.pack("<IHHHH", 12, 2, 2, 1, 16)
        + bytes(16))
    put("bmp_17_bytes.bmp", b"BM" + bytes(15))
    put("bmp_23_bytes.bmp", bmp(4, 4, 24)[:23])


# --------------------------------------------------------------------------------------------
# JPEG


def segments(data):
    """(marker, start, length) of each segment before the scan data."""
    out = []
    i = 2
    while i + 4 <= len(data) and data[i] == 0xFF:
        marker = data[i + 1]
        length = data[i + 2] << 8 | data[i + 3]
        out.append((marker, i, length))
        if marker == 0xDA:
            break
        i += 2 + length
    return out


def jpeg_files():
    with open(BASE_JPEG, "rb") as f:
        base = f.read()
    segs = segments(base)
    sof = next(s for s in segs if s[0] == 0xC0)
    sos = next(s for s in segs if s[0] == 0xDA)
    sof_at = sof[1]

    def with_bytes(at, replacement, source=base):
        data = bytearray(source)
        data[at:at + len(replacement)] = replacement
        return bytes(data)

    def with_size(w, h):
        return with_bytes(sof_at + 5, struct.pack(">HH", h, w))

    for w, h, name in [(65535, 65535, "65535x65535"), (32767, 32767, "32767x32767"),
                       (65500, 1, "65500x1"), (1, 32767, "1x32767"), (0, 0, "0x0"),
                       (0, 24, "0x24"), (32, 0, "32x0")]:
        put(f"jpeg_declares_{name}.jpg", with_size(w, h))
    put("jpeg_precision_12.jpg", with_bytes(sof_at + 4, b"\x0c"))
    put("jpeg_precision_16.jpg", with_bytes(sof_at + 4, b"\x10"))
    put("jpeg_precision_0.jpg", with_bytes(sof_at + 4, b"\x00"))
    put("jpeg_sof_0_components.jpg", with_bytes(sof_at + 9, b"\x00"))
    put("jpeg_sof_255_components.jpg", with_bytes(sof_at + 9, b"\xff"))
    put("jpeg_sampling_4x4.jpg", with_bytes(sof_at + 11, b"\x44"))
    put("jpeg_sampling_0x0.jpg", with_bytes(sof_at + 11, b"\x00"))
    put("jpeg_sampling_3x3_chroma_4x4.jpg", with_bytes(sof_at + 11, b"\x33\x00\x02\x44"))
    put("jpeg_quant_table_15.jpg", with_bytes(sof_at + 12, b"\x0f"))
    put("jpeg_duplicate_component_ids.jpg", with_bytes(sof_at + 13, b"\x01"))
    put("jpeg_sof_arithmetic.jpg", with_bytes(sof_at + 1, b"\xc9"))
    put("jpeg_sof_lossless.jpg", with_bytes(sof_at + 1, b"\xc3"))
    put("jpeg_sof_progressive_with_baseline_scan.jpg", with_bytes(sof_at + 1, b"\xc2"))
    sos_at = sos[1]
    put("jpeg_sos_unknown_component.jpg", with_bytes(sos_at + 5, b"\x09"))
    put("jpeg_sos_0_components.jpg", with_bytes(sos_at + 4, b"\x00"))
    put("jpeg_sos_4_components.jpg", with_bytes(sos_at + 4, b"\x04"))
    put("jpeg_sos_huffman_table_3.jpg", with_bytes(sos_at + 6, b"\x33"))
    put("jpeg_sos_spectral_selection_absurd.jpg", with_bytes(sos_at + 11, b"\x3f\x00\xff"))
    # A Huffman table whose code counts add up to more than 256 codes.
    dht = next(s for s in segs if s[0] == 0xC4)
    put("jpeg_dht_counts_overflow.jpg", with_bytes(dht[1] + 5, bytes([0xFF] * 16)))
    put("jpeg_dht_class_7.jpg", with_bytes(dht[1] + 4, b"\x70"))
    dqt = next(s for s in segs if s[0] == 0xDB)
    put("jpeg_dqt_precision_15.jpg", with_bytes(dqt[1] + 4, b"\xf0"))
    put("jpeg_dqt_zero_values.jpg", with_bytes(dqt[1] + 5, bytes(64)))
    # Segment lengths: below 2, beyond the data, and cut in the middle of a length field.
    app0 = segs[0][1]
    put("jpeg_length_0.jpg", with_bytes(app0 + 2, b"\x00\x00"))
    put("jpeg_length_1.jpg", with_bytes(app0 + 2, b"\x00\x01"))
    put("jpeg_length_beyond_data.jpg", with_bytes(app0 + 2, b"\xff\xff"))
    put("jpeg_sof_length_short.jpg", with_bytes(sof_at + 2, b"\x00\x08"))
    put("jpeg_sof_length_long.jpg", with_bytes(sof_at + 2, b"\x01\x00"))
    put("jpeg_cut_in_length.jpg", base[:app0 + 3])
    put("jpeg_no_frame.jpg", b"\xff\xd8\xff\xe0\x00\x04ab\xff\xd9")
    put("jpeg_soi_only.jpg", b"\xff\xd8")
    put("jpeg_three_bytes.jpg", b"\xff\xd8\xff")
    put("jpeg_fill_bytes_forever.jpg", b"\xff\xd8" + b"\xff" * 5000)
    put("jpeg_frame_after_scan_data.jpg", base[:sof_at] + base[sos_at:] + base[sof_at:sos_at])
    put("jpeg_restart_interval_1_without_markers.jpg",
        base[:sos_at] + b"\xff\xdd\x00\x04\x00\x01" + base[sos_at:])
    put("jpeg_scan_data_cut.jpg", base[:sos_at + 20])
    put("jpeg_two_frames.jpg", base[:sos_at] + base[sof_at:sof_at + 2 + sof[2]] + base[sos_at:])
    put("jpeg_huge_app_segments.jpg",
        base[:2] + (b"\xff\xe1\xff\xff" + bytes(65533)) * 2 + base[2:])


def main():
    png_files()
    gif_files()
    bmp_files()
    jpeg_files()
    os.makedirs(OUT, exist_ok=True)
    for name in os.listdir(OUT):
        if name.endswith((".png", ".gif", ".bmp", ".jpg")):
            os.remove(os.path.join(OUT, name))
    for name, data in sorted(files.items()):
        with open(os.path.join(OUT, name), "wb") as out:
            out.write(data)
    print(f"{len(files)} files in {os.path.relpath(OUT, ROOT)}")


if __name__ == "__main__":
    main()
