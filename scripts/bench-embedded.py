#!/usr/bin/env python3
"""Bench files for JSON inside strings, written to DIR (build/bench-files by default):

  embedded.jsonl      100,000 log records, each with a "payload" string holding a JSON object
                      (about 25 MB); the last payload alone holds the word "zebra-needle"
  embedded-big.json   one record whose "payload" string holds an array of 100,000 objects
                      (about 12 MB of escaped JSON in one string)
  embedded-100mb.json an array of records of fifteen members, about 100 MB, whose last record
                      has a "payload" string holding an object with an array of 1,000 objects

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
with open(os.path.join(out, "embedded-100mb.json"), "w") as f:
    f.write("[\n")
    size, i = 2, 0
    while size < 100_000_000:
        record = {"id": i, "name": names[i % 5] + str(i), "email": "%s%d@example.com" % (names[i % 5], i),
                  "age": 20 + i % 50, "active": i % 3 != 0, "score": i * 0.37 % 100, "city": "Berlin",
                  "country": "DE", "zip": "%05d" % (i % 100000), "tags": ["a", "b", "c"][: 1 + i % 3],
                  "created": "2026-03-01T10:00:00Z", "notes": "record %d of the bench" % i, "level": i % 7,
                  "ratio": 0.5, "ok": None}
        text = ("  " if i == 0 else ",\n  ") + json.dumps(record)
        f.write(text)
        size += len(text)
        i += 1
    last = {"id": i, "payload": json.dumps({"kind": "export", "items": [payload(k) for k in range(1000)]})}
    f.write(",\n  " + json.dumps(last) + "\n]\n")
print("wrote embedded.jsonl, embedded-big.json and embedded-100mb.json (last record $[%d]) to %s" % (i, out))
