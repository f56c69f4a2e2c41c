#!/usr/bin/python3
"""Our MIDI files read by two other readers (mido, midicsv), and MIDI files
shipped with Debian read by us, compared note by note or by count."""
import argparse
import glob
import os
import subprocess
import sys

import mido

REAL_WORLD = "/usr/share/games/openttd/baseset/openmsx"
failures = []
passes = []


def check(ok, what):
    print(("ok   " if ok else "FAIL ") + what)
    (passes if ok else failures).append(what)


def run(*cmd):
    return subprocess.run(cmd, capture_output=True, text=True)


def mido_notes(path):
    """(tick, channel, key, velocity, 'on'/'off') of every note event, merged."""
    notes = []
    for track in mido.MidiFile(path).tracks:
        tick = 0
        for msg in track:
            tick += msg.time
            if msg.type in ("note_on", "note_off"):
                on = msg.type == "note_on" and msg.velocity > 0
                notes.append((tick, msg.channel, msg.note, msg.velocity, "on" if on else "off"))
    return sorted(notes)


def midicsv_notes(path):
    out = run("midicsv", path)
    if out.returncode != 0:
        return None
    notes = []
    for line in out.stdout.splitlines():
        f = [x.strip() for x in line.split(",")]
        if len(f) >= 6 and f[2] in ("Note_on_c", "Note_off_c"):
            tick, ch, key, vel = int(f[1]), int(f[3]), int(f[4]), int(f[5])
            notes.append((tick, ch, key, vel, "on" if f[2] == "Note_on_c" and vel > 0 else "off"))
    return sorted(notes)


def our_info(probe, path):
    out = run(probe, "info", path)
    if out.returncode != 0:
        return None
    return dict(line.split(": ", 1) for line in out.stdout.splitlines())


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("--cli", required=True)
    ap.add_argument("--probe", required=True)
    ap.add_argument("--work", required=True)
    a = ap.parse_args()
    os.makedirs(a.work, exist_ok=True)

    # 1. A generated score (ten systems, so it has a repeated section) as MIDI.
    score = os.path.join(a.work, "generated.q5s")
    mid = os.path.join(a.work, "generated.mid")
    gen = run(a.cli, "generate", score, "--systems", "10", "--staves", "3", "--measures", "4", "--notes", "6", "--seed", "5")
    check(gen.returncode == 0, "quavix-cli generate: " + gen.stderr.strip())
    conv = run(a.probe, "convert", score, mid)
    check(conv.returncode == 0 and os.path.exists(mid), "convert to .mid: " + conv.stderr.strip())
    # Once quavix-cli dispatches "convert X.q5s Y.mid" it must give the same file.
    wired = os.path.join(a.work, "generated-cli.mid")
    cli = run(a.cli, "convert", score, wired)
    if cli.returncode == 0:
        check(open(wired, "rb").read() == open(mid, "rb").read(), "quavix-cli convert gives the same bytes")
    else:
        print("note quavix-cli convert to .mid not available: " + cli.stderr.strip())

    ours = mido_notes(mid)
    markers = sum(1 for t in mido.MidiFile(mid).tracks for m in t if m.type == "text" and m.text.startswith("!n"))
    ons = [n for n in ours if n[4] == "on"]
    check(len(ons) > 100 and len(ons) == markers, "mido reads %d note-ons, one per note marker (%d)" % (len(ons), markers))
    check(midicsv_notes(mid) == ours, "midicsv reads the same notes as mido")
    info = our_info(a.probe, mid)
    check(info is not None and int(info["notes"]) == len(ons), "our reader counts the same notes: %s" % (info,))
    offs = [n for n in ours if n[4] == "off"]
    check(len(offs) == len(ons), "every note-on has its note-off")

    # 2. Texts of 128 to 255 bytes carry variable-length lengths.
    texts = os.path.join(a.work, "texts.mid")
    check(run(a.probe, "texts", texts).returncode == 0, "write the long texts")
    lengths = [len(m.text) for t in mido.MidiFile(texts).tracks for m in t if m.type == "text"]
    check(lengths == [100, 127, 128, 200, 255], "mido reads the text lengths %s" % lengths)
    sysex = [m.data for t in mido.MidiFile(texts).tracks for m in t if m.type == "sysex"]
    check(sysex == [(0x7E, 0x7F, 0x09, 0x01)], "mido reads the sysex %s" % sysex)
    check(midicsv_notes(texts) == mido_notes(texts) and len(mido_notes(texts)) == 2, "midicsv reads the long-text file")

    # 3. Real-world files shipped with Debian.
    files = sorted(glob.glob(os.path.join(REAL_WORLD, "*.mid")))
    check(len(files) > 0, "real-world MIDI files found in " + REAL_WORLD)
    for path in files:
        name = os.path.basename(path)
        m = mido.MidiFile(path)
        count = sum(1 for t in m.tracks for msg in t if msg.type == "note_on" and msg.velocity > 0)
        tempos = [msg.tempo for t in m.tracks for msg in t if msg.type == "set_tempo"]
        info = our_info(a.probe, path)
        same = (info is not None and int(info["notes"]) == count and int(info["division"]) == m.ticks_per_beat
                and (not tempos or int(info["tempo"]) == tempos[-1]))
        check(same, "%s: mido %d notes, tempo %s; ours %s" % (name, count, tempos[-1] if tempos else "-", info))

    print("%d passed, %d failed" % (len(passes), len(failures)))
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
