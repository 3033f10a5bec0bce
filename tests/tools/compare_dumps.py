"""The dump tool prints the same output natively and as a Windows program under Wine, for every
file of a folder (exit status included).

Usage: compare_dumps.py FOLDER NATIVE-DUMP WINDOWS-COMMAND... (the Wine loader, then the .exe)."""
import os
import sys

from dumplib import run_dump


def main():
    folder, native, windows = sys.argv[1], sys.argv[2], sys.argv[3:]
    files = sorted(f for f in os.listdir(folder) if os.path.isfile(os.path.join(folder, f)))
    differing = 0
    for name in files:
        path = os.path.abspath(os.path.join(folder, name))
        a = run_dump(native, path, "--spans")
        b = run_dump(windows, path, "--spans")
        if a != b:
            differing += 1
            print("DIFFERENT %s: native exit %d, Windows exit %d" % (name, a[0], b[0]))
            for la, lb in zip(a[1].split("\n"), b[1].split("\n")):
                if la != lb:
                    print("  native:  %r\n  windows: %r" % (la, lb))
                    break
    print("%d files, %d differ" % (len(files), differing))
    return 1 if differing or not files else 0


if __name__ == "__main__":
    sys.exit(main())
