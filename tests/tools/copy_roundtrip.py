"""Copies and paths that other tools read back to the same thing, over a corpus.

For every JSON, JSON Lines, YAML, TOML, XML and registry file that loads without an error: the root
and a sample of its subtrees are copied with "Copy as" (JSON for the data formats, YAML for YAML,
XML for XML) and read back with Python's own readers (json, PyYAML, ElementTree); each must read
back to the node's tree (numbers by value). Every node's path, in the syntax the viewer copies for
it, must lead back to the same node. The TOML files are also read with tomllib, and the JSON copy
of their root must hold the same data.

The dump tool answers all requests of the corpus in two runs (see --requests in tools/dump.cpp):
one lists the nodes of every file, the other resolves every path and writes every copy.

Usage: copy_roundtrip.py DUMP-COMMAND... CORPUS-FOLDER
(the dump tool's path, or the Wine loader and the .exe)."""
import json
import math
import os
import re
import subprocess
import sys
import tempfile
import tomllib
import xml.etree.ElementTree as ET

import yaml

from dumplib import escape, tool_path, unescape

# What the copies cannot promise, each with its reason. A difference of one of these kinds is
# counted under its name and does not fail the run; any other difference does.
EXCEPTIONS = {
    "duplicate-keys": "an object holds the same key twice: the copy writes both members, and json and "
                      "PyYAML keep only the last",
    "shared-path": "two nodes have one path (the members of a duplicated key and what they hold; the XML "
                   "declaration and the document type declaration, both \"/\"): the path names the first",
    "lone-surrogate": "a name holds half of a surrogate pair, which the dump tool's UTF-8 output cannot "
                      "carry (the clipboard's UTF-16 can): the path is not checked",
    "data-comment": "a comment in a JSON, YAML, TOML or registry file has its container's path (and none "
                    "at the top of a TOML or registry file): it is no node a path names",
    "not-xml-1.0": "the text holds characters XML 1.0 cannot hold (control characters, U+FFFE): the copy "
                   "writes them as character references, which only XML 1.1 readers accept",
    "no-number": "the lenient JSON reader took a text that is no number (\"1.2.3\", \"-\") for a number: the "
                 "copy keeps it as written, and no JSON reader reads it",
    "tag-kind": "a YAML tag made a text a number, boolean or null (\"!!int 1 - 3\"): the copy writes no tags, "
                "so the text reads back as what it says",
    "nul-escape": "the file escapes a NUL character (\"\\u0000\"), which the viewer's TOML reader leaves out "
                  "as it reads the file and tomllib keeps: the file's own reading differs, not the copy",
    "lenient-file": "tomllib refuses the file, which the viewer's lenient reader loads: the copies are "
                    "checked, the file's own reading is not",
    "xml-layout": "ElementTree names elements and attributes by namespace URI and drops comments, "
                  "processing instructions and white space between elements: local names, attributes "
                  "other than xmlns declarations and text that is not only white space are compared",
}

SAMPLES_PER_FILE = 6  # subtrees copied besides the root


class Node:
    def __init__(self, number, depth, kind, key, name, value, path):
        self.number, self.depth, self.kind = number, depth, kind
        self.key, self.name, self.value, self.path = key, name, value, path
        self.children = []
        self.parent = None


def parse_nodes(lines):
    """The tree of a file from its node lines: (root, nodes in order)."""
    root = Node(0, 0, "Root", None, "", "", "")
    nodes, stack = [], [root]
    for line in lines:
        parts = line.split("\t")
        if len(parts) < 5 or not parts[0].isdigit():
            continue
        fields = dict(p.split("=", 1) for p in parts[3:] if "=" in p)
        key = unescape(fields["key"]) if "key" in fields else None
        node = Node(len(nodes) + 1, int(parts[0]), parts[1], key, unescape(fields.get("name", "")),
                    unescape(fields.get("value", "")), unescape(fields.get("path", "")))
        del stack[node.depth:]
        node.parent = stack[-1]
        stack[-1].children.append(node)
        stack.append(node)
        nodes.append(node)
    return root, nodes


class Difference(Exception):
    def __init__(self, text, exception=None):
        super().__init__(text)
        self.exception = exception


def number_value(text):
    t = text.replace("_", "").lower()
    sign = -1 if t.startswith("-") else 1
    t = t[1:] if t[:1] in ("+", "-") else t
    if t[:1] in ("+", "-"):
        return None
    if t in ("inf", ".inf", "infinity"):
        return sign * math.inf
    if t in ("nan", ".nan"):
        return math.nan
    if t[:2] in ("0x", "0o", "0b"):
        return sign * int(t[2:], {"x": 16, "o": 8, "b": 2}[t[1]])
    if re.fullmatch(r"\d+", t):
        return sign * int(t)
    try:
        return sign * float(t)
    except ValueError:
        return None


