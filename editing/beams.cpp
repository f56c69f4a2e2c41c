// The beamer and the beam commands. A beam group gets one sloped line for
// its primary beam; secondary beams lie 4 units further in, continue from
// note to note while both notes have that many beams, and become 8-unit
// hooks where only one note has them. Stems are then stretched to the line.
#include <algorithm>
#include <cmath>
#include <limits>

#include "editing/note_ops.h"
#include "editing/note_select.h"
#include "model/score.h"

using namespace note_select;

namespace {

constexpr int kStem = 28;
constexpr int kLevelGap = 4;
constexpr int kHook = 8;
constexpr int kStemOffset = 4;  // stem column from the head's centre
constexpr double kMaxSlope = 0.25;
// Beams a note can carry: up to the 128th note (and the grace code 9).
constexpr int kMaxLevels = 6;

int LevelsOf(const CNote* n) { return std::clamp(n->DurationCode() - 3, 0, kMaxLevels); }

struct Segment {
  int level;
  int x0, x1;
  bool extended = false;
  bool right = true;  // hook direction if never extended
};

}  // namespace

namespace {

// One stem position of a group: a single note, or the notes of one chord
// that follow each other in the group. A chord is beamed at its stem, not at
// each head, so heads moved aside for seconds neither start beams of their
// own nor move the beam's ends.
struct Column {
  size_t begin, end;  // range in the group
  CNote* lead;        // the chord's leader if it is in the group, else the first note
  int anchorX = 0;    // x of the heads in the stem's column
  int beamSideY = 0;  // y of the head nearest the beam
  int levels = 0;
  int32_t start = 0;
};

std::vector<Column> Columns(const std::vector<CNote*>& group, bool up) {
  std::vector<Column> columns;
  for (size_t i = 0; i < group.size();) {
    size_t j = i + 1;
    if (group[i]->Chord >= 0)
      while (j < group.size() && group[j]->Chord == group[i]->Chord) ++j;
    Column c{i, j, group[i]};
    c.anchorX = group[i]->X;
    c.beamSideY = group[i]->Y;
    c.start = group[i]->Start;
    for (size_t k = i; k < j; ++k) {
      const CNote* n = group[k];
      if (n->Chord == n->Number) c.lead = group[k];
      // Seconds are moved away from the stem: left of a stem down, right of one up.
      c.anchorX = up ? std::min(c.anchorX, n->X) : std::max(c.anchorX, n->X);
      c.beamSideY = up ? std::min(c.beamSideY, n->Y) : std::max(c.beamSideY, n->Y);
      c.levels = std::max(c.levels, LevelsOf(n));
      c.start = std::min(c.start, n->Start);
    }
    columns.push_back(c);
    i = j;
  }
  return columns;
}

}  // namespace

