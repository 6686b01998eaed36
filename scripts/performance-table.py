#!/usr/bin/env python3
"""Runs every benchmark binary of a build and writes docs/PERFORMANCE.md: one
table of figures beside their budgets, and how to rerun each."""
import json
import os
import subprocess
import sys
import time

# (binary, benchmark name prefix) -> (what it measures, budget text, check)
# check(run) -> (figure text, met: bool or None)


def ms(run):
    value = run["real_time"]
    unit = run.get("time_unit", "ns")
    return value * {"ns": 1e-6, "us": 1e-3, "ms": 1.0, "s": 1e3}[unit]


def under(limit_ms):
    def check(run):
        t = ms(run)
        return f"{t:.3g} ms", t <= limit_ms
    return check


def under_us(limit_us):
    def check(run):
        t = ms(run) * 1000
        return f"{t:.3g} µs", t <= limit_us
    return check


def import_check(run):
    t = ms(run)
    peak = run.get("peak_heap_MB", 0)
    return f"{t:.3g} ms, {peak:.0f} MB peak", t <= 250 and peak <= 100


def hostile_import_check(run):
    t = ms(run)
    peak = run.get("peak_heap_MB", 0)
    return f"{t:.3g} ms, {peak:.2f} MB peak", peak <= 1


def playback_check(run):
    late_med, late_p99 = run["late_median_ms"], run["late_p99_ms"]
    bare_med, bare_p99 = run["bare_median_ms"], run["bare_p99_ms"]
    last, cpu = run["last_msg_error_ms"], run["cpu_percent"]
    met = (late_med - bare_med <= 0.2 and late_p99 - bare_p99 <= 1.0 and abs(last) <= 3 and cpu < 2)
    text = (f"late median {late_med:.3f} ms (bare {bare_med:.3f}), p99 {late_p99:.3f} ms "
            f"(bare {bare_p99:.3f}), last {last:+.3f} ms, CPU {cpu:.2f}%")
    return text, met


def clicks_check(run):
    notes, clicks = run["late_p99_ms"], run["click_late_p99_ms"]
    jump = run.get("jump_late_max_ms", 0)
    text = (f"notes late median {run['late_median_ms']:.3f} ms, p99 {notes:.3f} ms; clicks "
            f"median {run['click_late_median_ms']:.3f} ms, p99 {clicks:.3f} ms; loop jumps "
            f"{run.get('jumps', 0):.0f}, latest {jump:.3f} ms")
    return text, clicks <= 1.0 and jump <= 1.0


def under_with_history(limit_ms):
    def check(run):
        t = ms(run)
        held = run.get("history_bytes_per_step", 0) / 1e6
        return f"{t:.3g} ms, history {held:.1f} MB a step", t <= limit_ms
    return check


def pdf_check(run):
    t, mb = ms(run), run["MB"]
    return f"{t:.3g} ms, {mb:.2f} MB", t <= 2000 and mb <= 5


def thru_check(run):
    p50, p99, worst = run["p50_us"], run["p99_us"], run["max_us"]
    dropped = run.get("dropped", 0)
    text = f"p50 {p50:.0f} µs, p99 {p99:.0f} µs, max {worst / 1000:.2f} ms, {dropped:.0f} dropped"
    return text, p99 <= 1000 and dropped == 0


def render_check(run):
    ours, theirs = run["vako_x_realtime"], run["fluidsynth_x_realtime"]
    return f"{ours:.1f}× real time (fluidsynth {theirs:.1f}×)", ours >= theirs


def resident_check(limit_mb):
    def check(run):
        mb = run["resident_MB"]
        return f"{mb:.0f} MB resident", mb <= limit_mb
    return check


def cpu_under(limit_ms):
    def check(run):
        t = ms(run)
        paints = run.get("paints_per_move")
        extra = f", {paints:.2g} paints a move" if paints is not None else ""
        return f"{t:.3g} ms CPU{extra}", t <= limit_ms
    return check


def informative(run):
    return f"{ms(run):.3g} ms", None


