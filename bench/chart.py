#!/usr/bin/python3
"""Draws throughput against ratio for every codec on the whole corpus, from
the CSV file that stowaway_bench writes.

Usage: bench/chart.py RESULTS.csv CHART.png
"""
import csv
import sys

import matplotlib

matplotlib.use("Agg")
import matplotlib.pyplot as plt  # noqa: E402  (the backend must be chosen first)


def main(source, target):
    with open(source, newline="") as f:
        rows = [row for row in csv.DictReader(f) if row["part"] == "whole corpus"]
    if not rows:
        sys.exit(f"chart: no whole-corpus rows in {source}")

    fig, axes = plt.subplots(1, 2, figsize=(12, 5.5), dpi=110, sharex=True)
    markers = "osD^vP*X"
    for ax, column, direction in ((axes[0], "compress_mb_s", "compress"),
                                  (axes[1], "decompress_mb_s", "decompress")):
        for index, row in enumerate(rows):
            if row[column]:
                ax.scatter(float(row["ratio"]), float(row[column]), s=70,
                           marker=markers[index % len(markers)], label=row["codec"])
        ax.set_yscale("log")
        ax.set_xlabel("ratio (uncompressed ÷ packed)")
        ax.set_ylabel("MB/s of uncompressed data (log scale)")
        ax.set_title(f"{direction}, whole corpus")
        ax.grid(True, which="both", alpha=0.3)
        ax.legend(fontsize=8)
    fig.tight_layout()
    fig.savefig(target)
    print(f"chart: {target}")


if __name__ == "__main__":
    if len(sys.argv) != 3:
        sys.exit(__doc__)
    main(sys.argv[1], sys.argv[2])
