"""Writes songs as MusicXML scores with the vako tool and has programs this
project did not write read them:

- xmllint validates each score against the MusicXML schema (tests/data);
- MuseScore 3 turns each score into a MIDI file, and mido reads it: every
  note of the song must be there at its time, with its key and length (the
  song's own MIDI export, read by mido, says where that is);
- LilyPond's musicxml2ly converts each score without an error.

The songs: the example song, songs written here (every length on every grid
offset, chords, overlapping voices, drums, tempo and instrument changes, each
meter, a piano over both clefs) and the real-world MIDI files, imported.

usage: musicxml_check.py VAKO EXAMPLE.txt MIDI_DIR SCHEMA.xsd WORK_DIR
"""
import collections
import os
import shutil
import subprocess
import sys

import mido

vako, example, midi_dir, schema, work = sys.argv[1:6]
os.makedirs(work, exist_ok=True)
failures = []

# MuseScore plays a note up to a tick short of its written end.
LENGTH_TOLERANCE_TICKS = 2


def check(condition, what):
    if not condition:
        failures.append(what)
    return condition


def run(args, **kwargs):
    return subprocess.run(args, capture_output=True, text=True, timeout=300, **kwargs)


def notes_of(path):
    """Counter of (tick, key, length in ticks, is drum) of a MIDI file, at 480 ticks a quarter."""
    midi = mido.MidiFile(path)
    scale = 480 / midi.ticks_per_beat
    notes = []
    for track in midi.tracks:
        tick, sounding = 0, collections.defaultdict(list)
        for msg in track:
            tick += msg.time
            if msg.type == "note_on" and msg.velocity > 0:
                sounding[(msg.channel, msg.note)].append(tick)
            elif msg.type in ("note_on", "note_off") and sounding[(msg.channel, msg.note)]:
                start = sounding[(msg.channel, msg.note)].pop(0)
                notes.append((round(start * scale), msg.note, round((tick - start) * scale),
                              msg.channel == 9))
    return notes


FIRST_BEAT = 3  # the position of tick 0, as in the MIDI export
TICKS_PER_STEP = 40


