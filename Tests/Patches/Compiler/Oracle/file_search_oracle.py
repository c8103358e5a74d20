#!/usr/bin/env python3
"""The file-search oracle: a small tree with mixed-case and non-ASCII names
and fixed times, the search lists the compiler is given, and for each query
the file the compiler must find -- by Python's own directory listing
(os.scandir), its case as on disk, and its age (os.stat, time.localtime,
packed as a DOS date/time) -- plus a map text and its CR LF form.

Writes into <out>: files-tree/, lists.txt ("kind TAB dir"), queries.txt
("kind TAB dir TAB name TAB path TAB age"; dir "-" for none, age in hex,
0 and the name itself when nothing is found), map-input.txt, map-expected.txt.
"""
import os
import shutil
import sys
import time

TREE = {
    "Alpha": ["Unit1.pas", "\u00dcnit\u00c4.pas", "Shared.inc", "Readme.TXT"],
    "beta": ["unit2.PAS", "Shared.inc", "Mixed.Inc"],
    "G\u00e4mma": ["\u00dcnit3.pas", "Form1.dfm"],
    "Delta": ["unit1.pas", "Unit4.pas"],
}
LISTS = [(1, "Alpha"), (1, "beta\\"), (1, "G\u00e4mma"), (0, "Delta"), (5, "Delta"), (5, "Alpha")]
QUERIES = [
    (1, None, "unit1.pas"), (1, None, "UNIT2.pas"), (1, None, "\u00dcnit3.PAS"), (1, None, "\u00dcnit\u00c4.PAS"),
    (1, None, "nothing.pas"), (1, None, "unit4.pas"), (5, None, "UNIT1.pas"), (5, None, "unit4.PAS"),
    (0, "beta", "mixed.inc"), (0, "Alpha", "SHARED.inc"), (0, "G\u00e4mma", "shared.inc"), (0, "beta", "none.inc"),
]
BASE_TIME = 1650000000  # even: DOS times count two seconds


def dos_age(path):
    t = time.localtime(os.stat(path).st_mtime)
    date = ((t.tm_year - 1980) << 9) | (t.tm_mon << 5) | t.tm_mday
    clock = (t.tm_hour << 11) | (t.tm_min << 5) | (t.tm_sec // 2)
    return (date << 16) | clock


def on_disk(directory, name):
    """The entry of the directory whose name equals `name` ignoring ASCII case."""
    with os.scandir(directory) as entries:
        for entry in entries:
            if entry.is_file() and entry.name.encode().lower() == name.encode().lower():
                return entry.name
    return None


def search(root, kind, directory, name):
    candidates = []
    if directory is not None:
        candidates.append(directory)
    candidates += [d for k, d in LISTS if k == kind]
    for candidate in candidates:
        found = on_disk(os.path.join(root, candidate.rstrip("\\")), name)
        if found:
            path = candidate + ("" if candidate.endswith("\\") else "\\") + found
            return path, dos_age(os.path.join(root, candidate.rstrip("\\"), found))
    return name, 0


def main():
    out = sys.argv[1]
    root = os.path.join(out, "files-tree")
    shutil.rmtree(root, ignore_errors=True)
    stamp = BASE_TIME
    for directory, names in TREE.items():
        os.makedirs(os.path.join(root, directory))
        for name in names:
            path = os.path.join(root, directory, name)
            with open(path, "w", encoding="utf-8") as f:
                f.write("unit x;\n")
            os.utime(path, (stamp, stamp))
            stamp += 86
    with open(os.path.join(out, "lists.txt"), "w", encoding="utf-8", newline="\n") as f:
        for kind, directory in LISTS:
            f.write(f"{kind}\t{directory}\n")
    with open(os.path.join(out, "queries.txt"), "w", encoding="utf-8", newline="\n") as f:
        for kind, directory, name in QUERIES:
            path, age = search(root, kind, directory, name)
            f.write(f"{kind}\t{directory or '-'}\t{name}\t{path}\t{age:X}\n")
    lines = []
    for i in range(4000):
        lines.append(f" 0001:{i * 16:08X}       Symbol{i}" + " " * (i % 97) + ("\r" if i % 50 == 0 else ""))
        if i % 333 == 0:
            lines.append("")
    text = "\n".join(lines) + "\n\n"
    with open(os.path.join(out, "map-input.txt"), "wb") as f:
        f.write(text.encode())
    with open(os.path.join(out, "map-expected.txt"), "wb") as f:
        f.write(text.replace("\n", "\r\n").encode())


if __name__ == "__main__":
    main()
