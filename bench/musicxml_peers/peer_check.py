#!/usr/bin/env python3
"""MusicXML peer check: our export read by MuseScore 3 and by musicxml2ly.

For each score, quavix-cli writes MusicXML; MuseScore 3 reads it and writes
its own MusicXML (mscore3 -o), and musicxml2ly turns it into LilyPond, whose
event listener writes the notes each staff holds. Both are compared note for
note with our file: pitch, onset, duration, voice and staff. A table gives
what each peer opened, the errors and warnings it printed, and the notes
matched, with the first mismatches.

Scores: the demo, generated scores (scores/*.txt through quavix_peer_scores,
the transcription passages through the MIDI import) and the reference
workload. Needs mscore3, musicxml2ly and lilypond (installed by hand; the
check is a bench, not a test).

Usage: peer_check.py [--build DIR] [--work DIR] [--only NAME,...]
                     [--no-reference] [--show N] [--xsd FILE]
"""
import argparse
import os
import re
import subprocess
import sys
import xml.etree.ElementTree as ET
from fractions import Fraction
from pathlib import Path

HERE = Path(__file__).resolve().parent
ROOT = HERE.parent.parent
PASSAGES = ROOT / "bench" / "transcription" / "passages"

STEPS = {"C": 0, "D": 2, "E": 4, "F": 5, "G": 7, "A": 9, "B": 11}


class Note:
    __slots__ = ("staff", "voice", "onset", "dur", "pitch", "grace")

    def __init__(self, staff, voice, onset, dur, pitch, grace):
        self.staff, self.voice, self.onset, self.dur, self.pitch, self.grace = staff, voice, onset, dur, pitch, grace

    def where(self):
        q = self.onset
        return "st%d v%s @%s p%d d%s%s" % (self.staff, self.voice, q, self.pitch, self.dur, " grace" if self.grace else "")


# --- reading MusicXML ------------------------------------------------------------------

def read_musicxml(path, dynamics=None):
    """Notes of a partwise file: onsets and durations in quarters, staves
    numbered through the parts, voices as written. Dynamic marks go to
    `dynamics` as (staff, onset, mark)."""
    root = ET.parse(path).getroot()
    notes = []
    staff_base = 0
    for part in root.findall("part"):
        divisions = 1
        staves = 1
        measure_start = Fraction(0)
        for measure in part.findall("measure"):
            pos = Fraction(0)
            longest = Fraction(0)
            last_onset = Fraction(0)
            for el in measure:
                if el.tag == "attributes":
                    d = el.findtext("divisions")
                    if d:
                        divisions = int(float(d))
                    s = el.findtext("staves")
                    if s:
                        staves = int(s)
                elif el.tag == "backup":
                    pos -= Fraction(int(el.findtext("duration")), divisions)
                elif el.tag == "forward":
                    pos += Fraction(int(el.findtext("duration")), divisions)
                elif el.tag == "direction" and dynamics is not None:
                    offset = Fraction(int(el.findtext("offset") or 0), divisions)
                    for d in el.findall("direction-type/dynamics/*"):
                        dynamics.append((staff_base + int(el.findtext("staff") or 1), measure_start + pos + offset,
                                         d.tag))
                elif el.tag == "note":
                    grace = el.find("grace") is not None
                    chord = el.find("chord") is not None
                    dur = Fraction(int(el.findtext("duration") or 0), divisions)
                    onset = last_onset if chord else pos
                    p = el.find("pitch")
                    if p is not None and el.find("cue") is None:
                        pitch = STEPS[p.findtext("step")] + int(float(p.findtext("alter") or 0)) + \
                            12 * (int(p.findtext("octave")) + 1)
                        staff = int(el.findtext("staff") or 1)
                        notes.append(Note(staff_base + staff, el.findtext("voice") or "1",
                                          measure_start + onset, Fraction(0) if grace else dur, pitch, grace))
                    if not chord and not grace:
                        last_onset = pos
                        pos += dur
                longest = max(longest, pos)
            measure_start += longest
        staff_base += staves
    return notes


# --- reading MIDI files -------------------------------------------------------------------------

