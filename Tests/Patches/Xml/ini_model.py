#!/usr/bin/env python3
"""An independent model of an ini file kept in an XML element, and the
checks of documents saved by the stand-in's ini files.

The model: sections in the order they were first written, identified by
their element name (the name with blanks and backslashes made "_"); keys
in the order they were first written, identified by their exact name; a
deleted key or erased section is gone, and written again it comes last.
Reads: a missing value gives the default; ReadInteger reads the value as
the run-time's StrToInt (leading blanks, a sign, "$", "0x" or "x"
hexadecimal, decimal; within 32 bits), anything else the default;
ReadBool gives the default for a missing or empty value, otherwise
whether it is "true" in any ASCII case; ValueExists is true for every
written key, an empty value too; ReadSection lists the keys,
ReadSectionValues "key=value", ReadSections the sections' element names.

Run: python3 ini_model.py cases > IniScriptCases.inc   (the golden scripts)
     python3 ini_model.py check <directory>            (saved documents)
"""
import os
import random
import sys
import xml.dom.minidom

SCRIPTS = 40
STEPS = 80
SEED = 0x1F2E3D4C

SECTIONS = ["Main", "My Section", "My_Section", "Path\\Sub", "Path Sub", "Options", "opt", "Ünïcode"]
KEYS = ["Name", "My Key\\Sub", "My_Key_Sub", "my key", "Count", "Flag", "a b c", "Wert ä", "x"]
VALUES = ["", "", "plain", "True", "true", "TRUE", "False", "1", "0", "-5", " 42", "42 ", "+17", "$1F",
          "0x10", "x7", "-$10", "2147483647", "2147483648", "-2147483648", "$FFFFFFFF", "12345678901",
          "abc", "a=b", "&<>\"'", "  spaced  ", "ä€𝄞", "Yes"]


def sanitize(name):
    return name.replace(" ", "_").replace("\\", "_")


class Model:
    def __init__(self):
        self.sections = {}  # element name -> {key: value}, both in insertion order

    def write(self, section, key, value):
        self.sections.setdefault(sanitize(section), {})[key] = value

    def delete(self, section, key):
        self.sections.get(sanitize(section), {}).pop(key, None)

    def erase(self, section):
        self.sections.pop(sanitize(section), None)

    def read(self, section, key, default):
        return self.sections.get(sanitize(section), {}).get(key, default)


def str_to_int(text):
    """The stand-in run-time's StrToInt, or None where it raises."""
    i, n = 0, len(text)
    while i < n and text[i] == " ":
        i += 1
    negative = False
    if i < n and text[i] in "+-":
        negative = text[i] == "-"
        i += 1
    digits, magnitude = 0, 0
    if i < n and (text[i] in "$xX" or (text[i] == "0" and i + 1 < n and text[i + 1] in "xX")):
        i += 2 if text[i] == "0" else 1
        while i < n and text[i] in "0123456789abcdefABCDEF":
            if magnitude >> 60:
                return None
            magnitude = magnitude * 16 + int(text[i], 16)
            i += 1
            digits += 1
    else:
        limit = 2**63 if negative else 2**63 - 1
        while i < n and text[i] in "0123456789":
            magnitude = magnitude * 10 + int(text[i])
            if magnitude > limit:
                return None
            i += 1
            digits += 1
    if digits == 0 or i != n:
        return None
    value = -magnitude if negative else magnitude
    if value >= 2**63:
        value -= 2**64
    return value if -2**31 <= value < 2**31 else None


def ascii_lower(text):
    return "".join(chr(ord(c) + 32) if "A" <= c <= "Z" else c for c in text)


def run(model, step):
    """Applies one step; returns the expected result of a read ('' for a write)."""
    op, section, key, value = step
    if op == "W":
        model.write(section, key, value)
    elif op == "D":
        model.delete(section, key)
    elif op == "E":
        model.erase(section)
    elif op == "R":
        return model.read(section, key, value)
    elif op == "I":
        text = model.read(section, key, "")
        number = str_to_int(text) if text else None
        return str(int(value) if number is None else number)
    elif op == "B":
        text = model.read(section, key, "")
        return ("1" if value == "1" else "0") if text == "" else ("1" if ascii_lower(text) == "true" else "0")
    elif op == "V":
        return "1" if key in model.sections.get(sanitize(section), {}) else "0"
    elif op == "S":
        return "\n".join(model.sections.get(sanitize(section), {}))
    elif op == "Q":
        return "\n".join(k + "=" + v for k, v in model.sections.get(sanitize(section), {}).items())
    elif op == "T":
        return "\n".join(model.sections)
    return ""