def song_notes(path):
    """(tick, key, length in ticks, is drum) of every note of a song file:
    what lies before the first beat cut off, at least one step long."""
    with open(path, encoding="cp932", newline="") as f:
        lines = f.read().split("\r\n")
    notes = []
    for line in lines[8:8 + int(lines[2]) // 2]:
        fields = line.split(",")
        pos, key, length, part = int(fields[1]), int(fields[2]), int(fields[3]), int(fields[5])
        start = max(pos - FIRST_BEAT, 0)
        steps = max(pos + length - FIRST_BEAT - start, 1)
        notes.append((start * TICKS_PER_STEP, key, steps * TICKS_PER_STEP, part, part == 9))
    return notes


def apart_in_midi(notes):
    """The notes a MIDI file can tell apart: a note that sounds while another
    of its part and key is sounding is one key pressed twice, which readers of
    MIDI files take in ways of their own."""
    by_key = collections.defaultdict(list)
    for n in set(notes):
        by_key[(n[3], n[1])].append(n)
    apart = []
    for same in by_key.values():
        same.sort()
        end = -1
        for i, (tick, key, length, part, drum) in enumerate(same):
            later = same[i + 1][0] if i + 1 < len(same) else None
            if tick >= end and (later is None or later >= tick + length):
                apart.append((tick, key, length, drum))
            end = max(end, tick + length)
    return apart


def match(expected, got):
    """What of `expected` `got` lacks, lengths within the tolerance."""
    pool = collections.defaultdict(list)
    for tick, key, length, drum in got:
        pool[(tick, key, drum)].append(length)
    missing = []
    for tick, key, length, drum in sorted(expected):
        lengths = pool[(tick, key, drum)]
        near = [l for l in lengths if abs(l - length) <= LENGTH_TOLERANCE_TICKS]
        if drum and lengths and not near:
            near = lengths[:1]  # a drum's length is its sound's, not the score's
        if near:
            lengths.remove(near[0])
        else:
            missing.append((tick, key, length, drum))
    return missing


LABELS = None


def song_text(notes, changes=(), programs=None, meter=4, tempo=120, copyright="vakomidi",
              name="test"):
    """A version 6 song file. notes: (position, key, length, part[, velocity])."""
    global LABELS
    if LABELS is None:
        with open(example, encoding="cp932", newline="") as f:
            lines = f.read().split("\r\n")
        count = int(lines[2]) // 2
        LABELS = {"head": lines[:9], "tail": lines[9 + count:]}
    head = list(LABELS["head"])
    head[2] = str(2 * len(notes))
    head[4] = ",".join(str(p) for p in (programs or [0] * 16))
    head[6] = ",".join(["5"] * 16)
    out = head[:8]
    for i, n in enumerate(notes, 1):
        velocity = n[4] if len(n) > 4 else 120
        out.append(f'{i},{n[0]},{n[1]},{n[2]},"   ",{n[3]},{velocity // 6},4,0')
    out += ['"曲開始時のテンポ"', f'"{tempo}"', '"入力時の区切り数,1小節の4分音符数"',
            f"5,{meter}", '"著作権名,シーケンス名"', f'"{copyright}","{name}"',
            '"ここから下は「高度な機能」のデータ"', '"ＣＣの数"', str(1 + len(changes)),
            '"データ番号,位置,値,タイプ"', f"1,0,{tempo},1"]
    for j, (pos, value, kind) in enumerate(changes, 2):
        out.append(f"{j},{pos},{value},{kind}")
    return "\r\n".join(out) + "\r\n"


def write_song(stem, *args, **kwargs):
    path = os.path.join(work, stem + ".txt")
    # Notes in position order, a chord's by pitch, as the editor keeps them.
    notes = sorted(args[0], key=lambda n: (n[0], n[1]))
    with open(path, "w", encoding="cp932", newline="") as f:
        f.write(song_text(notes, *args[1:], **kwargs))
    return path


def made_songs():
    songs = {}
    # Every length from 1 to 100 steps on every offset from a bar line,
    # one after the other with gaps of 0 to 4 steps; position 1 lies
    # before the first bar line.
    notes, pos = [(1, 72, 2, 9), (1, 76, 5, 1)], 3
    for length in range(1, 101):
        notes.append((pos, 60 + length % 12, length, 0))
        pos += length + length % 5
    songs["lengths"] = write_song("lengths", notes)
    # The triplet grid and the sixteenths: runs of 8, 4 and 2 steps.
    notes, pos = [], 3
    for length in (8, 8, 8, 4, 4, 4, 2, 2, 2, 2, 2, 2, 3, 3, 6, 9, 12, 24, 8, 4, 16, 1, 1, 1):
        notes.append((pos, 67, length, 0))
        pos += length
    songs["grid"] = write_song("grid", notes)
    # Chords, notes starting together with other lengths, notes overlapping
    # without starting together, the same key twice at once.
    notes = [(3, 60, 24, 0), (3, 64, 24, 0), (3, 67, 24, 0),  # a chord
             (27, 60, 12, 0), (27, 72, 30, 0),  # one start, two lengths
             (33, 65, 24, 0), (39, 69, 6, 0),  # overlapping
             (63, 62, 12, 0), (63, 62, 12, 0),  # one key twice
             (75, 48, 100, 0), (80, 52, 50, 0), (90, 55, 7, 0)]
    songs["voices"] = write_song("voices", notes)
    # Drums with bass notes, and a piano over both clefs.
    notes = [(3 + 6 * i, (36, 38, 42, 46, 49, 51, 39)[i % 7], 3, 9) for i in range(40)]
    notes += [(3 + 12 * i, 36 + i % 12, 12, 1) for i in range(20)]
    notes += [(3 + 12 * i, 40 + 3 * i, 12, 2) for i in range(16)]
    songs["drums"] = write_song("drums", notes, programs=[0, 32] + [0] * 14)
    # Tempo, instrument and volume changes in three meters.
    for meter in (2, 3, 6):
        notes = [(3 + 7 * i, 60 + i % 20, 7 + i % 13, i % 3) for i in range(60)]
        changes = [(3, 41 * 16 + 0, 2), (51, 90, 1), (99, 24 * 16 + 1, 2), (150, 3 * 16 + 2, 3),
                   (200, 150, 1)]
        songs[f"changes{meter}"] = write_song(f"changes{meter}", notes, changes, meter=meter,
                                             tempo=96, name="Tempo & <Changes>",
                                             copyright="（Ｃ） vakomidi")
    return songs


def imported_songs():
    songs = {}
    for name in sorted(os.listdir(midi_dir)):
        if not name.lower().endswith((".mid", ".midi")):
            continue
        stem = "rw-" + os.path.splitext(name)[0]
        path = os.path.join(work, stem + ".txt")
        result = run([vako, "convert", os.path.join(midi_dir, name), path])
        if check(result.returncode == 0, f"{name}: import failed: {result.stderr}"):
            songs[stem] = path
    return songs


def check_song(stem, song):
    score = os.path.join(work, stem + ".musicxml")
    result = run([vako, "convert", song, score])
    if not check(result.returncode == 0, f"{stem}: export failed: {result.stderr}"):
        return

    result = run(["xmllint", "--noout", "--nonet", "--schema", schema, score])
    check(result.returncode == 0, f"{stem}: schema: {result.stderr[-2000:]}")

    played = os.path.join(work, stem + "-musescore.mid")
    env = dict(os.environ, QT_QPA_PLATFORM="offscreen", XDG_RUNTIME_DIR=work)
    result = run(["mscore3", "-o", played, score], env=env)
    if check(result.returncode == 0 and os.path.exists(played),
             f"{stem}: MuseScore: {result.stdout[-500:]} {result.stderr[-1500:]}"):
        expected, got = apart_in_midi(song_notes(song)), notes_of(played)
        missing = match(expected, got)
        check(not missing, f"{stem}: MuseScore lacks {len(missing)} of {len(expected)} notes, "
                           f"first {missing[:5]}")

    ly_dir = os.path.join(work, "ly")
    os.makedirs(ly_dir, exist_ok=True)
    result = run(["musicxml2ly", "--output", os.path.join(ly_dir, stem + ".ly"), score])
    check(result.returncode == 0 and "error" not in result.stderr.lower(),
          f"{stem}: musicxml2ly: {result.stderr[-1500:]}")


def check_archive(song):
    """The compressed form: a ZIP archive Python reads, holding the same
    score, which MuseScore opens."""
    import zipfile
    archive = os.path.join(work, "example.mxl")
    result = run([vako, "convert", song, archive])
    if not check(result.returncode == 0, f"mxl: export failed: {result.stderr}"):
        return
    with zipfile.ZipFile(archive) as z:
        check(z.testzip() is None, "mxl: a damaged entry")
        check(z.namelist()[0] == "mimetype", "mxl: mimetype is not first")
        with open(os.path.join(work, "example.musicxml"), "rb") as f:
            check(z.read("score.musicxml") == f.read(), "mxl: another score inside")
    played = os.path.join(work, "example-mxl.mid")
    env = dict(os.environ, QT_QPA_PLATFORM="offscreen", XDG_RUNTIME_DIR=work)
    result = run(["mscore3", "-o", played, archive], env=env)
    if check(result.returncode == 0 and os.path.exists(played), "mxl: MuseScore cannot read it"):
        check(not match(apart_in_midi(song_notes(song)), notes_of(played)),
              "mxl: MuseScore lacks notes")


songs = {"example": example}
songs.update(made_songs())
songs.update(imported_songs())
for stem, song in songs.items():
    check_song(stem, song)
check_archive(example)

for failure in failures:
    print("FAIL:", failure)
print(f"{len(songs)} songs, {len(failures)} failures")
sys.exit(1 if failures else 0)
