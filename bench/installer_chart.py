#!/usr/bin/python3
"""Draws build time, install time and size of each installer builder, from
the CSV file that bench/installers.sh writes.

Usage: bench/installer_chart.py INSTALLERS.csv CHART.png
"""
import csv
import sys

import matplotlib

matplotlib.use("Agg")
import matplotlib.pyplot as plt  # noqa: E402  (the backend must be chosen first)


def main(source, target):
    with open(source, newline="") as f:
        rows = list(csv.DictReader(f))
    if not rows:
        sys.exit(f"installer_chart: no rows in {source}")

    names = [row["tool"] for row in rows]
    fig, axes = plt.subplots(1, 3, figsize=(15, 5.5), dpi=110, sharey=True)
    for ax, column, title in ((axes[0], "build_s", "build, seconds"),
                              (axes[1], "install_s", "install, seconds"),
                              (axes[2], "size_ratio", "size, packed ÷ original")):
        values = [float(row[column]) for row in rows]
        bars = ax.barh(names, values, color=["#4477aa" if n.startswith("stowaway") else "#bbbbbb"
                                             for n in names])
        for bar, row in zip(bars, rows):
            note = f"{float(row[column]):.2f}"
            if column == "install_s":
                note += f" ({row['install_on']})"
            ax.text(bar.get_width(), bar.get_y() + bar.get_height() / 2, " " + note,
                    va="center", fontsize=8)
        ax.set_title(title)
        ax.grid(True, axis="x", alpha=0.3)
        ax.margins(x=0.25)
    axes[0].invert_yaxis()
    fig.tight_layout()
    fig.savefig(target)
    print(f"installer_chart: {target}")


if __name__ == "__main__":
    if len(sys.argv) != 3:
        sys.exit(__doc__)
    main(sys.argv[1], sys.argv[2])
