#!/usr/bin/env python3
"""Bench files for JSON inside strings, written to DIR (build/bench-files by default):

  embedded.jsonl      100,000 log records, each with a "payload" string holding a JSON object
                      (about 25 MB); the last payload alone holds the word "zebra-needle"
  embedded-big.json   one record whose "payload" string holds an array of 100,000 objects
                      (about 12 MB of escaped JSON in one string)

The same bytes every run. Used by the figures of opening and searching embedded values
(tests/shell/mainwindow_wintest.cpp, PluginWindow.DISABLED_EmbeddedFigures)."""
import json
import os
import sys

out = sys.argv[1] if len(sys.argv) > 1 else "build/bench-files"
os.makedirs(out, exist_ok=True)
records = 100000
names = ["ada", "grace", "linus", "margaret", "dennis"]


def payload(i):
    return {"id": i, "user": {"name": names[i % 5], "roles": ["dev", "ops"][: 1 + i % 2]},
            "items": [{"sku": "A-%d" % (i * 7 % 1000), "qty": i % 9}], "ok": i % 3 != 0,
            "note": "zebra-needle" if i == records - 1 else "request %d handled" % i}


with open(os.path.join(out, "embedded.jsonl"), "w") as f:
    for i in range(records):
        f.write(json.dumps({"time": "2026-03-01T10:%02d:%02dZ" % (i // 60 % 60, i % 60), "level": "info",
                            "payload": json.dumps(payload(i))}) + "\n")
with open(os.path.join(out, "embedded-big.json"), "w") as f:
    f.write(json.dumps({"kind": "export", "payload": json.dumps([payload(i) for i in range(records)])}))
print("wrote", os.path.join(out, "embedded.jsonl"), "and", os.path.join(out, "embedded-big.json"))
