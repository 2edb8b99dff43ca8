#!/usr/bin/python3
"""Reads the JSON that Google Benchmark wrote for bumpmap_bench and bumpmap_math_bench, works
out the figures that take two benchmarks (frame / floor, math / frame), writes them as the JSON
kept per commit in bench/results/ and prints the Markdown table of docs/benchmarks.md.

Usage: scripts/bench-report.py FRAME_JSON MATH_JSON OUT_JSON
"""
import json
import sys

TO_MS = {"ns": 1e-6, "us": 1e-3, "ms": 1.0, "s": 1e3}
VIEWS = ["bumped_filled", "bumped_wireframe", "displaced_filled", "displaced_wireframe"]


def load(path):
    """The run's context, and its statistics by (kind, view), then by name ("median", "p10")."""
    with open(path, encoding="utf-8") as f:
        report = json.load(f)
    stats = {}
    for run in report["benchmarks"]:
        if run.get("error_occurred"):
            sys.exit(f"{path}: {run['name']}: {run.get('error_message')}")
        if run.get("run_type") == "aggregate":
            kind, view = run["run_name"].split("/")[:2]
            stats.setdefault((kind, view), {})[run["aggregate_name"]] = run
    return report["context"], stats


def spread(stats):
    """Median, p10 and p90 in milliseconds."""
    return {n: round(stats[n]["real_time"] * TO_MS[stats[n]["time_unit"]], 4)
            for n in ("median", "p10", "p90")}


def cells(ms):
    return f"{ms['median']:.2f} ({ms['p10']:.2f}–{ms['p90']:.2f})"


frame_json, math_json, out_json = sys.argv[1:]
context, runs = load(frame_json)
math = load(math_json)[1]
if context.get("floor_check") != "passed":
    sys.exit(f"{frame_json}: the floor check did not pass; nothing to report")
with open("/proc/cpuinfo", encoding="utf-8") as f:
    cpu = next((l.split(":", 1)[1].strip() for l in f if l.startswith("model name")), "unknown")

results = {
    "commit": context.get("commit", "unknown"),
    "date": context["date"],
    "renderer": context["renderer"],
    "gl_version": context["gl_version"],
    "cpu": cpu,
    "cores": context["num_cpus"],
    "floor_check": "passed",
    "repetitions": next(iter(runs.values()))["median"]["repetitions"],
    "views": [],
}
for view in VIEWS:
    if ("frame", view) not in runs or ("floor", view) not in runs:
        continue
    frame, floor = runs["frame", view], runs["floor", view]
    entry = {
        "view": view.replace("_", ", "),
        "frame_ms": spread(frame),
        "floor_ms": spread(floor),
        "frame_fps": round(frame["median"]["fps"], 2),
        "floor_fps": round(floor["median"]["fps"], 2),
        "frame_vertices_per_s": round(frame["median"]["vertices/s"]),
        "floor_vertices_per_s": round(floor["median"]["vertices/s"]),
    }
    entry["frame_over_floor"] = round(entry["frame_ms"]["median"] / entry["floor_ms"]["median"], 4)
    surface = ("surface", view.split("_")[0])
    if surface in math:
        entry["math_ms"] = spread(math[surface])
        entry["math_share"] = round(entry["math_ms"]["median"] / entry["frame_ms"]["median"], 4)
    results["views"].append(entry)
if ("orbit", "bumped_filled") in runs:
    orbit = runs["orbit", "bumped_filled"]
    results["orbit"] = {
        "frames": orbit["median"]["repetitions"],
        "fps": round(orbit["median"]["fps"], 2),
        "frame_ms": spread(orbit),
    }
if not results["views"] and "orbit" not in results:
    sys.exit(f"{frame_json}: no figures to report")
with open(out_json, "w", encoding="utf-8") as f:
    json.dump(results, f, indent=2, ensure_ascii=False)
    f.write("\n")

print(f"On a {results['cores']}-core {cpu} with {results['renderer']}, OpenGL "
      f"{results['gl_version']}, commit {results['commit']} (medians, p10–p90 in brackets; "
      "each surface is 100,200 vertices):\n")
print("| view | frame ms | fps | vertices/s | floor ms | frame ÷ floor | math ms | math ÷ frame |")
print("|---|---|---|---|---|---|---|---|")
for v in results["views"]:
    share = f"{v['math_ms']['median']:.3f} | {100 * v['math_share']:.1f} %" if "math_ms" in v else "– | –"
    print(f"| {v['view']} | {cells(v['frame_ms'])} | {v['frame_fps']:.1f} "
          f"| {v['frame_vertices_per_s'] / 1e6:.1f} M | {cells(v['floor_ms'])} "
          f"| {v['frame_over_floor']:.3f} | {share} |")
if "orbit" in results:
    orbit = results["orbit"]
    print(f"\nOrbit: {orbit['frames']} turns of the main loop at {orbit['fps']:.1f} fps, "
          f"{cells(orbit['frame_ms'])} ms a frame.")
