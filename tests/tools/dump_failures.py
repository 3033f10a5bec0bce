"""The dump tool says on stderr, in one line, why it did not load a file, and exits with status 2:
a missing file, a missing folder on the path, a folder, an empty file, a file larger than 512 MiB
(sparse, so it costs no disk), a file of no format we show. A file that loads says nothing.
Usage: dump_failures.py DUMP-COMMAND... (the native tool, or the Wine loader and the .exe)."""
import os
import shutil
import subprocess
import sys
import tempfile

from dumplib import run_dump_with_errors, tool_path

# name, how the file is made, options, expected status, expected stderr ("{}" is the file's name)
CASES = [
    ("missing.json", None, [], 2, "quillmap-dump: cannot open {}: no such file"),
    ("no-folder/inner.json", None, [], 2, "quillmap-dump: cannot open {}: no such file"),
    ("folder.json", "folder", [], 2, "quillmap-dump: {} is a folder"),
    ("folder.json", "folder", ["--stats"], 2, "quillmap-dump: {} is a folder"),
    ("empty.json", b"", [], 2, "quillmap-dump: {} is empty"),
    ("empty.json", b"", ["--copy-as"], 2, "quillmap-dump: {} is empty"),
    ("empty.json", b"", ["--stats"], 2, "quillmap-dump: {} is empty"),
    ("huge.json", "sparse", [], 2, "quillmap-dump: {} is larger than 512 MiB"),
    ("huge.json", "sparse", ["--stats"], 2, "quillmap-dump: {} is larger than 512 MiB"),
    ("blank.json", b"\xef\xbb\xbf \r\n", [], 2, "quillmap-dump: {} holds no XML, JSON, YAML, TOML or registry data"),
    ("notes.txt", b"hello", [], 2, "quillmap-dump: {} holds no XML, JSON, YAML, TOML or registry data"),
    ("no-header.reg", b"[HKEY_CURRENT_USER\\x]", [], 2,
     "quillmap-dump: {} holds no XML, JSON, YAML, TOML or registry data"),
    ("fine.json", b'{"a": 1}', [], 0, ""),
    ("broken.json", b'{"a": ', [], 1, ""),
]


def make(folder, name, content):
    path = os.path.join(folder, name)
    if content == "folder":
        os.makedirs(path, exist_ok=True)
    elif content == "sparse":
        with open(path, "wb") as f:
            f.truncate(513 * 1024 * 1024)
    elif content is not None:
        with open(path, "wb") as f:
            f.write(content)
    return path


def main():
    command = sys.argv[1:]
    folder = tempfile.mkdtemp(prefix="dump-failures-")
    failures = 0
    try:
        for name, content, options, status, message in CASES:
            path = make(folder, name, content)
            got_status, _out, errors = run_dump_with_errors(command, path, *options)
            got = [line.rstrip("\r") for line in errors.splitlines()]
            expected = [message.format(tool_path(command, path))] if message else []
            if got_status != status or got != expected:
                failures += 1
                print("FAILED %s %s: status %d, stderr %r; expected status %d, stderr %r"
                      % (name, " ".join(options), got_status, got, status, expected))
    finally:
        shutil.rmtree(folder, ignore_errors=True)
    print("%d cases, %d failed" % (len(CASES), failures))
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
