#!/usr/bin/env python3
"""Compares what a real MSP reader read of a --for layout's libraries with
what the default layout holds (the msp_text column of its scorer table).

compare_readers.py NIST_TABLE.json WORK LAYOUT

Fails (exit 1) when the layout's reader reads a fact right less often than
the default layout's text holds it. Not counted against a reader: facts it
has no field for, and misses that the layout's rules make on purpose:
  - a repeated name written with " #2", " #3" ... (OpenMS keeps only the
    first spectrum of a name);
  - a retention time from a key of unknown unit (RETENTION_TIME, RT ...),
    which stays a comment.
The scorer does not look where OpenMS keeps the adduct (Precursor_Ion), so
for OpenMS the adduct counts as read right when OpenMS read every
PRECURSORTYPE line as written, and the written ones are right.
"""
import glob
import json
import os
import re
import sys

READER = {"msdial": "msdial", "matchms": "matchms_load", "openms": "openms_src"}
NO_FIELD = {"msdial": {"inchi"}, "matchms": set(), "openms": {"ionmode", "inchi", "ce"}}


def by_rule(miss):
    fact, expected, got = miss["fact"], miss["expected"], miss["got"]
    if fact == "rt" and expected and expected[1] == "?":
        return True
    if fact == "name" and isinstance(got, str) and \
            re.fullmatch(re.escape(expected) + r" #\d+", got):
        return True
    return False


def openms_read_every_adduct(work):
    """True when OpenMS's Precursor_Ion of every record is the PRECURSORTYPE
    written for it, record by record."""
    for msp in glob.glob(os.path.join(work, "*.msp")):
        if os.path.getsize(msp) == 0:
            continue
        written, current = [], None
        for line in open(msp, encoding="utf-8", errors="replace"):
            if line.startswith("NAME: "):
                current = None
                written.append(current)
            elif line.startswith("PRECURSORTYPE: "):
                written[-1] = line[len("PRECURSORTYPE: "):].rstrip("\n")
        read = [json.loads(l).get("meta", {}).get("Precursor_Ion")
                for l in open(msp[:-4] + ".openms_src.jsonl") if l.startswith('{"name"')]
        if read != written:
            print("OpenMS read other adducts than those written in " + os.path.basename(msp))
            return False
    return True


def main(nist_table, work, layout):
    held = json.load(open(nist_table))["msp_text"]
    table = json.load(open(os.path.join(work, "table.json")))
    reader = READER[layout]
    misses = [json.loads(l) for l in open(os.path.join(work, "details.jsonl"))]
    drops = []
    for fact, (right, _, _) in held.items():
        if fact == "adduct_title" or fact in NO_FIELD[layout]:
            continue
        got = table[reader][fact][0]
        got += sum(1 for m in misses if m["reader"] == reader and m["fact"] == fact and by_rule(m))
        if layout == "openms" and fact == "adduct" and openms_read_every_adduct(work):
            got = table["msp_text"]["adduct"][0]
        if got < right:
            drops.append("%s reads %s right %d times, the default layout holds it %d times"
                         % (reader, fact, got, right))
    for drop in drops:
        print("DROP --for %s: %s" % (layout, drop))
    if not drops:
        print("--for %s: %s reads every fact at least as often as the default layout holds it"
              % (layout, reader))
    return 1 if drops else 0


if __name__ == "__main__":
    sys.exit(main(*sys.argv[1:]))
