#!/usr/bin/env python3
"""Every accepted edit of the edit-outcome tables, read back by the format's usual reader.

Runs the core tests' table of edit outcomes, and the Windows tests' table of saves in every
encoding (the code-page conversions Windows decides) under Wine, with QM_EDIT_EXPORT set, so that
each accepted edit leaves the file before and after (see exportAcceptedEdit in
tests/support/testing.h), and reads both with Python's json, tomllib, PyYAML and
xml.etree.ElementTree. The saved file must be readable, hold the typed value at the edited node
(a string as typed, a number, boolean or null as the reader reads the typed literal) and every
other value unchanged. A case whose original the reader refuses (lenient JSON with comments, say)
cannot be compared and is counted apart.

Usage: edit_readers.py TESTS [RUNNER...] [-- TESTS [RUNNER...]]...
  e.g. edit_readers.py build/native/quillmap_core_tests -- build/win64/quillmap_win_tests.exe wine
"""
import json
import os
import subprocess
import sys
import tempfile
import tomllib
import xml.etree.ElementTree as ET

try:
    import yaml
except ImportError:  # the Python on PATH may lack PyYAML; Debian's python3-yaml serves the system one
    if os.path.exists("/usr/bin/python3") and os.path.realpath(sys.executable) != os.path.realpath("/usr/bin/python3"):
        os.execv("/usr/bin/python3", ["/usr/bin/python3", *sys.argv])
    sys.exit("PyYAML is missing: install python3-yaml (scripts/setup.sh does)")

# The tables that export their accepted edits; a test binary runs those it has.
TABLES = ("EditValue.OutcomeByFormatAndTypedText:SaveWindows.EveryEncodingKeepsEveryOtherByte:"
          "SaveWindows.DeclaredIsoLatinFileFromTheCorpus")
# Windows code pages by number where Python's codec has another name.
CODE_PAGES = {20127: "ascii", 20866: "koi8_r", 21866: "koi8_u", 20932: "euc_jp", 51932: "euc_jp",
              50220: "iso2022_jp", 54936: "gb18030", 65001: "utf-8",
              **{28590 + n: "iso8859_%d" % n for n in range(1, 17) if n != 12}}


def python_encoding(label):
    if label == "UTF-8 BOM":
        return "utf-8-sig"
    if label == "UTF-8":
        return "utf-8"
    if label == "UTF-16 LE":
        return "utf-16"  # takes the mark off
    if label == "UTF-16 BE":
        return "utf-16"
    if label == "Windows-1252":
        return "cp1252"
    if label.startswith("Codepage "):
        number = int(label[len("Codepage "):])
        return CODE_PAGES.get(number, "cp%d" % number)
    raise ValueError("unknown encoding label " + label)


def fmt_of(name):
    ext = name.rsplit(".", 1)[-1].lower()
    return {"json": "json", "jsonl": "jsonl", "yaml": "yaml", "yml": "yaml", "toml": "toml"}.get(ext, "xml")


def xml_tree(element):
    """An element as comparable lists: tag, attributes, text, tail and children."""
    return [element.tag, dict(element.attrib), element.text, element.tail, [xml_tree(c) for c in element]]


def read(fmt, text):
    """The file's data as the format's reader gives it, with one outer list so that the export's
    steps (which start below the document root) apply alike in every format."""
    if fmt == "json":
        return [json.loads(text)]
    if fmt == "jsonl":
        return [[json.loads(line) for line in text.splitlines() if line.strip()]]
    if fmt == "yaml":
        return list(yaml.safe_load_all(text))
    if fmt == "toml":
        return [tomllib.loads(text)]
    return [xml_tree(ET.fromstring(text))]


def typed_value(fmt, kind, typed):
    if kind == "string":
        return typed.replace("\r\n", "\n") if fmt == "xml" else typed
    if fmt in ("json", "jsonl"):
        return json.loads(typed)
    if fmt == "yaml":
        return yaml.safe_load(typed)
    if fmt == "toml":
        return tomllib.loads("v = " + typed)["v"]
    raise ValueError("an XML value is always text")


def put(fmt, data, steps, value):
    """Sets the value at the steps; an XML element is [tag, attributes, text, tail, children]."""
    node = data
    for i, step in enumerate(steps):
        if fmt == "xml" and i > 0:
            if step == "#text":
                node[2] = value
                return
            if step.startswith("@") if isinstance(step, str) else False:
                node[1][step[1:]] = value
                return
            node = node[4][step]
            continue
        if i == len(steps) - 1:
            node[step] = value
            return
        node = node[step]


def exported_cases(folder, command):
    """Runs one test binary with the export on; its cases, each with the folder of its files."""
    env = dict(os.environ, QM_EDIT_EXPORT=folder)
    run = subprocess.run([*command, "--gtest_filter=" + TABLES], env=env, capture_output=True, text=True)
    if run.returncode != 0:
        print(run.stdout[-3000:], run.stderr[-3000:])
        sys.exit("the table of edit outcomes failed: " + " ".join(command))
    cases_path = os.path.join(folder, "cases.jsonl")
    if not os.path.exists(cases_path):
        sys.exit("the tests exported no accepted edit: " + " ".join(command))
    with open(cases_path, encoding="utf-8") as f:
        return [dict(json.loads(line), folder=folder) for line in f]


def main():
    args = sys.argv[1:]
    if not args or args[0] == "--":
        sys.exit(__doc__)
    runs = [[]]
    for arg in args:
        if arg == "--":
            runs.append([])
        else:
            runs[-1].append(arg)
    checked = unreadable = 0
    failures = []
    with tempfile.TemporaryDirectory() as top:
        cases = []
        for i, run in enumerate(runs):
            binary, runner = run[0], run[1:]
            folder = os.path.join(top, str(i))
            os.mkdir(folder)
            found = exported_cases(folder, [*runner, binary])
            print("%d accepted edits exported by %s" % (len(found), os.path.basename(binary)))
            cases += found
        for case in cases:
            fmt = fmt_of(case["file"])
            encoding = python_encoding(case["encoding"])
            with open(os.path.join(case["folder"], "%d.before" % case["n"]), "rb") as f:
                before_text = f.read().decode(encoding)
            with open(os.path.join(case["folder"], "%d.after" % case["n"]), "rb") as f:
                after_text = f.read().decode(encoding)
            try:
                expected = read(fmt, before_text)
            except Exception as error:  # the original is beyond this reader
                unreadable += 1
                print("not comparable (the reader refuses the original): %s: %s" % (case["what"], error))
                continue
            try:
                put(fmt, expected, case["steps"], typed_value(fmt, case["kind"], case["typed"]))
                saved = read(fmt, after_text)
            except Exception as error:
                failures.append("%s: the saved file is not readable: %s\n%s" % (case["what"], error, after_text[:400]))
                continue
            checked += 1
            if saved != expected:
                failures.append("%s: read back\n  %r\nexpected\n  %r" % (case["what"], saved, expected))
    for failure in failures:
        print("FAILED: " + failure)
    print("%d accepted edits read back by the format's reader, %d failed, %d not comparable"
          % (checked, len(failures), unreadable))
    sys.exit(1 if failures or checked == 0 else 0)


if __name__ == "__main__":
    main()
