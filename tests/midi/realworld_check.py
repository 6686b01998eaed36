"""Imports real MIDI files with the vako tool and checks the song against mido,
a MIDI file reader this project did not write, under the import's rules; then
exports the song and checks that mido reads every imported note at its time.

The rules, as the import applies them:
- a note start (note-on with velocity above 0, key below 120) lasts until the
  first note end (note-off, or note-on with velocity 0) of its channel and key
  after it in time: a later tick, or the same tick and later in the file
  (tracks one after the other); at least 1 step, 12 steps without an end;
  channel 10 (part 9) always 3 steps;
- position = 3 + tick * 12 // division: tick 0 is the first beat, step 3,
  drawn on the staff's first bar line, and the export writes position p at
  tick (p - 3) * 40;
- strength = velocity, at least 6; balance and modulation are the channel's
  last controller 10 and 1 values read before the note, in file order.

usage: realworld_check.py VAKO DATA_DIR WORK_DIR
"""
import bisect
import collections
import os
import subprocess
import sys

import mido

vako, data, work = sys.argv[1], sys.argv[2], sys.argv[3]
os.makedirs(work, exist_ok=True)
failures = []


def check(condition, what):
    if not condition:
        failures.append(what)
    return condition


FIRST_BEAT = 3  # the position of tick 0


def expected_notes(path):
    """(position, key, length, part, velocity, pan, modulation) of every note."""
    midi = mido.MidiFile(path)
    division = midi.ticks_per_beat
    pan, mod = [64] * 16, [0] * 16
    starts, ends = [], collections.defaultdict(list)
    order = 0
    for track in midi.tracks:
        tick = 0
        for msg in track:
            tick += msg.time
            order += 1
            if msg.type == "control_change":
                if msg.control == 1:
                    mod[msg.channel] = msg.value
                elif msg.control == 10:
                    pan[msg.channel] = msg.value
            elif msg.type == "note_on" and msg.velocity > 0:
                if msg.note < 120:
                    starts.append((tick, order, msg.channel, msg.note, max(6, msg.velocity),
                                   pan[msg.channel], mod[msg.channel]))
            elif msg.type in ("note_on", "note_off"):
                ends[(msg.channel, msg.note)].append((tick, order))
    for key in ends:
        ends[key].sort()
    notes = []
    for tick, order, channel, key, velocity, p, m in starts:
        step = tick * 12 // division
        after = ends[(channel, key)]
        i = bisect.bisect_right(after, (tick, order))
        length = 12 if i == len(after) else max(1, after[i][0] * 12 // division - step)
        if channel == 9:
            length = 3
        notes.append((FIRST_BEAT + step, key, length, channel, velocity, p, m))
    return notes


METERS = {(2, 4): 2, (3, 4): 3, (4, 4): 4, (6, 8): 3, (6, 4): 6, (12, 8): 6}


def expected_meter(path):
    """Quarter notes per bar: the last time signature at tick 0, when the song
    knows one like it; else the 4 of a new song."""
    last = None
    for track in mido.MidiFile(path).tracks:
        tick = 0
        for msg in track:
            tick += msg.time
            if tick == 0 and msg.type == "time_signature":
                last = (msg.numerator, msg.denominator)
    return METERS.get(last, 4)


def song_notes(path):
    """The notes of a song text file: (position, key, length, part, strength // 6,
    balance // 16, modulation // 50), and its meter."""
    lines = open(path, "rb").read().decode("cp932").split("\r\n")
    count = int(lines[2]) // 2
    notes = []
    for line in lines[8:8 + count]:
        f = [x.strip() for x in line.split(",")]
        notes.append(tuple(int(x) for x in (f[1], f[2], f[3], f[5], f[6], f[7], f[8])))
    meter = int(lines[8 + count + 3].split(",")[1])
    return notes, meter


def exported_note_ons(path):
    """(tick, channel, key, velocity) of every note-on of an exported file; the
    tick without the one-tick pauses the export puts after each balance or
    modulation controller in front of a note."""
    midi = mido.MidiFile(path)
    found, tick, pauses = [], 0, 0
    for msg in midi.tracks[0]:
        tick += msg.time
        if msg.type == "control_change" and msg.control in (1, 10):
            pauses += 1
        elif msg.type == "note_on" and msg.velocity > 0:
            found.append((tick - pauses, msg.channel, msg.note, msg.velocity))
    return found


files = sorted(f for f in os.listdir(data) if f.lower().endswith((".mid", ".midi")))
check(len(files) >= 24, f"only {len(files)} files in {data}")
total = 0
for name in files:
    source = os.path.join(data, name)
    # The tool opens by the last four characters of the name.
    mid = os.path.join(work, os.path.splitext(name)[0] + ".mid")
    with open(source, "rb") as f, open(mid, "wb") as g:
        g.write(f.read())
    song = os.path.join(work, os.path.splitext(name)[0] + ".txt")
    result = subprocess.run([vako, "convert", mid, song], capture_output=True, text=True)
    if not check(result.returncode == 0, f"{name}: import failed: {result.stderr}"):
        continue
    expected = expected_notes(mid)
    actual, meter = song_notes(song)
    check(meter == expected_meter(mid), f"{name}: meter {meter}, expected {expected_meter(mid)}")
    total += len(actual)
    want = sorted((p, k, n, c, v // 6, b // 16, m // 50) for p, k, n, c, v, b, m in expected)
    have = sorted(actual)
    if have != want:
        first = next((a, b) for a, b in zip(have + [None] * len(want), want + [None] * len(have))
                     if a != b)
        check(False, f"{name}: {len(have)} notes imported, {len(want)} by mido's reading; "
              f"first difference (imported, expected): {first}")
        continue
    exported = os.path.join(work, os.path.splitext(name)[0] + "-again.mid")
    result = subprocess.run([vako, "convert", mid, exported], capture_output=True, text=True)
    if not check(result.returncode == 0, f"{name}: export failed: {result.stderr}"):
        continue
    ons = sorted(exported_note_ons(exported))
    want_ons = sorted(((p - FIRST_BEAT) * 40, c, k, v) for p, k, n, c, v, b, m in expected)
    check(ons == want_ons, f"{name}: the export holds {len(ons)} notes, "
          f"{len(want_ons)} expected at their times")

print(f"{len(files)} files, {total} notes")
for failure in failures:
    print("FAIL:", failure)
sys.exit(1 if failures else 0)
