#!/usr/bin/env python3
"""Times what the user waits for: the tool `vako` run as a whole process (start,
read, decode, write, exit) on large files it generates itself. Each operation
runs several times under /usr/bin/time; the table gives the median CPU seconds
(user + system) and the median peak resident memory, beside the goals. The table replaces its own section of
docs/PERFORMANCE.md (or is added at the end).

usage: process-bench.py BUILD [PAGE] [--runs N]"""
import os
import random
import statistics
import struct
import subprocess
import sys
import tempfile

BEGIN = "<!-- whole-process table: scripts/process-bench.py -->"
END = "<!-- end of whole-process table -->"


def var_len(value):
    out = [value & 0x7F]
    value >>= 7
    while value:
        out.append(0x80 | (value & 0x7F))
        value >>= 7
    return bytes(reversed(out))


def chord_track(events, channel_of, tempo=True):
    """Note events (half starts, half ends) in chords of four, ended by note-ons
    of velocity 0 under running status, 120 ticks apart."""
    track = bytearray()
    if tempo:
        track += bytes([0x00, 0xFF, 0x51, 0x03, 0x07, 0xA1, 0x20])
    written = 0
    chord = 0
    while written < events:
        channel = channel_of(chord)
        root = 40 + chord % 36
        notes = min(4, (events - written) // 2)
        if notes == 0:
            break
        for i in range(notes):
            track += bytes([0x00, 0x90 + channel, root + i * 4, 80 + i])
        for i in range(notes):
            if i == 0:
                track += var_len(120) + bytes([0x90 + channel])
            else:
                track += b"\x00"
            track += bytes([root + i * 4, 0x00])
        written += 2 * notes
        chord += 1
    track += bytes([0x00, 0xFF, 0x2F, 0x00])
    return b"MTrk" + struct.pack(">I", len(track)) + bytes(track)


def midi_file(fmt, tracks):
    return b"MThd" + struct.pack(">IHHH", 6, fmt, len(tracks), 480) + b"".join(tracks)


def format_zero(events):
    return midi_file(0, [chord_track(events, lambda chord: chord % 4)])


def format_one(tracks, events):
    per_track = events // tracks
    return midi_file(1, [chord_track(per_track, lambda chord, t=t: t, tempo=(t == 0))
                         for t in range(tracks)])


def song_text(notes):
    """A song file of `notes` notes in position order, chords by ascending pitch,
    as the editor writes it (Shift_JIS, CR LF)."""
    rng = random.Random(42)
    lines = ["\"vako6\"", "\"データ数×２\"", str(2 * notes),
             "\"パート1の楽器,パート2の楽器,・・・,パート16の楽器\"",
             ",".join(str(p * 7 % 128) for p in range(16)),
             "\"ボリューム1,ボリューム2,・・・,ボリューム16\"", ",".join(["5"] * 16),
             "\"データ番号,位置,音,長さ,   , 楽器, 音量, 左右バランス, 揺れ\""]
    pos = 1
    pitches = []
    for i in range(notes):
        if not pitches:
            pos += 3 * rng.randint(1, 4)
            pitches = sorted(rng.sample(range(36, 96), rng.randint(1, 4)))
        pitch = pitches.pop(0)
        lines.append(f"{i + 1},{pos},{pitch},{rng.choice((6, 12, 24))},\"   \","
                     f"{rng.randrange(16)},{rng.randint(10, 20)},4,0")
    lines += ["\"曲開始時のテンポ\"", "\"120\"", "\"入力時の区切り数,1小節の4分音符数\"", "15,4",
              "\"著作権名,シーケンス名\"", "\"著作権名\",\"大きな曲\"",
              "\"ここから下は「高度な機能」のデータ\"", "\"ＣＣの数\"", "1",
              "\"データ番号,位置,値,タイプ\"", "1,0,120,1"]
    return ("\r\n".join(lines) + "\r\n").encode("cp932")


def measure(command, runs, env=None):
    """Median CPU seconds, median peak resident MB and median wall seconds of
    `runs` runs. /usr/bin/time starts each run: a child forked from this script
    would count the script's own memory as its peak, the kernel keeping the
    high-water mark across exec."""
    cpu, rss, wall = [], [], []
    for _ in range(runs):
        done = subprocess.run(["/usr/bin/time", "-f", "%U %S %M %e", *command],
                              stdout=subprocess.DEVNULL, stderr=subprocess.PIPE, env=env)
        lines = done.stderr.decode(errors="replace").strip().splitlines()
        if done.returncode != 0 or not lines:
            raise SystemExit(f"{' '.join(command)} failed ({done.returncode}): {lines}")
        user, system, peak_kib, elapsed = lines[-1].split()
        cpu.append(float(user) + float(system))
        rss.append(int(peak_kib) / 1024)
        wall.append(float(elapsed))
    return statistics.median(cpu), statistics.median(rss), statistics.median(wall)


def write_section(page, text):
    old = ""
    if os.path.exists(page):
        with open(page, encoding="utf-8") as f:
            old = f.read()
    section = f"{BEGIN}\n{text}{END}\n"
    if BEGIN in old and END in old:
        head, rest = old.split(BEGIN, 1)
        new = head + section + rest.split(END, 1)[1].lstrip("\n")
    else:
        new = old.rstrip("\n") + ("\n\n" if old else "") + section
    with open(page, "w", encoding="utf-8") as f:
        f.write(new)


def main():
    args = [a for a in sys.argv[1:]]
    runs = 5
    if "--runs" in args:
        i = args.index("--runs")
        runs = int(args[i + 1])
        del args[i:i + 2]
    build = args[0] if args else "build"
    page = args[1] if len(args) > 1 else "docs/PERFORMANCE.md"
    vako = os.path.join(build, "src", "cli", "vako")
    if not os.access(vako, os.X_OK):
        raise SystemExit(f"(not built: {vako})")

    with tempfile.TemporaryDirectory(prefix="vako-process-bench-") as folder:
        files = {
            "zero.mid": format_zero(1_000_000),
            "one.mid": format_one(16, 400_000),
            "song.txt": song_text(500_000),
        }
        for name, image in files.items():
            with open(os.path.join(folder, name), "wb") as f:
                f.write(image)
        mb = {name: len(image) / 1e6 for name, image in files.items()}
        at = lambda name: os.path.join(folder, name)
        # (what, command, CPU goal s, memory goal MB)
        rows = [
            (f"`vako info` of a format-0 file with 1,000,000 note events ({mb['zero.mid']:.1f} MB)",
             [vako, "info", at("zero.mid")], 0.12, 40),
            (f"`vako info` of a format-1 file, 16 tracks, 400,000 events ({mb['one.mid']:.1f} MB)",
             [vako, "info", at("one.mid")], 0.06, 25),
            (f"`vako info` of a song file with 500,000 notes ({mb['song.txt']:.0f} MB)",
             [vako, "info", at("song.txt")], 0.10, 40),
            ("`vako convert` of that song file to .mid",
             [vako, "convert", at("song.txt"), at("out.mid")], 0.25, 60),
        ]
        lines = []
        for what, command, cpu_goal, mb_goal in rows:
            print(f"== {' '.join(os.path.basename(c) for c in command)}", flush=True)
            cpu, rss, _ = measure(command, runs)
            met = "met" if cpu <= cpu_goal and rss <= mb_goal else "**missed**"
            print(f"   {cpu:.3f} s CPU, {rss:.0f} MB peak", flush=True)
            lines.append(f"| {what} | {cpu:.3f} s, {rss:.0f} MB | ≤ {cpu_goal:g} s, ≤ {mb_goal} MB "
                         f"| {met} |")
        # The window from start to shown: started with --screenshot it opens
        # no MIDI device, shows itself, grabs its picture and ends.
        vakomidi = os.path.join(build, "src", "app", "vakomidi")
        if os.access(vakomidi, os.X_OK):
            print("== vakomidi --screenshot", flush=True)
            env = dict(os.environ, QT_QPA_PLATFORM="offscreen")
            cpu, rss, wall = measure([vakomidi, "--screenshot", at("shown.png")], runs, env)
            met = "met" if wall <= 0.2 else "**missed**"
            print(f"   {wall:.3f} s, {cpu:.3f} s CPU, {rss:.0f} MB peak", flush=True)
            lines.append(f"| `vakomidi` from start to shown (off-screen, no MIDI device; shown, "
                         f"grabbed and ended) | {wall:.2f} s wall ({cpu:.2f} s CPU, {rss:.0f} MB) "
                         f"| ≤ 0.2 s | {met} |")

    text = ("## Whole processes\n\n"
            "What the user waits for: the tool started as its own process on generated files, "
            f"from start to exit. Median of {runs} runs of CPU time (user + system) and peak "
            "resident memory, measured by /usr/bin/time. Rerun with "
            f"`scripts/process-bench.py {build}`.\n\n"
            "| Operation | Figure | Goal | |\n|---|---|---|---|\n" + "\n".join(lines) + "\n")
    write_section(page, text)
    print(f"wrote {page}")


if __name__ == "__main__":
    main()
