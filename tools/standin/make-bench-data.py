#!/usr/bin/python3
"""Writes a stand-in data folder with a large catalogue for the benchmarks:
one account that owns COUNT products.

usage: make-bench-data.py OUTDIR [COUNT]
"""
import json
import os
import sys


def main():
    out = sys.argv[1]
    count = int(sys.argv[2]) if len(sys.argv) > 2 else 500
    os.makedirs(out, exist_ok=True)
    products = []
    for i in range(count):
        pid = 1000 + i
        products.append({
            "id": pid,
            "name": "Bench Plugin %03d" % i,
            "version": "1.%d.%d" % (i % 7, i % 3),
            "thumbnail": "bench-%03d.png" % i,
            "installer": "Bench%03d.zip" % i,
            "freebie": i % 10 == 0,
            "colour": [60 + (i * 37) % 180, 60 + (i * 71) % 180, 60 + (i * 13) % 180],
        })
    with open(os.path.join(out, "catalogue.json"), "w") as f:
        json.dump({"products": products}, f)
    with open(os.path.join(out, "accounts.json"), "w") as f:
        json.dump([{"email": "bench@quillotone.test", "password": "quillotone", "name": "Bench",
                    "owned": [p["id"] for p in products], "demos": []}], f)


if __name__ == "__main__":
    main()