def read_midi(path, tempos=None):
    """Sounding notes of a Standard MIDI File as (onset, pitch): onsets in
    quarters, drums left out. Playback order, so repeats are unfolded.
    Tempo changes go to `tempos` as (onset, quarters a minute)."""
    data = Path(path).read_bytes()
    if data[:4] != b"MThd":
        return []
    division = int.from_bytes(data[12:14], "big")
    at = 8 + int.from_bytes(data[4:8], "big")
    notes = []
    while at + 8 <= len(data):
        size = int.from_bytes(data[at + 4:at + 8], "big")
        track = data[at + 8:at + 8 + size]
        at += 8 + size
        i, tick, status = 0, 0, 0
        while i < len(track):
            delta = 0
            while True:
                b = track[i]
                i += 1
                delta = (delta << 7) | (b & 0x7F)
                if not b & 0x80:
                    break
            tick += delta
            if track[i] & 0x80:
                status = track[i]
                i += 1
            if status == 0xFF:
                kind = track[i]
                i += 1
                length = 0
                while True:
                    b = track[i]
                    i += 1
                    length = (length << 7) | (b & 0x7F)
                    if not b & 0x80:
                        break
                if kind == 0x51 and length == 3 and tempos is not None:
                    tempos.append((Fraction(tick, division), round(60000000 / int.from_bytes(track[i:i + 3], "big"))))
                i += length
                status = 0
            elif status in (0xF0, 0xF7):
                length = 0
                while True:
                    b = track[i]
                    i += 1
                    length = (length << 7) | (b & 0x7F)
                    if not b & 0x80:
                        break
                i += length
                status = 0
            else:
                kind = status & 0xF0
                size = 1 if kind in (0xC0, 0xD0) else 2
                args = track[i:i + size]
                i += size
                if kind == 0x90 and args[1] > 0 and (status & 0x0F) != 9:
                    notes.append((Fraction(tick, division), args[0]))
    return sorted(notes)


def compare_played(ours, theirs, show):
    """Playback compared by onset and pitch: (matched, mismatched, lines)."""
    pool = {}
    for n in theirs:
        pool[n] = pool.get(n, 0) + 1
    matched, problems = 0, []
    for n in ours:
        if pool.get(n):
            pool[n] -= 1
            matched += 1
        else:
            problems.append("missing   @%s p%d" % n)
    for n, count in sorted(pool.items()):
        problems += ["extra     @%s p%d" % n] * count
    return matched, len(problems), problems[:show]


# --- reading LilyPond's event listener ----------------------------------------------------

NUMBER_WORDS = {w: i for i, w in enumerate(
    "Zero One Two Three Four Five Six Seven Eight Nine Ten Eleven Twelve Thirteen Fourteen Fifteen Sixteen".split())}


def lily_voices(ly_text):
    """Line number -> voice for the music variables musicxml2ly writes
    (PartPOneVoiceSix = ... gives voice 6)."""
    voice_of_line = {}
    current = None
    for number, line in enumerate(ly_text.split("\n"), start=1):
        m = re.match(r"^Part\w*?Voice(\w+?)\s*=", line)
        if m:
            current = str(NUMBER_WORDS.get(m.group(1), m.group(1)))
        elif re.match(r"^\S", line):
            current = None
        voice_of_line[number] = current
    return voice_of_line


def prepare_ly(ly_text):
    """Our listener and a name per staff, so each staff's notes land in a
    file of their own: NAME-q1.notes, NAME-q2.notes ..."""
    count = [0]
    named = set()

    def name(m):
        # "\context Staff" without a name, or with one seen before, is a
        # staff that exists already.
        if m.group(1) == "context" and (not m.group(2) or m.group(2) in named):
            return m.group(0)
        named.add(m.group(2))
        count[0] += 1
        return m.group(0) + ' \\with { instrumentName = "q%d" }' % count[0]

    text = re.sub(r'\\(new|context) Staff\b(?: = ("[^"]*"))?', name, ly_text)
    # The names musicxml2ly sets would override ours.
    text = re.sub(r'\\set (?:Piano|Grand|Choir)?Staff\.instrumentName = (?:"[^"]*"|\\markup \{[^}]*\})', "", text)
    text = re.sub(r"(\\version \"[^\"]*\")", r'\1\n\\include "event-listener.ly"', text, count=1)
    return text