def history_memory_check(run):
    heap, held = run["heap_MB"], run["history_MB"]
    return f"{heap:.2f} MB heap ({held:.2f} MB counted by the history)", heap <= 5


BUDGETS = [
    ("song_bench", "BM_OpenSong100k", "Open a song file of 100,000 notes", "60 ms", under(60)),
    ("song_bench", "BM_SaveSong100k", "Save a song file of 100,000 notes", "40 ms", under(40)),
    ("song_bench", "BM_FormatSongText", "Build the song file image (100,000 notes)", "—", informative),
    ("midi_bench", "BM_ImportMidiFile/1000000", "Import a 1,000,000-event MIDI file",
     "250 ms, 100 MB", import_check),
    ("midi_bench", "BM_ImportMidiFile/", "Import (growth)", "linear", informative),
    ("midi_bench", "BM_ImportZeroFilledTrack/", "Import a 100 MB track of zero bytes (note-offs)",
     "1 MB", hostile_import_check),
    ("midi_bench", "BM_OpenMidiFile/", "Open a MIDI file from disk (growth)", "linear", informative),
    ("midi_bench", "BM_ExportMidiFile/500000", "Export 500,000 notes (chords of four)", "150 ms",
     under(150)),
    ("midi_bench", "BM_ExportMidiFile/", "Export (growth)", "linear", informative),
    ("midi_bench", "BM_ExportUniformChords/", "Export, chords of one length", "—", informative),
    ("midi_bench", "BM_ImportTwoTracks/", "Import, two tracks", "—", informative),
    ("playback_bench", "BM_RealTimePlayback/120", "Playback timing at tempo 120, 60 s",
     "median +0.2 ms, p99 +1 ms of a bare loop; last ±3 ms; CPU < 2%", playback_check),
    ("playback_bench", "BM_RealTimePlayback/600", "Playback timing at tempo 600, 60 s",
     "median +0.2 ms, p99 +1 ms of a bare loop; last ±3 ms; CPU < 2%", playback_check),
    ("playback_bench", "BM_RenderBesideFluidsynth", "Offline render beside fluidsynth's own",
     "at least as fast", render_check),
    ("playback_bench", "BM_RealTimePlaybackWithClicksAndLoop",
     "Playback with the metronome and a loop: lateness of notes, clicks and the loop's jump",
     "clicks p99 ≤ 1 ms, jump ≤ 1 ms", clicks_check),
    ("selection_bench", "BM_SelectAPartOf100kAndMoveAStep",
     "Select a part of 100,000 of 500,000 notes and move it a step", "50 ms",
     under_with_history(50)),
    ("selection_bench", "BM_CopyAndPaste100k", "Copy and paste 100,000 of 500,000 notes", "100 ms",
     under_with_history(100)),
    ("paper_bench", "BM_HundredPagePdf", "PDF of a 100-page song", "2 s, 5 MB", pdf_check),
    ("midi_in_bench", "BM_ThruLatencyIdle", "Keyboard thru latency, arrival to output call, idle",
     "p99 ≤ 1 ms", thru_check),
    ("midi_in_bench", "BM_ThruLatencyWhilePlaying",
     "Keyboard thru latency, arrival to output call, while playing", "p99 ≤ 1 ms", thru_check),
    ("draw_bench", "BM_RedrawRecordingCanvas", "Redraw a 2,000-note page of 500,000 notes (recording)",
     "2 ms", under(2)),
    ("draw_bench", "BM_RedrawFullHdImage", "Redraw a 2,000-note page into a full-HD image (Qt)",
     "15 ms", under(15)),
    ("editing_bench", "BM_MouseMoveOver500kNotes", "One mouse move over 500,000 notes", "20 µs",
     under_us(20)),
    ("editing_bench", "BM_ClickAddThenDeleteIn500kNotes", "Add and delete a note in 500,000 notes",
     "—", informative),
    ("window_bench", "BM_WindowMouseMoveOverStaff", "Mouse move over the staff (window)",
     "0.5 ms CPU", cpu_under(0.5)),
    ("window_bench", "BM_WindowPageTurn", "Page turn, 100,000 notes (window)", "3 ms CPU",
     cpu_under(3)),
    ("window_bench", "BM_WindowMemoryAfterOpenAndExport",
     "Window after opening and exporting 100,000 notes", "70 MB", resident_check(70)),
    ("rangeedit_bench", "BM_RangeOperation/", "Range window operation on 50,000 of 500,000 notes",
     "50 ms", under(50)),
    ("history_bench", "BM_RecordKeyEdit", "Edit history: record a key edit in 500,000 notes",
     "50 µs beyond the edit", under_us(50)),
    ("history_bench", "BM_ClickWithoutHistory", "Edit history: a click in 500,000 notes, not recorded",
     "—", informative),
    ("history_bench", "BM_ClickWithHistory", "Edit history: a click in 500,000 notes, recorded",
     "50 µs beyond the one not recorded", informative),
    ("history_bench", "BM_UndoRedoClick", "Edit history: undo + redo of a click in 500,000 notes",
     "1 ms each; the figure is both", under(1)),
    ("history_bench", "BM_UndoRedoRange", "Edit history: undo + redo of a range operation on 50,000 of 500,000 notes",
     "50 ms each; the figure is both", under(50)),
    ("history_bench", "BM_RecordRangeStrength", "Edit history: recording with the whole song as scope",
     "—", informative),
    ("history_bench", "BM_ThousandClicksMemory", "Edit history: memory of 1,000 single-note clicks",
     "5 MB", history_memory_check),
]