def scripts():
    rng = random.Random(SEED)
    ops = "WWWWWDDERRIBVSQT"
    for _ in range(SCRIPTS):
        steps = []
        for _ in range(STEPS):
            op = rng.choice(ops)
            value = rng.choice(VALUES)
            if op == "I":
                value = str(rng.choice([0, -1, 7, 2147483647]))
            elif op == "B":
                value = rng.choice(["0", "1"])
            steps.append((op, rng.choice(SECTIONS), rng.choice(KEYS), value))
        yield steps


def final_state(steps):
    model = Model()
    for step in steps:
        run(model, step)
    return model


def literal(text):
    out = ['L"']
    for c in text:
        if c == "\\":
            out.append("\\\\")
        elif c == '"':
            out.append('\\"')
        elif c == "\n":
            out.append("\\n")
        elif 0x20 <= ord(c) < 0x7F:
            out.append(c)
        else:
            out.append("\\U%08X" % ord(c) if ord(c) > 0xFFFF else "\\u%04X" % ord(c))
    out.append('"')
    return "".join(out)


def cases():
    print("// Generated by ini_model.py (python3 ini_model.py cases); do not edit.")
    print("// {op, section, key, value or default, expected result of a read}")
    names = []
    for number, steps in enumerate(scripts()):
        model = Model()
        print("const TIniStep IniScript%d[] = {" % number)
        for step in steps:
            expected = run(model, step)
            op, section, key, value = step
            print("    {'%s', %s, %s, %s, %s}," % (op, literal(section), literal(key), literal(value), literal(expected)))
        print("};")
        names.append("IniScript%d" % number)
    print("const TIniScript IniScripts[] = {")
    for name in names:
        print("    {%s, sizeof %s / sizeof *%s}," % (name, name, name))
    print("};")


# ---- saved documents ---------------------------------------------------------------

def blank(node):
    return node.nodeType == node.TEXT_NODE and node.data.strip(" \t\r\n") == ""


def document_state(path):
    root = xml.dom.minidom.parse(path).documentElement
    sections = {}
    for section in root.childNodes:
        if section.nodeType != section.ELEMENT_NODE:
            continue
        keys = sections.setdefault(section.tagName, {})
        for key in section.childNodes:
            if key.nodeType == key.ELEMENT_NODE and key.hasAttribute("Name"):
                keys[key.getAttribute("Name")] = "".join(t.data for t in key.childNodes if t.nodeType == t.TEXT_NODE)
    return root, sections


def leftover_blanks(root):
    """Places where removing left indentation behind: blank text holding more
    than one line break (the parser joins neighbouring text nodes), or an
    element holding nothing but blank text."""
    found = []
    for element in [root] + root.getElementsByTagName("*"):
        children = element.childNodes
        for child in children:
            if blank(child) and child.data.count("\n") > 1:
                found.append("%s: blank text of %d lines" % (element.tagName, child.data.count("\n")))
        if children and all(blank(c) for c in children):
            found.append("%s: only blank text" % element.tagName)
    return found


def check(directory):
    failures = []
    unpatched_leftovers = 0
    for number, steps in enumerate(scripts()):
        expected = final_state(steps).sections
        for kind in ("unpatched", "patched"):
            path = os.path.join(directory, "script%d-%s.xml" % (number, kind))
            root, sections = document_state(path)
            if sections != expected:
                failures.append("%s: %r, the model %r" % (path, sections, expected))
            leftovers = leftover_blanks(root)
            if kind == "patched" and leftovers:
                failures.append("%s: %s" % (path, "; ".join(leftovers)))
            unpatched_leftovers += kind == "unpatched" and bool(leftovers)
    if unpatched_leftovers == 0:
        failures.append("no unpatched document kept blank text: the check sees nothing")
    for kind, grows in (("unpatched", True), ("patched", False)):
        sizes = [os.path.getsize(os.path.join(directory, "cycles%d-%s.xml" % (n, kind))) for n in (1, 10, 100)]
        if grows and not sizes[0] < sizes[1] < sizes[2]:
            failures.append("%s: sizes %r after 1, 10 and 100 cycles do not grow" % (kind, sizes))
        if not grows and len(set(sizes)) != 1:
            failures.append("%s: sizes %r after 1, 10 and 100 cycles differ" % (kind, sizes))
        root, _ = document_state(os.path.join(directory, "cycles100-%s.xml" % kind))
        if not grows and leftover_blanks(root):
            failures.append("%s: blank text left after 100 cycles" % kind)
    for failure in failures:
        print("FAILED", failure)
    print("checked %d scripts: %s" % (SCRIPTS, "failed" if failures else "passed"))
    return 1 if failures else 0


if __name__ == "__main__":
    if len(sys.argv) >= 2 and sys.argv[1] == "cases":
        cases()
    elif len(sys.argv) >= 3 and sys.argv[1] == "check":
        sys.exit(check(sys.argv[2]))
    else:
        sys.exit(__doc__)
