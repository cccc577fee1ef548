#!/usr/bin/env python3
"""Turns the samples of one benchmark run into a Markdown table.

report.py <samples> <info>   samples: "name value" lines; info: "key value" lines
Prints the report; every figure is given as min / median / max over the runs
and as a ratio of its median to the median of its baseline from the same run.
"""
import statistics
import sys

BUDGET_MS = 1000.0 / 30  # one frame at 30 fps

# (section, figure, unit, samples, baseline samples or a number, baseline text)
ROWS = [
    ("Start-up", "process start -> first Play at the control", "ms",
     "saver.startup_ms", "baseline.startup_ms", "black full-screen window, start -> end"),
    ("Start-up", "process start -> the saver's window visible", "ms",
     "saver.visible_ms", "baseline.startup_ms", "black full-screen window, start -> end"),
    ("Closing", "mouse move (past the ignored ones) -> process end", "ms",
     "saver.close_mouse_ms", "baseline.close_mouse_ms", "black window closing on a mouse move"),
    ("Closing", "key -> process end", "ms",
     "saver.close_key_ms", "baseline.close_key_ms", "black window closing on a key"),
    ("Playing", "demo (30 fps): CPU time of the saver", "ms/s",
     "demo.cpu_ms_per_s", "empty.cpu_ms_per_s", "empty movie"),
    ("Playing", "demo: idle passes", "1/s",
     "demo.idle_passes_per_s", "empty.idle_passes_per_s", "empty movie"),
    ("Playing", "demo: control calls per idle pass", "calls",
     "demo.calls_per_idle_pass", "empty.calls_per_idle_pass", "empty movie"),
    ("Playing", "demo: control calls per frame", "calls",
     "demo.calls_per_frame", "empty.calls_per_frame", "empty movie"),
    ("Playing", "empty movie (30 fps): CPU time of the saver", "ms/s",
     "empty.cpu_ms_per_s", "baseline.cpu_ms_per_s", "black window, idle"),
    ("Playing", "empty movie: idle passes", "1/s", "empty.idle_passes_per_s", None, ""),
    ("Playing", "empty movie: control calls per idle pass", "calls", "empty.calls_per_idle_pass", None, ""),
    ("Playing", "empty movie: control calls per frame", "calls", "empty.calls_per_frame", None, ""),
    ("Size", "swfsaver.scr, i686", "bytes", "size.scr_i686", "size.baseline_i686", "baseline program, i686"),
    ("Size", "swfstandin.dll, i686", "bytes", "size.dll_i686", "size.baseline_i686", "baseline program, i686"),
    ("Size", "swfsaver.scr, x86_64", "bytes", "size.scr_x86_64", "size.baseline_x86_64", "baseline program, x86_64"),
    ("Size", "swfstandin.dll, x86_64", "bytes", "size.dll_x86_64", "size.baseline_x86_64", "baseline program, x86_64"),
    ("Renderer", "demo at 1920x1080", "ms/frame", "render.demo_ms", BUDGET_MS, "frame budget at 30 fps"),
    ("Renderer", "heavy scene at 1920x1080", "ms/frame", "render.heavy_ms", BUDGET_MS, "frame budget at 30 fps"),
]


def read_pairs(path):
    out = {}
    for line in open(path):
        parts = line.split(None, 1)
        if len(parts) == 2:
            out.setdefault(parts[0], []).append(parts[1].strip())
    return out


def fmt(v):
    if v is None:
        return "-"
    if abs(v) >= 1000:
        return "%.0f" % v
    if abs(v) >= 100:
        return "%.1f" % v
    return "%.2f" % v


def main():
    samples = {k: [float(x) for x in v] for k, v in read_pairs(sys.argv[1]).items()}
    info = {k: v[-1] for k, v in read_pairs(sys.argv[2]).items()}
    lines = ["# swfsaver benchmark", ""]
    for key in ("date", "commit", "wine", "display", "runs", "play_seconds"):
        if key in info:
            lines.append("- %s: %s" % (key.replace("_", " "), info[key]))
    lines += ["", "| Figure | Unit | Min | Median | Max | Baseline (median) | Ratio to baseline |",
              "|---|---|---:|---:|---:|---|---:|"]
    missing = []
    for section, figure, unit, key, base, base_text in ROWS:
        values = samples.get(key)
        if not values:
            missing.append(key)
            continue
        med = statistics.median(values)
        if isinstance(base, float):
            base_med = base
        elif base:
            base_med = statistics.median(samples[base]) if samples.get(base) else None
        else:
            base_med = None
        if base_med is None:
            base_cell, ratio = "-", "-"
        else:
            base_cell = "%s: %s" % (base_text, fmt(base_med))
            ratio = "%.2f" % (med / base_med) if base_med else "n/a (baseline 0)"
        lines.append("| %s: %s | %s | %s | %s | %s | %s | %s |" % (
            section, figure, unit, fmt(min(values)), fmt(med), fmt(max(values)), base_cell, ratio))
    lines.append("")
    lines.append("Renderer rows: frames per second = 1000 / (ms per frame); the ratio is the share of the "
                 "30 fps frame budget one frame takes.")
    for key in ("render.demo_ms", "render.heavy_ms"):
        if samples.get(key):
            med = statistics.median(samples[key])
            lines.append("- %s: %.1f frames per second (median), %.0f%% of the frame budget" % (
                key.split(".")[1].replace("_ms", ""), 1000.0 / med, 100.0 * med / BUDGET_MS))
    for note in read_pairs(sys.argv[2]).get("note", []):
        lines.append("- " + note)
    if missing:
        lines.append("")
        lines.append("Not measured in this run: " + ", ".join(missing))
    print("\n".join(lines))
    return 0


if __name__ == "__main__":
    sys.exit(main())
