#!/usr/bin/env python3
"""The benchmark: every row, the engine and its peer timed in one run.

    python bench/run.py [--quick] [--rows NAME ...] [--list] [--update-readme]
                        [--engine-benchmark PATH]

Runs the row modules of this folder in turn (position_bench, event_bench when
it is present, dask_bench, python_bench): each yields rows, each row the
best time of our side and of the peer's side (timed in turns), their ratio,
the ratio asked for, and the largest difference between the two results.
Prints every row as it comes, then the whole table in Markdown;
`--update-readme` also writes it into bench/README.md. `--quick` makes every
count a tenth and the repeats two, for a smoke run. A module is a file with
`rows(quick)` (see harness.py).
"""

import argparse
import importlib
import inspect
import json
import math
import os
import pathlib
import platform
import re
import subprocess
import sys
import time
import traceback

import harness
from harness import Row

MODULES = {"position": "position_bench", "events": "event_bench", "dask": "dask_bench", "python": "python_bench"}
README = pathlib.Path(__file__).resolve().parent / "README.md"
BEGIN, END = "<!-- table: written by bench/run.py --update-readme -->", "<!-- end of table -->"


def figure(seconds: float) -> str:
    for limit, scale, unit in ((1e-6, 1e9, "ns"), (1e-3, 1e6, "µs"), (1.0, 1e3, "ms")):
        if seconds < limit:
            return f"{seconds * scale:.3g} {unit}" if seconds * scale < 100 else f"{seconds * scale:.0f} {unit}"
    return f"{seconds:.3g} s"


def ratio_text(row: Row) -> str:
    if row.ratio is None:
        return ""
    return f"{row.ratio:.3g}×" if row.ratio < 100 else f"{row.ratio:,.0f}×"


def target_text(row: Row) -> str:
    if row.target is None or row.ratio is None:
        return ""
    return f"≥ {row.target:g}× {'met' if row.ratio >= row.target else 'NOT met'}"


def print_row(row: Row) -> None:
    peer = f"{row.peer.library} {figure(row.peer.seconds)}" if row.peer else ""
    print(f"{row.name:<36} {row.ours.library} {figure(row.ours.seconds)} | {peer} | {ratio_text(row)} "
          f"{target_text(row)} | per {row.unit}", flush=True)
    print(f"    {row.workload}", flush=True)
    print(f"    ours: {row.ours.how}", flush=True)
    if row.peer:
        print(f"    peer: {row.peer.how}", flush=True)
    for label, text in (("agreement", row.agreement), ("note", row.note)):
        if text:
            print(f"    {label}: {text}", flush=True)


def markdown(rows: list[Row], header: str) -> str:
    lines = [header, "",
             "| row | workload | per | ephemeris | peer | peer's time | ratio | target | largest difference |",
             "|---|---|---|---:|---|---:|---:|---|---|"]
    for row in rows:
        peer = row.peer.library if row.peer else ""
        peer_time = figure(row.peer.seconds) if row.peer else ""
        ours = figure(row.ours.seconds) if row.ours.library.startswith("ephemeris") else \
            f"{figure(row.ours.seconds)} ({row.ours.library})"
        lines.append(f"| `{row.name}` | {row.workload} | {row.unit} | {ours} | {peer} | {peer_time} | "
                     f"{ratio_text(row)} | {target_text(row)} | {row.agreement} |")
    notes = [f"- `{row.name}`: {row.note}" for row in rows if row.note]
    if notes:
        lines += ["", *notes]
    lines += ["", "How each side was called:", ""]
    for row in rows:
        peer = f"; {row.peer.library}: `{row.peer.how}`" if row.peer else ""
        lines.append(f"- `{row.name}`: {row.ours.library}: `{row.ours.how}`{peer}")
    return "\n".join(lines)


def machine() -> str:
    model = "?"
    try:
        for line in pathlib.Path("/proc/cpuinfo").read_text().splitlines():
            if line.startswith("model name"):
                model = line.split(":", 1)[1].strip()
                break
    except OSError:
        pass
    versions = ", ".join(f"{name} {harness.version(name)}" for name in
                         ("numpy", "jplephem", "calcephpy", "skyfield", "spiceypy", "dask", "distributed"))
    return (f"{os.cpu_count()} × {model}, Python {platform.python_version()}, ephemeris "
            f"{__import__('ephemeris').__version__}; {versions}")