def read_lily_notes(folder, stem, voice_of_line, line_shift, dynamics=None):
    notes = []
    for f in sorted(folder.glob(stem + "-q*.notes")):
        staff = int(f.stem.rsplit("-q", 1)[1])
        for line in f.read_text().split("\n"):
            cols = line.split("\t")
            if len(cols) >= 3 and cols[1] == "dynamic" and dynamics is not None:
                onset = Fraction(re.match(r"^-?[0-9.]+", cols[0]).group(0)).limit_denominator(3840) * 4
                dynamics.append((staff, onset, cols[2]))
            if len(cols) < 5 or cols[1] != "note":
                continue
            moment = cols[0]
            grace = False
            m = re.match(r"^(-?[0-9.]+)(-[0-9.]+)?$", moment)
            if m.group(2):
                grace = True
            onset = Fraction(m.group(1)).limit_denominator(3840) * 4
            dur = Fraction(cols[4]).limit_denominator(3840) * 4
            voice = None
            pc = re.search(r"point-and-click (\d+) (\d+)", line)
            if pc:
                voice = voice_of_line.get(int(pc.group(2)) - line_shift)
            notes.append(Note(staff, voice or "?", onset, Fraction(0) if grace else dur, int(cols[2]), grace))
    return notes


# --- comparing ------------------------------------------------------------------------------

def voice_ranks(notes):
    """Voices renamed by their order within each staff, so that 1/5 and 1/6
    for the lower staff's first voice compare equal."""
    per_staff = {}
    for n in notes:
        per_staff.setdefault(n.staff, set()).add(n.voice)
    ranks = {}
    for staff, voices in per_staff.items():
        def key(v):
            return (0, int(v)) if str(v).isdigit() else (1, str(v))
        for i, v in enumerate(sorted(voices, key=key)):
            ranks[(staff, v)] = i + 1
    return ranks


def compare(ours, theirs, show):
    """(matched, mismatched, lines): a note matches when the peer has one with
    its staff, onset and pitch (grace notes: also grace), the same duration
    and the same voice rank."""
    ro, rt = voice_ranks(ours), voice_ranks(theirs)
    pool = {}
    for n in theirs:
        pool.setdefault((n.staff, n.onset, n.pitch, n.grace), []).append(n)
    matched = 0
    problems = []
    for n in sorted(ours, key=lambda n: (n.onset, n.staff, n.pitch)):
        candidates = pool.get((n.staff, n.onset, n.pitch, n.grace))
        if not candidates:
            problems.append("missing   " + n.where())
            continue
        # The candidate agreeing most.
        best = max(candidates, key=lambda t: (t.dur == n.dur) * 2 + (rt[(t.staff, t.voice)] == ro[(n.staff, n.voice)]))
        candidates.remove(best)
        what = []
        if best.dur != n.dur:
            what.append("duration %s/%s" % (n.dur, best.dur))
        if rt[(best.staff, best.voice)] != ro[(n.staff, n.voice)]:
            what.append("voice %d/%d" % (ro[(n.staff, n.voice)], rt[(best.staff, best.voice)]))
        if what:
            problems.append("differs   " + n.where() + ": " + ", ".join(what))
        else:
            matched += 1
    for rest in pool.values():
        for t in rest:
            problems.append("extra     " + t.where())
    return matched, len(problems), problems[:show]


# --- running the peers ------------------------------------------------------------------------

def run(cmd, cwd=None, timeout=900, env=None):
    try:
        p = subprocess.run(cmd, cwd=cwd, capture_output=True, text=True, timeout=timeout, env=env)
        return p.returncode, p.stdout + p.stderr
    except subprocess.TimeoutExpired:
        return -1, "timed out after %ds" % timeout


def said(output, ignore=()):
    """Errors and warnings a peer printed, one line each."""
    lines = []
    for line in output.split("\n"):
        low = line.lower()
        if ("error" in low or "warning" in low) and not any(re.search(i, line) for i in ignore):
            lines.append(line.strip())
    return lines