def same_number(text, value):
    if isinstance(value, bool) or not isinstance(value, (int, float)):
        return False
    mine = number_value(text)
    if mine is None:
        return False
    if isinstance(mine, float) and math.isnan(mine):
        return isinstance(value, float) and math.isnan(value)
    return mine == value


def values(node):
    return [c for c in node.children if c.kind != "Comment"]


def compare_data(node, value):
    """Raises Difference when the reader's value is not the node's data."""
    stack = [(node, value)]
    while stack:
        n, v = stack.pop()
        where = n.path or "the root"
        kind = n.kind
        if kind == "Root":  # a registry root holds its top keys as members
            kind = "Object"
        if kind == "Object":
            kids = values(n)
            keys = [c.key for c in kids]
            if len(set(keys)) != len(keys):
                raise Difference(where, "duplicate-keys")
            if not isinstance(v, dict) or list(v.keys()) != keys:
                raise Difference("%s: members %r read back as %r" % (where, keys, v if not isinstance(v, dict) else list(v)))
            stack.extend((c, v[c.key]) for c in kids)
        elif kind == "Array":
            kids = values(n)
            if not isinstance(v, list) or len(v) != len(kids):
                raise Difference("%s: %d items read back as %r" % (where, len(kids), v))
            stack.extend(zip(kids, v))
        elif kind == "String":
            if v != n.value:
                raise Difference("%s: string %r read back as %r" % (where, n.value, v))
        elif kind == "Number" and number_value(n.value) is None:
            raise Difference(where, "tag-kind")
        elif kind == "Number":
            if not same_number(n.value, v):
                raise Difference("%s: number %s read back as %r" % (where, n.value, v))
        elif kind == "Bool":
            if v is not (n.value.lower() == "true"):
                raise Difference("%s: %s read back as %r" % (where, n.value, v))
        elif kind == "Null":
            if v is not None:
                raise Difference("%s: null read back as %r" % (where, v))
        else:
            raise Difference("%s: a %s node in data" % (where, kind))


def local_name(name):
    if name.startswith("{"):
        return name[name.index("}") + 1:]
    return name.split(":", 1)[-1]


def element_texts(node):
    """The text before the first child element and after each: white-space-only texts are layout."""
    texts, current = [], []
    for c in node.children:
        if c.kind in ("Text", "CData"):
            current.append(c.value)
        elif c.kind == "Element":
            texts.append("".join(current))
            current = []
    texts.append("".join(current))
    return [t if t.strip() else "" for t in texts]


def compare_xml(node, element):
    stack = [(node, element)]
    while stack:
        n, e = stack.pop()
        where = n.path
        if local_name(n.name) != local_name(e.tag):
            raise Difference("%s: element %s read back as %s" % (where, n.name, e.tag))
        attributes = {local_name(c.name): c.value for c in n.children
                      if c.kind == "Attribute" and c.name != "xmlns" and not c.name.startswith("xmlns:")}
        read = {local_name(k): v for k, v in e.attrib.items()}
        if attributes != read:
            raise Difference("%s: attributes %r read back as %r" % (where, attributes, read))
        kids = [c for c in n.children if c.kind == "Element"]
        read_kids = list(e)
        read_texts = [e.text or ""] + [k.tail or "" for k in read_kids]
        read_texts = [t if t.strip() else "" for t in read_texts]
        if element_texts(n) != read_texts:
            raise Difference("%s: texts %r read back as %r" % (where, element_texts(n), read_texts))
        if len(kids) != len(read_kids):
            raise Difference("%s: %d child elements read back as %d" % (where, len(kids), len(read_kids)))
        stack.extend(zip(kids, read_kids))


XML_1_0_REFUSED = re.compile("[\x00-\x08\x0b\x0c\x0e-\x1f\ufffe\uffff\ud800-\udfff]")


def subtree_nodes(node):
    stack, out = [node], []
    while stack:
        n = stack.pop()
        out.append(n)
        stack.extend(n.children)
    return out


