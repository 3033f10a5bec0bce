"""Shared helpers of the dump checks: run quillmap-dump and read its node lines back."""
import subprocess


def _argv(command):
    """The dump tool's command: its path, or an argument list (a Wine loader, then the .exe)."""
    return [command] if isinstance(command, str) else list(command)


def tool_path(command, path):
    """The file's name as the dump tool sees it: a Z: drive path for a Windows program under Wine."""
    program = _argv(command)[0]
    if program.endswith("wine64") or program.endswith("wine"):
        return "Z:" + path.replace("/", "\\")
    return path


def run_dump_with_errors(command, path, *options):
    """Runs the dump tool on a file: (status, stdout, stderr)."""
    argv = _argv(command) + list(options) + [tool_path(command, path)]
    proc = subprocess.run(argv, capture_output=True, timeout=120)
    return proc.returncode, proc.stdout.decode("utf-8", "replace"), proc.stderr.decode("utf-8", "replace")


def run_dump(command, path, *options):
    """Runs the dump tool on a file: (status, stdout)."""
    status, out, _errors = run_dump_with_errors(command, path, *options)
    return status, out


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


def unescape(text):
    """The inverse of escape()."""
    out = []
    i = 0
    while i < len(text):
        ch = text[i]
        if ch != "\\" or i + 1 == len(text):
            out.append(ch)
            i += 1
            continue
        nxt = text[i + 1]
        if nxt == "u" and i + 6 <= len(text):
            out.append(chr(int(text[i + 2:i + 6], 16)))
            i += 6
            continue
        out.append({"n": "\n", "r": "\r", "t": "\t"}.get(nxt, nxt))
        i += 2
    return "".join(out)
