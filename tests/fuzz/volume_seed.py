#!/usr/bin/env python3
"""Turns a small NTFS image into an input of the whole-volume fuzz target:
u32 size in sectors, then {u16 sector, 512 bytes} for each sector kept.
Kept: the boot sector, the $MFT, the $Bitmap and the data of compressed
files (the decompressor wants real chunks); other file data reads as zeros,
which the decoders do not mind, and a 2 MiB volume fits in a few dozen
kilobytes. Usage: volume_seed.py IMAGE OUTPUT"""
import re
import struct
import subprocess
import sys

SECTOR = 512


def clusters_of(image, record):
    """Every cluster istat lists for a record's attributes."""
    out = subprocess.run(["istat", image, str(record)], capture_output=True, text=True).stdout
    found = set()
    in_runs = False
    for line in out.splitlines():
        if line.startswith("Type:"):
            in_runs = "Non-Resident" in line
            continue
        if in_runs and re.fullmatch(r"[\d ]+", line.strip() or "x"):
            found.update(int(c) for c in line.split())
    return found


def main():
    image, output = sys.argv[1], sys.argv[2]
    data = open(image, "rb").read()
    sectors = len(data) // SECTOR
    if sectors > 8192:
        sys.exit(f"{image}: {sectors} sectors, the target takes at most 8192")
    fsstat = subprocess.run(["fsstat", image], capture_output=True, text=True).stdout
    cluster = int(re.search(r"Cluster Size: (\d+)", fsstat).group(1))
    records = [0, 6]
    fls = subprocess.run(["fls", "-r", "-p", image], capture_output=True, text=True).stdout
    for m in re.finditer(r"(\d+)-128-\d+:\s+z/", fls):
        records.append(int(m.group(1)))
    keep = {0}
    for record in records:
        for c in clusters_of(image, record):
            keep.update(range(c * cluster // SECTOR, (c + 1) * cluster // SECTOR))
    body = bytearray(struct.pack("<I", sectors))
    for s in range(sectors):
        piece = data[s * SECTOR:(s + 1) * SECTOR]
        if s not in keep or not any(piece):
            continue
        body += struct.pack("<H", s) + piece
    open(output, "wb").write(bytes(body))


if __name__ == "__main__":
    main()
