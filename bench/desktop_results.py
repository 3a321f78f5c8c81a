"""Where the desktop benchmark writes its results, and the table of each program's medians over
the runs that both phases write."""

import statistics

from desktop_subjects import ROOT

RESULTS = ROOT / "bench" / "results"


def median_table(runs, columns):
    """Each program's medians over the runs, and the Markdown table of them."""
    programs = [r["program"] for r in runs[0]]
    medians = {}
    for p in programs:
        rows = [r for run in runs for r in run if r["program"] == p]
        medians[p] = {k: statistics.median(r[k] for r in rows) for k, _, _ in columns}
    table = ["| program | " + " | ".join(title for _, title, _ in columns) + " |",
             "|---" * (len(columns) + 1) + "|"]
    for p in programs:
        cells = [fmt.format(medians[p][k]) for k, _, fmt in columns]
        table.append(f"| {p} | " + " | ".join(cells) + " |")
    return medians, table
