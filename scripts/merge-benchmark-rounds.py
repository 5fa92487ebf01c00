#!/usr/bin/env python3
"""Merges the JSON of one benchmark program's rounds (each round runs every benchmark once) into one file shaped
like a single run with repetitions: every repetition kept, its round as its repetition_index, and a median
aggregate per benchmark as Google Benchmark writes one, so that benchmark-chart.py reads it like any other run.

    merge-benchmark-rounds.py OUT ROUND.json...

The context is the first round's, with the load average at the start of every round added."""

import json
import statistics
import sys

# Numbers in an entry that describe the run rather than measure it.
NOT_MEASURED = {"family_index", "per_family_instance_index", "repetitions", "repetition_index", "threads",
                "iterations"}


def main():
    if len(sys.argv) < 3:
        sys.exit(__doc__)
    out, paths = sys.argv[1], sys.argv[2:]
    context, loads, runs = None, [], {}
    for index, path in enumerate(paths):
        with open(path) as file:
            data = json.load(file)
        context = context or data["context"]
        loads.append(data["context"].get("load_avg", []))
        for entry in data["benchmarks"]:
            if entry.get("run_type") != "iteration" or entry.get("error_occurred"):
                continue
            runs.setdefault(entry["run_name"], []).append(dict(entry, repetition_index=index))

    merged = []
    for run_name, entries in runs.items():
        for entry in entries:
            entry["repetitions"] = len(entries)
        median = dict(entries[0], name=run_name + "_median", run_type="aggregate", aggregate_name="median",
                      aggregate_unit="time", repetitions=len(entries))
        del median["repetition_index"]
        for key, value in entries[0].items():
            if isinstance(value, (int, float)) and not isinstance(value, bool) and key not in NOT_MEASURED:
                median[key] = statistics.median(entry[key] for entry in entries if key in entry)
        merged += entries + [median]

    context = dict(context, load_avg_by_round=loads)
    with open(out, "w") as file:
        json.dump({"context": context, "benchmarks": merged}, file, indent=2)
        file.write("\n")


if __name__ == "__main__":
    main()
