"""Shared helpers of the dump checks: run quillmap-dump and read its node lines back."""
import subprocess


def run_dump(command, path, *options):
    """Runs the dump tool on a file; command is the tool's path or an argument list (a Wine
    loader first, then the tool's .exe)."""
    argv = [command] if isinstance(command, str) else list(command)
    target = path
    if argv[0].endswith("wine64") or argv[0].endswith("wine"):
        target = "Z:" + path.replace("/", "\\")
    proc = subprocess.run(argv + list(options) + [target], capture_output=True, timeout=120)
    return proc.returncode, proc.stdout.decode("utf-8", "replace")


def escape(text):
    """The dump tool's escaping: one node per line."""
    out = []
    for ch in text:
        code = ord(ch)
        if ch == "\\":
            out.append("\\\\")
        elif ch == "\n":
            out.append("\\n")
        elif ch == "\r":
            out.append("\\r")
        elif ch == "\t":
            out.append("\\t")
        elif code < 0x20 or code == 0x7F or code in (0x2028, 0x2029):
            out.append("\\u%04X" % code)
        elif 0xD800 <= code <= 0xDFFF:
            out.append("\ufffd")
        else:
            out.append(ch)
    return "".join(out)


def node_lines(output):
    """The node lines of a dump: (depth, kind, key-or-None, value)."""
    nodes = []
    for line in output.split("\n"):
        parts = line.split("\t")
        if len(parts) < 5 or not parts[0].isdigit():
            continue
        depth, kind, _line, name, value = parts[:5]
        key = name[4:] if name.startswith("key=") else None
        nodes.append((int(depth), kind, key, value[len("value="):]))
    return nodes