def check_copy(fmt, node, text):
    """Reads a copy back with the format's reader and compares; raises Difference."""
    if fmt == "XML":
        target = node
        if node.kind == "Root":
            target = next((c for c in node.children if c.kind == "Element"), None)
            if target is None:
                return
        try:
            element = ET.fromstring(text)
        except ET.ParseError as e:
            if any(XML_1_0_REFUSED.search(n.value + n.name) for n in subtree_nodes(target)):
                raise Difference(str(e), "not-xml-1.0")
            raise Difference("ElementTree refuses the copy: %s" % e)
        compare_xml(target, element)
    elif fmt == "YAML":
        try:
            if node.kind == "Root":
                read = list(yaml.safe_load_all(text))
            else:
                read = yaml.safe_load(text)
        except yaml.YAMLError as e:
            raise Difference("PyYAML refuses the copy: %s" % str(e).replace("\n", " "))
        if node.kind == "Root":
            docs = values(node)
            if len(read) != len(docs):
                raise Difference("%d documents read back as %d" % (len(docs), len(read)))
            for d, r in zip(docs, read):
                compare_data(d, r)
        else:
            compare_data(node, read)
    else:
        try:
            read = json.loads(text)
        except ValueError as e:
            if any(n.kind == "Number" and number_value(n.value) is None for n in subtree_nodes(node)):
                raise Difference(str(e), "no-number")
            raise Difference("json refuses the copy: %s" % e)
        if node.kind == "Root" and not any(c.key is not None for c in values(node)):
            tops = values(node)
            if len(tops) != 1:
                return
            node = tops[0]
        compare_data(node, read)


def copy_syntax(fmt):
    return {"XML": "XML", "YAML": "YAML"}.get(fmt, "JSON")


def samples(nodes, fmt):
    """Subtrees to copy besides the root: containers and a few scalars spread over the file."""
    if fmt == "XML":
        pool = [n for n in nodes if n.kind == "Element"]
    else:
        pool = [n for n in nodes if n.kind != "Comment"]
    if len(pool) <= SAMPLES_PER_FILE:
        return pool
    step = len(pool) / SAMPLES_PER_FILE
    return [pool[int(i * step)] for i in range(SAMPLES_PER_FILE)]


def corpus_files(folder):
    data = (".json", ".jsonl", ".yaml", ".yml", ".toml", ".reg")
    for top, dirs, files in os.walk(folder):
        dirs.sort()
        in_xml = os.sep + "xml" in top[len(folder):] or top.endswith(os.sep + "xml")
        for name in sorted(files):
            if name in ("LICENSE", "SHA256SUMS") or name.endswith(".md"):
                continue
            if name.endswith(data) or in_xml:
                yield os.path.abspath(os.path.join(top, name))


def run_requests(command, requests):
    with tempfile.NamedTemporaryFile("w", encoding="utf-8", suffix=".txt", delete=False) as f:
        f.write("\n".join(requests) + "\n")
        name = f.name
    try:
        argv = list(command) + ["--requests", tool_path(command, name)]
        proc = subprocess.run(argv, capture_output=True, timeout=600)
    finally:
        os.unlink(name)
    if proc.returncode not in (0, 1, 2):
        raise SystemExit("dump tool failed (%d): %s" % (proc.returncode, proc.stderr.decode("utf-8", "replace")))
    return proc.stdout


def read_answers(output):
    """The answers of a requests run: ("file", status), ("nodes", lines), ("node", n),
    ("copy", n, text) or ("none",)."""
    answers, pos = [], 0
    while pos < len(output):
        end = output.index(b"\n", pos)
        line = output[pos:end].decode("utf-8")
        pos = end + 1
        if line.startswith("file "):
            answers.append(("file", int(line[5:])))
        elif line.startswith("format: "):
            lines = [line]
            while True:
                end = output.index(b"\n", pos)
                row = output[pos:end].decode("utf-8", "replace")
                pos = end + 1
                if row == "end":
                    break
                lines.append(row)
            answers.append(("nodes", lines))
        elif line.startswith("node "):
            answers.append(("node", int(line[5:])))
        elif line.startswith("copy "):
            _, number, size = line.split(" ")
            text = output[pos:pos + int(size)].decode("utf-8", "surrogatepass")
            pos += int(size) + 1
            answers.append(("copy", int(number), text))
        elif line == "none":
            answers.append(("none",))
    return answers


def toml_check(path, root):
    """tomllib's reading of the file holds the same data as the tree."""
    with open(path, "rb") as f:
        try:
            data = tomllib.load(f)
        except (tomllib.TOMLDecodeError, UnicodeDecodeError):
            return "lenient-file"
    tops = values(root)
    try:
        compare_toml(tops[0] if tops else None, data)
    except Difference as d:
        return d.exception or str(d)
    return None


