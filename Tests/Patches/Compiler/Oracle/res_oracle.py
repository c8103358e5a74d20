#!/usr/bin/env python3
"""Resource files for the resource linker's tests and what must be linked.

res_oracle.py <out dir> <windres>

mixed5000.res: 5,000 resources (numbered and named, RCDATA and a type of
its own, three languages) written by windres from a script; windres reads
the file back, and mixed5000.txt lists what it found, one resource a line
("<type id> <name id> <language>", 0 for a name), sorted.
small40.res: the first 40 of them the same way (small40.txt).
plain65534.res, plain65535.res: that many RCDATA resources numbered from 1,
written here in the .res format (windres takes minutes for so many); their
lists plain65534.txt, plain65535.txt.
"""
import os
import re
import struct
import subprocess
import sys


def script(count):
    lines = []
    for i in range(1, count + 1):
        lines.append("LANGUAGE %d, %d" % ((9, 1), (7, 1), (12, 2))[i % 3])
        name = "NAMED%d" % i if i % 10 == 0 else str(i)
        kind = "QMDATA" if i % 7 == 0 else "RCDATA"
        lines.append('%s %s { "resource %d" }' % (name, kind, i))
    return "\n".join(lines) + "\n"


def read_back(windres, res):
    text = subprocess.run([windres, "-i", res, "-O", "rc"], check=True, capture_output=True, text=True).stdout
    found, language = [], 0
    for line in text.splitlines():
        m = re.match(r"LANGUAGE (\d+), (\d+)", line)
        if m:
            language = int(m.group(1)) | int(m.group(2)) << 10
            continue
        m = re.match(r'^(\S+) (\S+) MOVEABLE', line)
        if m:
            name, kind = m.group(1), m.group(2)
            type_id = 10 if kind == "RCDATA" else 0 if kind.startswith('"') else int(kind)
            name_id = 0 if name.startswith('"') else int(name)
            found.append((type_id, name_id, language))
    return found


def header(type_id, name_id, size):
    body = struct.pack("<HHHH", 0xFFFF, type_id, 0xFFFF, name_id)
    body += struct.pack("<IHHII", 0, 0x30, 0x409, 0, 0)
    return struct.pack("<II", size, 8 + len(body)) + body


def plain(path, count):
    with open(path, "wb") as out:
        out.write(header(0, 0, 0)[:8] + b"\xff\xff\x00\x00\xff\xff\x00\x00" + bytes(16))
        for i in range(1, count + 1):
            data = b"r%d" % i
            out.write(header(10, i, len(data)) + data + bytes((4 - len(data) % 4) % 4))
    return [(10, i, 0x409) for i in range(1, count + 1)]


def write_list(path, found):
    with open(path, "w") as out:
        for entry in sorted(found):
            out.write("%d %d %d\n" % entry)


def main():
    out_dir, windres = sys.argv[1], sys.argv[2]
    os.makedirs(out_dir, exist_ok=True)
    for name, count in (("small40", 40), ("mixed5000", 5000)):
        rc = os.path.join(out_dir, name + ".rc")
        res = os.path.join(out_dir, name + ".res")
        with open(rc, "w") as out:
            out.write(script(count))
        subprocess.run([windres, "-i", rc, "-o", res], check=True)
        found = read_back(windres, res)
        if len(found) != count:
            sys.exit("%s: windres read back %d resources, not %d" % (name, len(found), count))
        write_list(os.path.join(out_dir, name + ".txt"), found)
    for count in (65534, 65535):
        name = "plain%d" % count
        write_list(os.path.join(out_dir, name + ".txt"), plain(os.path.join(out_dir, name + ".res"), count))


if __name__ == "__main__":
    main()