def engine_benchmark(path: str) -> None:
    """The C++ engine benchmark's figures: the same requests without Python."""
    output = subprocess.run([path, "--benchmark_format=json", "--benchmark_repetitions=5"],
                            check=True, capture_output=True, text=True).stdout
    best: dict[str, float] = {}
    for run in json.loads(output)["benchmarks"]:
        if run.get("run_type") == "iteration":
            scale = {"ns": 1e-9, "us": 1e-6, "ms": 1e-3, "s": 1.0}[run["time_unit"]]
            best[run["run_name"]] = min(best.get(run["run_name"], math.inf), run["real_time"] * scale)
    print(f"C++ engine benchmark ({pathlib.Path(path).name}, best of 5), no Python in the loop")
    for name, seconds in best.items():
        print(f"  {name:<46} {figure(seconds)}")


def main() -> int:
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--quick", action="store_true", help="a tenth of the counts and 2 repeats")
    parser.add_argument("--rows", nargs="+", metavar="NAME",
                        help=f"only these rows or modules ({', '.join(MODULES)}); --list names the rows")
    parser.add_argument("--list", action="store_true", help="name the modules and their rows, then stop")
    parser.add_argument("--update-readme", action="store_true", help="write the table into bench/README.md")
    parser.add_argument("--engine-benchmark", metavar="PATH", help="also run this C++ engine_benchmark program")
    args = parser.parse_args()

    modules, failed = {}, False
    for short, module_name in MODULES.items():
        try:
            modules[short] = importlib.import_module(module_name)
        except ModuleNotFoundError as error:
            if error.name != module_name:
                raise
            print(f"({module_name}.py is not present: no {short} rows)", file=sys.stderr)
    if args.list:
        for short, module in modules.items():
            print(f"{short}: {' '.join(getattr(module, 'NAMES', ())) or '(rows not named in advance)'}")
        return 0
    wanted = set(args.rows or ())
    known = set(modules) | {name for module in modules.values() for name in getattr(module, "NAMES", ())}
    if wanted - known:
        parser.error(f"unknown rows {sorted(wanted - known)}; --list names them")

    started = time.strftime("%Y-%m-%d %H:%M")
    load_before = harness.load_average()
    print(machine())
    print(f"{started}, load average {load_before}{' (--quick)' if args.quick else ''}\n", flush=True)
    rows: list[Row] = []
    for short, module in modules.items():
        names = getattr(module, "NAMES", None)
        if wanted and short not in wanted:
            if not names or not wanted & set(names):
                continue
        selected = [name for name in names if name in wanted] if names and wanted and short not in wanted \
            else None
        try:
            produced = module.rows(args.quick, selected) if selected is not None and \
                len(inspect.signature(module.rows).parameters) > 1 else module.rows(args.quick)
            for record in produced:
                row = Row.of(record)
                rows.append(row)
                print_row(row)
        except Exception:  # a peer missing or failing: say so, go on with the other modules
            failed = True
            print(f"{MODULES[short]} failed:\n{traceback.format_exc()}", file=sys.stderr, flush=True)
    if args.engine_benchmark:
        engine_benchmark(args.engine_benchmark)
    header = (f"Measured {started} on {machine()}; load average (1, 5, 15 min) {load_before} at the start, "
              f"{harness.load_average()} at the end{'; --quick' if args.quick else ''}.")
    table = markdown(rows, header)
    print("\n" + table)
    if args.update_readme:
        text = README.read_text(encoding="utf-8")
        if BEGIN not in text or END not in text:
            print(f"{README} has no table markers; not written", file=sys.stderr)
            return 1
        README.write_text(re.sub(re.escape(BEGIN) + ".*?" + re.escape(END),
                                 lambda _: f"{BEGIN}\n{table}\n{END}", text, flags=re.S), encoding="utf-8")
        print(f"\nwritten into {README}")
    return 1 if failed else 0


if __name__ == "__main__":
    sys.exit(main())