def compare_toml(node, value):
    """tomllib gives dates and times as objects; the tree holds their text."""
    stack = [(node, value)]
    while stack:
        n, v = stack.pop()
        if isinstance(v, dict):
            kids = values(n)
            if any("\0" in k for k in v):
                raise Difference(n.path, "nul-escape")
            if n.kind != "Object" or [c.key for c in kids] != list(v.keys()):
                raise Difference("%s: table read as %r" % (n.path, list(v)))
            stack.extend((c, v[c.key]) for c in kids)
        elif isinstance(v, list):
            kids = values(n)
            if n.kind != "Array" or len(kids) != len(v):
                raise Difference("%s: array read as %r" % (n.path, v))
            stack.extend(zip(kids, v))
        elif isinstance(v, bool):
            if n.kind != "Bool" or (n.value == "true") is not v:
                raise Difference("%s: %s read as %r" % (n.path, n.value, v))
        elif isinstance(v, (int, float)):
            if n.kind != "Number" or not same_number(n.value, v):
                raise Difference("%s: %s read as %r" % (n.path, n.value, v))
        elif isinstance(v, str):
            if n.kind == "String" and n.value == v.replace("\0", "") and "\0" in v:
                raise Difference(n.path, "nul-escape")
            if n.kind != "String" or n.value != v:
                raise Difference("%s: %r read as %r" % (n.path, n.value, v))


def under_duplicate_key(node):
    """The node or one of its ancestors is a member whose key another member of its object has."""
    while node.parent is not None:
        if node.key is not None and sum(1 for c in node.parent.children if c.key == node.key) > 1:
            return True
        node = node.parent
    return False


def main():
    command, folder = sys.argv[1:-1], sys.argv[-1]
    files = list(corpus_files(folder))

    # Run 1: the node lines of every file.
    answers = read_answers(run_requests(command, [r for f in files for r in ("file " + escape(tool_path(command, f)), "nodes")]))
    loaded = {}
    i = 0
    for f in files:
        status = answers[i][1]
        i += 1
        answer = answers[i]  # the node lines, or "none" for a file that did not load
        i += 1
        if status != 2:
            lines = answer[1]
            if status == 0:
                fmt = next((l[8:] for l in lines if l.startswith("format: ")), "")
                loaded[f] = (fmt,) + parse_nodes(lines)

    # Run 2: every node's path resolved, the root and the samples copied.
    requests, plan = [], []
    counts = {name: 0 for name in EXCEPTIONS}
    for f, (fmt, root, nodes) in loaded.items():
        requests.append("file " + escape(tool_path(command, f)))
        plan.append(("file", f))
        seen_paths = set()
        for n in nodes:
            if fmt != "XML" and n.kind == "Comment" and not n.path.startswith("/"):
                counts["data-comment"] += 1
                continue
            if "\ufffd" in n.path:
                counts["lone-surrogate"] += 1
                continue
            if n.path in seen_paths or under_duplicate_key(n):
                counts["shared-path"] += 1
                continue
            seen_paths.add(n.path)
            requests.append("get " + escape(n.path))
            plan.append(("get", n))
        requests.append("copy-root")
        plan.append(("copy", root))
        for n in samples(nodes, fmt):
            if n.path in seen_paths:
                requests.append("copy " + escape(n.path))
                plan.append(("copy", n))
    answers = read_answers(run_requests(command, requests))
    if len(answers) != len(plan):
        raise SystemExit("the dump tool answered %d of %d requests" % (len(answers), len(plan)))

    failures, paths, copies, current = [], 0, 0, None
    for (what, subject), answer in zip(plan, answers):
        if what == "file":
            current = subject
            continue
        fmt = loaded[current][0]
        name = os.path.relpath(current, folder)
        if what == "get":
            paths += 1
            if answer != ("node", subject.number):
                failures.append("%s: the path %s leads to %s, not node %d" % (name, subject.path, answer, subject.number))
            continue
        copies += 1
        if answer[0] != "copy":
            failures.append("%s: no copy of %s" % (name, subject.path or "the root"))
            continue
        if answer[1] != subject.number:
            counts["shared-path"] += 1
            continue
        try:
            check_copy(copy_syntax(fmt), subject, answer[2])
        except Difference as d:
            if d.exception:
                counts[d.exception] += 1
            else:
                failures.append("%s: copy of %s: %s\n    %r" % (name, subject.path or "the root", d, answer[2][:300]))

    toml_files = 0
    for f, (fmt, root, _nodes) in loaded.items():
        if fmt == "TOML":
            toml_files += 1
            problem = toml_check(f, root)
            if problem in EXCEPTIONS:
                counts[problem] += 1
            elif problem:
                failures.append("%s: tomllib: %s" % (os.path.relpath(f, folder), problem))

    for failure in failures[:int(os.environ.get("QM_SHOW_FAILURES", "40"))]:
        print("FAIL " + failure)
    print("%d files, %d loaded without error; %d paths and %d copies checked, %d TOML files read by tomllib; "
          "%d failures" % (len(files), len(loaded), paths, copies, toml_files, len(failures)))
    for name, count in counts.items():
        if count:
            print("  %s: %d (%s)" % (name, count, EXCEPTIONS[name]))
    return 1 if failures or not loaded else 0


if __name__ == "__main__":
    sys.exit(main())