PEER_DYNAMICS = []  # the dynamic marks the last peer read
PEER_TEMPOS = []  # the tempo changes of the last peer's playback
MSCORE_NOISE = [r"XDG_RUNTIME_DIR", r"^QStandardPaths"]
LILY_NOISE = [r"XDG_RUNTIME_DIR"]


def mscore(ours, work):
    env = dict(os.environ, QT_QPA_PLATFORM="offscreen")
    out = work / (ours.stem + ".mscore.musicxml")
    out.unlink(missing_ok=True)
    # -d: MuseScore then says whether the file passed its built-in MusicXML
    # schema ("... is not a valid MusicXML file").
    rc, text = run(["mscore3", "-d", "-o", str(out), str(ours)], env=env)
    opened = rc == 0 and out.exists()
    messages = said(text, MSCORE_NOISE) + [l.strip() for l in text.split("\n") if "not a valid MusicXML" in l]
    return opened, messages, (read_musicxml(out, PEER_DYNAMICS) if opened else [])


def mscore_midi(ours, work):
    """MuseScore's playback of our file against our own playback (repeats
    unfolded by each program)."""
    env = dict(os.environ, QT_QPA_PLATFORM="offscreen")
    out = work / (ours.stem + ".mscore.mid")
    out.unlink(missing_ok=True)
    rc, text = run(["mscore3", "-o", str(out), str(ours)], env=env)
    opened = rc == 0 and out.exists()
    return opened, said(text, MSCORE_NOISE), (read_midi(out, PEER_TEMPOS) if opened else [])


def lily(ours, work):
    stem = ours.stem + ".lily"
    ly = work / (stem + ".ly")
    for old in work.glob(stem + "*"):
        old.unlink()
    rc, text = run(["musicxml2ly", "-o", str(ly), str(ours)])
    messages = said(text, LILY_NOISE)
    if rc != 0 or not ly.exists():
        return False, messages + ["musicxml2ly exit %d" % rc], []
    original = ly.read_text()
    prepared = prepare_ly(original)
    ly.write_text(prepared)
    line_shift = 1  # the include line
    rc, text = run(["lilypond", "-dno-print-pages", "-dbackend=null", "-o", stem, ly.name], cwd=work)
    messages += said(text, LILY_NOISE)
    ly.write_text(original)
    if rc != 0:
        messages.append("lilypond exit %d" % rc)
    notes = read_lily_notes(work, stem, lily_voices(original), line_shift, PEER_DYNAMICS)
    return rc == 0, messages, notes


# --- the scores ---------------------------------------------------------------------------------

def make_scores(build, work, only, reference):
    cli = build / "runtime" / "quavix-cli"
    maker = build / "bench" / "quavix_peer_scores"
    scores = []  # (name, q5s)

    def want(name):
        return not only or name in only

    demo = build / "runtime" / "demo" / "minuet.q5s"
    if want("minuet"):
        scores.append(("minuet", demo))
    for txt in sorted((HERE / "scores").glob("*.txt")):
        if want(txt.stem):
            q5s = work / (txt.stem + ".q5s")
            rc, text = run([str(maker), str(txt), str(q5s)])
            if rc != 0:
                sys.exit("cannot build %s: %s" % (txt, text))
            scores.append((txt.stem, q5s))
    for mid in sorted(PASSAGES.glob("*.mid")):
        name = "mid-" + mid.stem
        if want(name):
            q5s = work / (name + ".q5s")
            rc, text = run([str(cli), "convert", str(mid), str(q5s), "--voices", "4"])
            if rc != 0:
                sys.exit("cannot import %s: %s" % (mid, text))
            scores.append((name, q5s))
    if reference and want("reference"):
        q5s = work / "reference.q5s"
        rc, text = run([str(cli), "generate", str(q5s)])
        if rc != 0:
            sys.exit("cannot generate the reference workload: " + text)
        scores.append(("reference", q5s))
    out = []
    for name, q5s in scores:
        xml = work / (name + ".musicxml")
        for target in (xml, xml.with_suffix(".mid")):
            rc, text = run([str(cli), "convert", str(q5s), str(target)])
            if rc != 0:
                sys.exit("cannot export %s: %s" % (name, text))
        out.append((name, xml))
    return out


