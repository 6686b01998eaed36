"""Reads the MIDI files the vako tool writes with mido, a MIDI file reader this
project did not write, and has the tool read a file mido wrote (format 1,
several tracks, running status).

usage: mido_check.py VAKO SONG.txt WORK_DIR
"""
import json
import os
import subprocess
import sys

import mido

vako, song, work = sys.argv[1], sys.argv[2], sys.argv[3]
os.makedirs(work, exist_ok=True)
failures = []


def check(condition, what):
    if not condition:
        failures.append(what)


def run(*args):
    return subprocess.run([vako, *args], capture_output=True, text=True)


def info(path):
    result = run("info", path)
    assert result.returncode == 0, result.stderr
    return json.loads(result.stdout)


def notes_of(path):
    """(tick, channel, key, velocity) of every note-on, and the notes still
    sounding at the end (which must be none)."""
    midi = mido.MidiFile(path)
    notes, sounding = [], {}
    tick = 0
    for msg in mido.merge_tracks(midi.tracks):
        tick += msg.time
        if msg.type == "note_on" and msg.velocity > 0:
            notes.append((tick, msg.channel, msg.note, msg.velocity))
            sounding[(msg.channel, msg.note)] = sounding.get((msg.channel, msg.note), 0) + 1
        elif msg.type in ("note_off", "note_on"):
            sounding[(msg.channel, msg.note)] = sounding.get((msg.channel, msg.note), 0) - 1
    return notes, {k: v for k, v in sounding.items() if v}


# 1. An exported song as a reader of Standard MIDI Files sees it.
plain = os.path.join(work, "song.mid")
result = run("convert", song, plain)
check(result.returncode == 0, "convert to .mid failed: " + result.stderr)
midi = mido.MidiFile(plain)
check(midi.type == 0 and len(midi.tracks) == 1, "not format 0 with one track")
check(midi.ticks_per_beat == 480, "division is not 480")
track = midi.tracks[0]
check(track[0].type == "sysex" and list(track[0].data) == [0x7E, 0x7F, 0x09, 0x01], "no General MIDI System On first")
check(track[-1].type == "end_of_track", "the track does not end with end of track")
check(sum(1 for m in track if m.type == "end_of_track") == 1, "more than one end of track")
notes, sounding = notes_of(plain)
expected = info(song)
check(len(notes) == expected["notes"], f"{len(notes)} note-ons for {expected['notes']} notes")
check(not sounding, f"notes left sounding: {sounding}")
check(all(tick % 40 == 0 for tick, *_ in notes), "a note-on off the 40-tick step grid")
tempos = [m for m in track if m.type == "set_tempo"]
check(tempos and round(mido.tempo2bpm(tempos[0].tempo)) == expected["tempo"], "start tempo differs")
# mido hands texts over as Latin-1; the file holds Shift_JIS.
names = [m.name.encode("latin-1").decode("cp932") for m in track if m.type == "track_name"]
check(names == [expected["name"]], f"track name {names!r}")

# 2. The transposition: every part but the percussion part five semitones lower.
shifted = os.path.join(work, "shifted.mid")
result = run("convert", song, shifted, "--shift", "5")
check(result.returncode == 0, "convert --shift 5 failed: " + result.stderr)
moved, sounding = notes_of(shifted)
check(not sounding, "notes left sounding after the shift")
check(len(moved) == len(notes), "the shift lost notes")
unshifted = sorted((t, c, k if c == 9 else k + 5, v) for t, c, k, v in moved)
check(unshifted == sorted(notes), "the shift moved more than the keys of the non-percussion parts")

# 3. A file mido writes, read by the tool and written again.
source = mido.MidiFile(type=1, ticks_per_beat=96)
conductor = mido.MidiTrack([mido.MetaMessage("set_tempo", tempo=600000, time=0)])
music = mido.MidiTrack()
written = []
for i in range(40):
    channel, key = i % 3, 48 + (i * 7) % 24
    music.append(mido.Message("note_on", channel=channel, note=key, velocity=90, time=0 if i % 2 else 24))
    music.append(mido.Message("note_off", channel=channel, note=key, velocity=0, time=8))
source.tracks += [conductor, music]
tick = 0
for msg in music:
    tick += msg.time
    if msg.type == "note_on":
        written.append((tick * 480 // 96, msg.channel, msg.note, msg.velocity))
external = os.path.join(work, "external.mid")
source.save(external)
again = os.path.join(work, "again.mid")
result = run("convert", external, again)
check(result.returncode == 0, "reading mido's file failed: " + result.stderr)
read_back, sounding = notes_of(again)
check(sorted(read_back) == sorted(written), "notes of mido's file came back different")
check(info(external)["tempo"] == 100, "tempo of mido's file")

for failure in failures:
    print("FAIL:", failure)
sys.exit(1 if failures else 0)