def run_binary(path):
    out = path + ".json"
    subprocess.run([path, "--benchmark_format=console", f"--benchmark_out={out}",
                    "--benchmark_out_format=json"], check=True)
    with open(out, encoding="utf-8") as f:
        return json.load(f)


def main():
    build = sys.argv[1] if len(sys.argv) > 1 else "build"
    target = sys.argv[2] if len(sys.argv) > 2 else "docs/PERFORMANCE.md"
    results = {}
    context = None
    for binary in sorted({b for b, *_ in BUDGETS}):
        path = os.path.join(build, "bench", binary)
        if not os.access(path, os.X_OK):
            print(f"(not built: {binary})")
            continue
        print(f"== {binary}", flush=True)
        data = run_binary(path)
        context = context or data.get("context", {})
        results[binary] = [r for r in data["benchmarks"] if r.get("run_type") != "aggregate"
                           or r.get("aggregate_name") in ("BigO", "RMS")]
    rows = []
    for binary, prefix, what, budget, check in BUDGETS:
        for run in results.get(binary, []):
            name = run["name"]
            if not name.startswith(prefix) or "_BigO" in name or "_RMS" in name:
                continue
            if prefix.endswith("/") and any(name.startswith(p) for b, p, *_ in BUDGETS
                                            if b == binary and p != prefix and p.startswith(prefix)
                                            and not p.endswith("/")):
                continue
            figure, met = check(run)
            label = run.get("label", "")
            verdict = "—" if met is None else ("met" if met else "**missed**")
            rerun = f"`{build}/bench/{binary} --benchmark_filter='{name}'`"
            rows.append(f"| {what}{' (' + label + ')' if label else ''} | `{name}` | {figure} | "
                        f"{budget} | {verdict} | {rerun} |")
    cpu = context.get("num_cpus", "?") if context else "?"
    when = time.strftime("%Y-%m-%d %H:%M UTC", time.gmtime())
    with open(target, "w", encoding="utf-8") as f:
        f.write("# Performance\n\n")
        f.write("Every benchmark of the project, measured by `make bench`, which writes this page "
                f"anew. Last run: {when}, {cpu} CPUs. Figures are wall-clock times (real time) of "
                "one run, except those marked CPU (the process's own CPU time); budgets come from the issues that asked for them.\n\n")
        f.write("| What | Benchmark | Figure | Budget | | How to rerun |\n")
        f.write("|---|---|---|---|---|---|\n")
        f.write("\n".join(rows) + "\n")
    print(f"wrote {target}")


if __name__ == "__main__":
    main()
