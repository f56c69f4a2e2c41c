// The recalculation after a local edit must leave every score exactly as the
// full pass does. Two equal scores take the same random edits, one of them
// recalculated on the edited staves only, the other in full, and after each
// edit every derived field, every list and the saved bytes are compared.
#include <gtest/gtest.h>

#include <random>
#include <sstream>

#include "editing/edit_util.h"
#include "editing/insert.h"
#include "model/score.h"
#include "tools/scoregen/scoregen.h"

namespace {

int32_t NumberOf(const CXObject* o) { return o ? o->Number : -1; }

// Everything the passes derive, object by object, in words a failure can show.
std::string Derived(const CScore& score) {
  std::ostringstream out;
  out << "tempo " << score.Tempo << " signature " << int(score.Numerator) << "/" << int(score.Denominator) << "\n";
  for (const auto& up : score.Objects()) {
    const CXObject* o = up.get();
    out << o->Number << " " << o->KindCode() << " style " << o->Style;
    if (auto* n = As<CNote>(o))
      out << " start " << n->Start << " ticks " << n->Ticks << " play " << n->PlayStart << "+" << n->PlayTicks << " key "
          << int(n->Key) << " velocity " << int(n->Velocity) << " dy " << n->dy;
    if (auto* w = As<CStaveObject>(o))
      out << " stave " << w->Stave << "/" << NumberOf(w->OwnerStave) << " measure " << w->Measure << "/"
          << NumberOf(w->OwnerMeasure);
    if (auto* m = As<CMeasure>(o))
      out << " at " << m->Left << " start " << m->Start << " ticks " << m->Ticks << " " << int(m->Numerator) << "/"
          << int(m->Denominator);
    if (auto* s = As<CStaff>(o)) out << " start " << s->Start << " ticks " << s->Ticks;
    if (auto* s = As<CStave>(o)) {
      out << " list";
      for (const CStaveObject* a : s->Attached) out << " " << a->Number;
    }
    out << "\n";
  }
  return out.str();
}

// One random edit, decided by the generator and the score alone so that two
// equal scores take the same edit. Returns the staves it touched and whether
// it keeps to notes and rests on them (else the editor runs the full pass).
struct EditDone {
  bool changed = false;
  bool local = false;
  std::vector<CStave*> staves;
};

CNote* NoteAt(CScore& score, std::mt19937& rng, CStave** stave) {
  std::vector<CNote*> notes;
  for (int tries = 0; tries < 8 && notes.empty(); ++tries) {
    CStaff* system = score.Staffs[rng() % score.Staffs.size()];
    *stave = system->Staves[rng() % system->Staves.size()];
    for (CStaveObject* o : (*stave)->Attached)
      if (o->KindCode() == Kind::Note || o->KindCode() == Kind::Rest) notes.push_back(static_cast<CNote*>(o));
  }
  return notes.empty() ? nullptr : notes[rng() % notes.size()];
}

EditDone RandomEdit(CScore& score, std::mt19937& rng) {
  EditDone done;
  const int what = static_cast<int>(rng() % 100);
  CStaff* system = score.Staffs[rng() % score.Staffs.size()];
  CStave* stave = system->Staves[rng() % system->Staves.size()];
  CMeasure* measure = system->Measures[rng() % system->Measures.size()];
  const int x = measure->Left + static_cast<int>(rng() % std::max(1, measure->Right - measure->Left));
  const int y = stave->Top - 12 + 4 * static_cast<int>(rng() % 12);
  if (what < 40) {
    // A note or rest where a click puts it: the notes after it move on,
    // with their marks and beams.
    score.SetInsertionPoint(x, y);
    const int code = 2 + static_cast<int>(rng() % 5);
    if (rng() % 4 == 0) score.InsertStyle ^= NTS_DOTTED;
    CStave* at = score.CurrentStave;
    done.changed = what < 32 ? InsertNote(score, x, y, code) != nullptr : InsertRest(score, x, y, code) != nullptr;
    done.local = true;
    done.staves = {at};
  } else if (what < 52) {
    // A note moved along or across its stave.
    CStave* on = nullptr;
    if (CNote* n = NoteAt(score, rng, &on)) {
      editing::Shift(n, 4 * static_cast<int>(rng() % 9) - 16, 4 * static_cast<int>(rng() % 5) - 8);
      done = {true, true, {on}};
    }
  } else if (what < 70) {
    // A note's duration, dots, voice, tie or stem changed.
    CStave* on = nullptr;
    if (CNote* n = NoteAt(score, rng, &on)) {
      switch (rng() % 5) {
        case 0: n->Value = (n->Value & ~0xFF) | static_cast<int32_t>(1 + rng() % 6); break;
        case 1: n->Style ^= (rng() % 2) ? NTS_DOTTED : NTS_STACCATO; break;
        case 2: n->Voice = static_cast<int8_t>(rng() % 3); break;
        case 3: {
          // Out of its chain, heading one, or joining another's (whose
          // head may stand on another stave).
          CStave* elsewhere = nullptr;
          const CNote* m = NoteAt(score, rng, &elsewhere);
          const int choice = static_cast<int>(rng() % 3);
          n->Tie = choice == 0 ? -1 : choice == 1 || !m || m->Tie < 0 ? n->Number : m->Tie;
          if (n->Tie == n->Number) n->Style |= NTS_STACCATO;  // what the head plays is articulated
          break;
        }
        default: n->Stem = static_cast<int8_t>(-n->Stem); break;
      }
      done = {true, true, {on}};
    }
  } else if (what < 75) {
    // A mark, slur or beam moved along or across its stave.
    std::vector<CStaveObject*> marks;
    for (CStaveObject* o : stave->Attached)
      if (o->IsKind(Kind::Mark)) marks.push_back(o);
    std::vector<const CNote*> notes;
    for (CStaveObject* o : stave->Attached)
      if (o->KindCode() == Kind::Note) notes.push_back(static_cast<const CNote*>(o));
    if (!marks.empty() && !notes.empty()) {
      const CNote* target = notes[rng() % notes.size()];
      CStaveObject* m = marks[rng() % marks.size()];
      // A beam's end put on a note's head, so that it takes another note.
      if (auto* b = As<CBeam>(m); b && rng() % 2)
        editing::Shift(b, target->X - b->X, target->Y - b->Y);
      else
        editing::Shift(m, 4 * static_cast<int>(rng() % 9) - 16, 4 * static_cast<int>(rng() % 9) - 16);
      done = {true, true, {stave}};
    }
  } else if (what < 80) {
    // A note deleted: the editor removes objects, which the local pass
    // cannot follow, so it falls back by itself.
    CStave* on = nullptr;
    if (CNote* n = NoteAt(score, rng, &on)) {
      score.RemoveObject(n);
      done = {true, true, {on}};
    }
  } else if (what < 88) {
    // A measure's content: a time signature, which moves every later start.
    done.changed = InsertTimeSignature(score, stave, measure, 2 + static_cast<int>(rng() % 4), 4) != nullptr;
  } else if (what < 94) {
    // A dynamic word, which changes the velocities from where it stands on.
    static const char* kWords[] = {"p", "ff", "mf", "Allegro"};
    auto t = std::make_unique<CXText>();
    t->text = kWords[rng() % 4];
    t->SetBounds(x, stave->Top - 30, x + 20, stave->Top - 18);
    score.AddObject(std::move(t));
    done.changed = true;
  } else {
    // A measure moved: every measure of its system lays out again.
    measure->Right += 8;
    done.changed = true;
  }
  return done;
}

TEST(LocalRecalculation, EveryRandomEditLeavesTheScoreAsTheFullPassDoes) {
  int localPasses = 0, edits = 0;
  for (uint32_t seed = 1; seed <= 6; ++seed) {
    WorkloadOptions options;
    options.Systems = 3;
    options.StavesPerSystem = 3;
    options.MeasuresPerSystem = 4;
    options.NotesPerStaffMeasure = 6;
    options.DynamicsTexts = 24;
    options.Hairpins = 12;
    options.Seed = seed;
    CScore local, full;
    GenerateWorkload(local, options);
    GenerateWorkload(full, options);
    local.AfterLoad();
    full.AfterLoad();
    ASSERT_EQ(Derived(local), Derived(full));
    std::mt19937 rngLocal(seed), rngFull(seed);
    for (int step = 0; step < 150; ++step) {
      const EditDone a = RandomEdit(local, rngLocal);
      const EditDone b = RandomEdit(full, rngFull);
      ASSERT_EQ(a.changed, b.changed);
      if (!a.changed) continue;
      ++edits;
      if (a.local)
        localPasses += local.UpdateDerivedOnStaves(a.staves) ? 1 : 0;
      else
        local.UpdateDerived();
      full.UpdateDerived();
      const std::string want = Derived(full), got = Derived(local);
      if (got != want) {
        // The first line that differs says what went wrong.
        std::istringstream w(want), g(got);
        std::string lw, lg;
        while (std::getline(w, lw) && std::getline(g, lg) && lw == lg) {}
        FAIL() << "seed " << seed << " step " << step << ":\n full:  " << lw << "\n local: " << lg;
      }
      ASSERT_EQ(local.SnapshotToBytes(), full.SnapshotToBytes()) << "seed " << seed << " step " << step;
    }
  }
  // Most local edits were followed locally; deletions and the edits after
  // a full pass that dropped nothing are the rest.
  EXPECT_GT(edits, 450);
  EXPECT_GT(localPasses, edits / 3);
}

}  // namespace
