"""Checks quillmap-dump against Python's own JSON reader on the accepted files of the JSON test
suite: same kinds, member names, unescaped strings and numbers exactly as written."""
import json
import os
import sys

from dumplib import escape, node_lines, run_dump


def reference_nodes(value):
    nodes = []
    stack = [(value, 1, None)]
    while stack:
        v, depth, key = stack.pop()
        k = escape(key) if key is not None else None
        if isinstance(v, list) and getattr(v, "is_object", False):
            nodes.append((depth, "Object", k, ""))
            stack.extend((item, depth + 1, name) for name, item in reversed(v))
        elif isinstance(v, list):
            nodes.append((depth, "Array", k, ""))
            stack.extend((item, depth + 1, None) for item in reversed(v))
        elif isinstance(v, Number):
            nodes.append((depth, "Number", k, escape(v.text)))
        elif v is True or v is False:
            nodes.append((depth, "Bool", k, "true" if v else "false"))
        elif v is None:
            nodes.append((depth, "Null", k, "null"))
        else:
            nodes.append((depth, "String", k, escape(v)))
    return nodes


class Number:
    def __init__(self, text):
        self.text = text


class Members(list):
    is_object = True


def main():
    dump, folder = sys.argv[1], sys.argv[2]
    checked = mismatched = 0
    for name in sorted(os.listdir(folder)):
        if not (name.startswith("y_") and name.endswith(".json")):
            continue
        path = os.path.abspath(os.path.join(folder, name))
        raw = open(path, "rb").read()
        try:
            value = json.loads(raw, parse_int=Number, parse_float=Number, parse_constant=Number,
                               object_pairs_hook=Members)
        except ValueError:
            continue
        if not isinstance(value, list):
            continue  # a bare scalar at the top is not taken by the viewer
        rc, out = run_dump(dump, path)
        checked += 1
        expected = reference_nodes(value)
        actual = node_lines(out)
        if rc != 0 or actual != expected:
            mismatched += 1
            print("MISMATCH %s (exit %d)" % (name, rc))
            for a, e in zip(actual, expected):
                if a != e:
                    print("  ours:   %r\n  python: %r" % (a, e))
                    break
            else:
                print("  ours %d nodes, python %d" % (len(actual), len(expected)))
    print("%d files compared, %d mismatched" % (checked, mismatched))
    return 1 if mismatched or checked < 80 else 0


if __name__ == "__main__":
    sys.exit(main())