def validate(xml, xsd):
    rc, text = run(["xmllint", "--noout", "--nonet", "--schema", str(xsd), str(xml)])
    return rc == 0, [l for l in text.split("\n") if l and not l.endswith(" validates")][:3]


def main():
    ap = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    ap.add_argument("--build", default=str(ROOT / "build"))
    ap.add_argument("--work", default="/tmp/quavix-musicxml-peers")
    ap.add_argument("--only", default="")
    ap.add_argument("--no-reference", action="store_true")
    ap.add_argument("--peers", default="mscore3,mscore3-midi,lilypond")
    ap.add_argument("--show", type=int, default=3)
    ap.add_argument("--xsd", default="")
    args = ap.parse_args()
    work = Path(args.work)
    work.mkdir(parents=True, exist_ok=True)
    only = set(filter(None, args.only.split(",")))
    peers = args.peers.split(",")
    scores = make_scores(Path(args.build), work, only, not args.no_reference)

    rows, details = [], []
    totals = {}
    for name, xml in scores:
        our_dynamics = []
        ours = read_musicxml(xml, our_dynamics)
        our_tempos = []
        played = read_midi(xml.with_suffix(".mid"), our_tempos)
        if args.xsd:
            ok, errors = validate(xml, args.xsd)
            rows.append((name, "xsd", "yes" if ok else "NO", len(errors), "", "", "", "", ""))
            details += ["%s xsd: %s" % (name, e) for e in errors]
        for peer in peers:
            reader = {"mscore3": mscore, "mscore3-midi": mscore_midi, "lilypond": lily}[peer]
            PEER_DYNAMICS.clear()
            PEER_TEMPOS.clear()
            opened, messages, theirs = reader(xml, work)
            ours_bpm, peer_bpm = sorted({t for _, t in our_tempos}), sorted({t for _, t in PEER_TEMPOS})
            if peer == "mscore3-midi" and ours_bpm != peer_bpm:
                details.append("%s %s: tempo ours %s, peer's %s" % (name, peer, ours_bpm[:3], peer_bpm[:3]))
            dynamics = "-"
            if peer != "mscore3-midi":
                same = sorted(set(our_dynamics) & set(PEER_DYNAMICS))
                dynamics = "%d/%d" % (len(same), len(our_dynamics))
                off = sorted(set(our_dynamics) ^ set(PEER_DYNAMICS))
                details += ["%s %s: dynamic %s st%d @%s" % (name, peer, "ours " if d in our_dynamics else "peer's",
                                                            d[0], d[1]) + " " + d[2] for d in off[:args.show]]
            mine = played if peer == "mscore3-midi" else ours
            matcher = compare_played if peer == "mscore3-midi" else compare
            matched, mismatched, first = matcher(mine, theirs, args.show) if opened else (0, len(mine), [])
            rows.append((name, peer, "yes" if opened else "NO", len(messages), len(mine), len(theirs), matched,
                         mismatched, dynamics))
            t = totals.setdefault(peer, [0, 0, 0, 0, 0])
            t[0] += opened
            t[1] += 1
            t[2] += len(messages)
            t[3] += matched
            t[4] += mismatched
            details += ["%s %s said: %s" % (name, peer, m) for m in messages[:args.show]]
            details += ["%s %s: %s" % (name, peer, p) for p in first]
            print("%-24s %-9s done" % (name, peer), file=sys.stderr, flush=True)

    head = ("score", "peer", "opened", "err/warn", "our notes", "peer notes", "matched", "mismatched", "dynamics")
    widths = [max(len(str(r[i])) for r in rows + [head]) for i in range(len(head))]
    fmt = "  ".join("%%-%ds" % w if i < 2 else "%%%ds" % w for i, w in enumerate(widths))
    print(fmt % head)
    for r in rows:
        print(fmt % r)
    for peer, (opened, files, messages, matched, mismatched) in totals.items():
        print("%s: %d of %d files opened, %d errors/warnings, %d notes matched, %d mismatched" %
              (peer, opened, files, messages, matched, mismatched))
    if details:
        print()
        print("\n".join(details))


if __name__ == "__main__":
    main()