int BeamNotes(CScore& score, const std::vector<CNote*>& group) {
  if (group.size() < 2) return 0;
  for (const CNote* n : group)
    if (!n) return 0;
  // Stems down unless the first note's stem (or, for a chord, the first stem
  // it has) points up.
  bool up = group.front()->Stem < 0;
  for (size_t i = 0; i < group.size() && group[i]->Chord >= 0 && group[i]->Chord == group.front()->Chord; ++i)
    if (group[i]->Stem != 0) {
      up = group[i]->Stem < 0;
      break;
    }
  const std::vector<Column> columns = Columns(group, up);
  const Column& firstColumn = columns.front();
  const Column& lastColumn = columns.back();
  CNote* first = firstColumn.lead;
  if (columns.size() < 2 || firstColumn.anchorX == lastColumn.anchorX) return 0;
  if (!first->OwnerStave || !first->OwnerMeasure) return 0;

  const CMeasure& measure = *first->OwnerMeasure;
  // A measure without a usable length (no numerator, zero-length measure)
  // beams by quarter notes rather than dividing by zero.
  int64_t beat = measure.Numerator > 0 ? measure.Ticks / measure.Numerator : 0;
  if (beat < 2) beat = std::max<int64_t>(score.TimeBase, 2);
  const int64_t halfBeat = beat / 2;

  const double x0 = firstColumn.anchorX;
  const double slope =
      score.FlatBeams ? 0.0
                      : std::clamp(double(int64_t(lastColumn.beamSideY) - firstColumn.beamSideY) /
                                       double(int64_t(lastColumn.anchorX) - firstColumn.anchorX),
                                   -kMaxSlope, kMaxSlope);
  // The primary line at the first stem: clear of every head by a stem's length.
  double line = up ? std::numeric_limits<double>::max() : std::numeric_limits<double>::lowest();
  for (const CNote* n : group) {
    const double projected = n->Y + slope * (x0 - n->X);
    line = up ? std::min(line, projected) : std::max(line, projected);
  }
  line += up ? -kStem : kStem;
  auto lineY = [&](int level, double x) {
    return line + (up ? kLevelGap : -kLevelGap) * level + slope * (x - x0);
  };
  auto stemX = [&](const Column& c) { return up ? c.anchorX + kStemOffset : c.anchorX - kStemOffset; };

  std::vector<Segment> segments;
  std::vector<size_t> open;  // per level, the segment ending at the previous stem
  for (int level = 0; level < firstColumn.levels; ++level) {
    open.push_back(segments.size());
    segments.push_back({level, stemX(firstColumn), stemX(firstColumn)});
  }
  std::vector<size_t> next;
  for (size_t i = 1; i < columns.size(); ++i) {
    const Column& c = columns[i];
    const int x = stemX(c);
    next.clear();
    for (int level = 0; level < c.levels; ++level) {
      if (static_cast<size_t>(level) < open.size()) {
        Segment& s = segments[open[level]];
        s.x1 = x;
        s.extended = true;
        next.push_back(open[level]);
      } else {
        // A new beam here points into the half beat the note belongs to.
        int64_t inHalf = halfBeat > 0 ? c.start % halfBeat : 0;
        next.push_back(segments.size());
        segments.push_back({level, x, x, false, 4 * inHalf > beat});
      }
    }
    open.swap(next);
  }

  const bool shiftLeft = IsSmall(first) && up;
  for (Segment& s : segments) {
    if (!s.extended) s.x1 = s.x0 + (s.right ? kHook : -kHook);
    auto beam = std::make_unique<CBeam>();
    CBeam* b = beam.get();
    b->X = s.x0;
    b->Y = static_cast<int32_t>(std::lround(lineY(s.level, s.x0)));
    b->X1 = s.x1;
    b->Y1 = static_cast<int32_t>(std::lround(lineY(s.level, s.x1)));
    if (shiftLeft) {
      // Grace heads carry their stem 4 units further left.
      b->X -= kStemOffset;
      b->X1 -= kStemOffset;
    }
    b->Value = 1;
    b->Style = 64;
    b->Layer = first->Layer;
    b->Note = first->Number;
    b->NoteLink = first;
    b->SetBounds(b->X, b->Y, b->X1, b->Y1);
    score.AddAttachedObject(first->OwnerStave, first->OwnerMeasure, std::move(beam));
  }

  // Stems reach the primary line where they meet it.
  for (const Column& c : columns) {
    const int x = stemX(c);
    for (size_t i = c.begin; i < c.end; ++i) {
      CNote* n = group[i];
      if (IsSmall(n) || n->Stem == 0) continue;
      n->Head = 3;
      n->Stem = StemLength(lineY(0, x) - n->Y);
    }
  }
  return static_cast<int>(segments.size());
}

int BeamSelection(CScore& score) {
  score.LastError.clear();
  std::vector<CNote*> notes = SelectedNotes(score, false);
  if (notes.empty()) {
    score.LastError = kErrNoNote;
    return 0;
  }
  if (notes.size() < 2) {
    score.LastError = kErrFewerThanTwo;
    return 0;
  }
  std::stable_sort(notes.begin(), notes.end(), [](const CNote* a, const CNote* b) { return a->Start < b->Start; });
  if (!notes.front()->OwnerStave) {
    score.LastError = kErrNotOnStave;
    return 0;
  }
  return BeamNotes(score, notes) > 0;
}

int BeamByBeat(CScore& score) {
  score.LastError.clear();
  const int64_t timeBase = std::max<int32_t>(score.TimeBase, 1);
  if (SelectedNotes(score, false).empty()) {
    score.LastError = kErrNoNote;
    return 0;
  }
  int beams = 0;
  std::vector<CNote*> notes, group;
  for (CStave* stave : StavesInOrder(score)) {
    SelectedOfStave(*stave, false, notes);
    group.clear();
    int64_t beat = 0;
    for (CNote* n : notes) {
      const int64_t b = n->Start / timeBase;
      if (!group.empty() && b != beat) {
        if (group.size() >= 2) beams += BeamNotes(score, group);
        group.clear();
      }
      beat = b;
      group.push_back(n);
    }
    if (group.size() >= 2) beams += BeamNotes(score, group);
  }
  return beams > 0;
}
