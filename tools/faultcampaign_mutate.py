#!/usr/bin/env python3
"""Damaged copies of the game's files for tools/faultcampaign.sh.

usage: faultcampaign_mutate.py <damage> <source> <target> <seed> [<file of another kind>]
       faultcampaign_mutate.py settings <damage> <target> <seed>

File damages: truncate, empty, random, otherformat, bitflip, chunklength (3DS: a chunk length
or count changed), pngheader (PNG: absurd width, height, depth or colour type, checksum fixed).
Settings damages: random, huge, negative, text, longline, duplicate.
The seed makes every case repeatable.
"""
import random
import struct
import sys
import zlib

SETTINGS_KEYS = [
    ("game", "timeofday"), ("game", "gamemode"), ("game", "roundlength"),
    ("controls", "player1"), ("controls", "player2"), ("controls", "player3"),
    ("controls", "player4"), ("pl0", "height"), ("pl1", "height"), ("pl0", "Torso"),
    ("pl1", "Hats_and_hair"),
]


def png_header(data, rng):
    """An absurd header field of the first IHDR, with its checksum made right again."""
    if data[:8] != b"\x89PNG\r\n\x1a\n" or data[12:16] != b"IHDR":
        return bytes(rng.getrandbits(8) for _ in range(len(data)))
    ihdr = bytearray(data[16:29])
    choice = rng.choice(["wide", "tall", "zero", "huge", "colour", "depth", "interlace"])
    if choice == "wide":
        ihdr[0:8] = struct.pack(">II", 2147483647, 1)
    elif choice == "tall":
        ihdr[0:8] = struct.pack(">II", 1, 2147483647)
    elif choice == "zero":
        ihdr[0:8] = struct.pack(">II", 0, 512)
    elif choice == "huge":
        ihdr[0:8] = struct.pack(">II", 65535, 65535)
    elif choice == "colour":
        ihdr[9] = rng.choice([1, 5, 7, 255])
    elif choice == "depth":
        ihdr[8] = rng.choice([0, 3, 32, 255])
    else:
        ihdr[12] = rng.choice([2, 255])
    crc = zlib.crc32(b"IHDR" + bytes(ihdr)) & 0xFFFFFFFF
    return data[:16] + bytes(ihdr) + struct.pack(">I", crc) + data[33:]


def chunk_length(data, rng):
    """A 3DS chunk's length, or a dword inside it, set to a border value."""
    out = bytearray(data)
    if len(out) < 12:
        return bytes(out)
    # walk to a random chunk header by following lengths from the main chunk down
    pos = 6
    for _ in range(rng.randint(1, 40)):
        if pos + 6 > len(out):
            break
        length = struct.unpack_from("<I", out, pos + 2)[0]
        step = 6 if rng.random() < 0.6 else length
        if length < 6 or pos + step > len(out):
            break
        pos += step
    if pos + 10 > len(out):
        pos = 0
    value = rng.choice([0, 1, 5, 6, 0x7FFFFFFF, 0xFFFFFFFF, 0x10000, 1 << 30])
    target = pos + 2 if rng.random() < 0.5 else pos + 6 + rng.randrange(0, 4)
    if target + 4 <= len(out):
        struct.pack_into("<I", out, target, value)
    return bytes(out)


def damage_file(damage, source, target, seed, other):
    rng = random.Random(seed)
    with open(source, "rb") as f:
        data = f.read()
    if damage == "truncate":
        data = data[:rng.randrange(0, max(1, len(data)))]
    elif damage == "empty":
        data = b""
    elif damage == "random":
        data = bytes(rng.getrandbits(8) for _ in range(min(len(data), 1 << 16)))
    elif damage == "otherformat":
        with open(other, "rb") as f:
            data = f.read()
    elif damage == "bitflip":
        out = bytearray(data)
        for _ in range(rng.randint(1, 24)):
            if out:
                out[rng.randrange(len(out))] ^= 1 << rng.randrange(8)
        data = bytes(out)
    elif damage == "pngheader":
        data = png_header(data, rng)
    elif damage == "chunklength":
        data = chunk_length(data, rng)
    else:
        sys.exit("unknown damage " + damage)
    with open(target, "wb") as f:
        f.write(data)


def damage_settings(damage, target, seed):
    rng = random.Random(seed)
    if damage == "random":
        data = bytes(rng.getrandbits(8) for _ in range(rng.randint(1, 20000)))
        with open(target, "wb") as f:
            f.write(data)
        return
    sections = {}
    for section, key in SETTINGS_KEYS:
        if damage == "huge":
            value = rng.choice(["4294967297", "4294967296", "9223372036854775807",
                                "99999999999999999999999999", "2147483648", "1e308"])
        elif damage == "negative":
            value = rng.choice(["-4294967295", "-2147483649", "-1", "-9223372036854775808",
                                "-1e308"])
        elif damage == "text":
            value = rng.choice(["abc", "", "0x10", "1.5.6", "NaN", "inf", " 3", "\u00e9\u00e9"])
        elif damage == "longline":
            value = "7" * rng.choice([4096, 70000, 2 << 20])
        elif damage == "duplicate":
            value = str(rng.randint(-3, 9)) + "\n" + key + "=" + str(rng.randint(-3, 9))
        else:
            sys.exit("unknown damage " + damage)
        sections.setdefault(section, []).append(key + "=" + value)
    with open(target, "w", encoding="utf-8") as f:
        for section, lines in sections.items():
            f.write("[" + section + "]\n" + "\n".join(lines) + "\n")
            if damage == "duplicate":
                f.write("[" + section + "]\n" + lines[0] + "\n")


def main():
    if len(sys.argv) >= 5 and sys.argv[1] == "settings":
        damage_settings(sys.argv[2], sys.argv[3], int(sys.argv[4]))
    elif len(sys.argv) >= 5:
        damage_file(sys.argv[1], sys.argv[2], sys.argv[3], int(sys.argv[4]),
                    sys.argv[5] if len(sys.argv) > 5 else None)
    else:
        sys.exit(__doc__)


if __name__ == "__main__":
    main()
