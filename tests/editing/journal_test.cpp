#include "editing/journal.h"

#include <gtest/gtest.h>

#include <random>

#include "common/ui_host.h"
#include "editing/selection.h"
#include "editing/snapshot_store.h"
#include "tests/model/score_fixture.h"
#include "tests/scripted_ui_host.h"
#include "tools/scoregen/scoregen.h"

namespace {


// A laid-out score with a few notes and texts.
struct Doc {
  SmallScore s;
  ScriptedUiHost host;
  CommandJournal journal{s.score, &host};
  Doc() {
    s.Note(0, 0, 70, 16);
    s.Note(0, 0, 110, 12);
    s.Note(1, 1, 260, 20);
    s.Text(300, 500, "text");
    s.score.AfterLoad();
  }
  std::vector<uint8_t> Bytes() { return s.score.SnapshotToBytes(); }
  // A free text; the fixture's stave links do not survive a snapshot load.
  void AddText(int x, int y, const char* text) {
    auto t = std::make_unique<CXText>();
    t->text = text;
    t->SetBounds(x, y, x + 20, y + 12);
    s.score.AddObject(std::move(t));
  }
  // An edit of the kind the view makes: move the first note, record.
  void EditAndRecord(int dx) {
    SelectOnly(s.score, s.score.GetObject(s.score.ObjectCount() - 4), false);
    MoveSelected(s.score, dx, 0);
    s.score.AfterLoad();
    journal.RecordSnapshot();
  }
};

std::vector<uint8_t> RandomBytes(std::mt19937& rng, size_t n) {
  std::vector<uint8_t> v(n);
  // Structured like a score: repeating records with a few changing fields.
  for (size_t i = 0; i < n; ++i) v[i] = static_cast<uint8_t>((i % 53 == 0) ? rng() : (i * 7) % 61);
  return v;
}

}  // namespace

// --- recording, undo and redo --------------------------------------------------

TEST(Journal, RecordAfterUndoDropsTheRedoTail) {
  Doc d;
  d.journal.Record("A");
  d.journal.Record("B");
  d.journal.Record("C");
  EXPECT_EQ(d.journal.Position(), 3);
  d.journal.Undo();
  d.journal.Undo();
  EXPECT_EQ(d.journal.Position(), 1);
  d.journal.Record("D");
  ASSERT_EQ(d.journal.Count(), 2);
  EXPECT_EQ(d.journal.Entry(0).Text, "A");
  EXPECT_EQ(d.journal.Entry(1).Text, "D");
  EXPECT_EQ(d.journal.Position(), 2);
  EXPECT_EQ(d.journal.ReplayTo(3), 0);
  d.journal.Redo();
  EXPECT_EQ(d.journal.Position(), 2);
  EXPECT_EQ(d.journal.Count(), 2);
}

TEST(Journal, UndoToZeroKeepsTheScoreAndRedoReplaysTheFirstSnapshot) {
  Doc d;
  const auto first = d.Bytes();
  d.journal.RecordSnapshot();
  d.EditAndRecord(0);  // keeps the score the same
  d.journal.Undo();
  ASSERT_EQ(d.journal.Position(), 1);
  d.AddText(10, 10, "after");
  const auto edited = d.Bytes();

  d.journal.Undo();
  EXPECT_EQ(d.journal.Position(), 0);
  EXPECT_EQ(d.Bytes(), edited);
  d.journal.Undo();  // never below 0
  EXPECT_EQ(d.journal.Position(), 0);
  EXPECT_EQ(d.Bytes(), edited);

  d.journal.Redo();
  EXPECT_EQ(d.journal.Position(), 1);
  EXPECT_EQ(d.Bytes(), first);
}

TEST(Journal, WarnsOnEveryRecordingPastTheLimit) {
  Doc d;
  for (int i = 0; i < 100; ++i) d.journal.Record("SelectAll();");
  EXPECT_TRUE(d.host.Messages.empty());
  d.journal.Record("SelectAll();");
  ASSERT_EQ(d.host.Messages.size(), 1u);
  EXPECT_EQ(d.host.Messages[0], "暂存区满, 请尽快存盘以清空暂存区!");
  d.journal.Record("SelectAll();");
  EXPECT_EQ(d.host.Messages.size(), 2u);
  EXPECT_EQ(d.journal.Count(), 102);
}

TEST(Journal, SavingShrinksOnlyALongJournal) {
  Doc d;
  for (int i = 0; i < 50; ++i) d.journal.RecordSnapshot();
  d.journal.AfterSave();
  EXPECT_EQ(d.journal.Count(), 50);
  EXPECT_EQ(d.journal.Position(), 50);

  d.AddText(10, 10, "saved");
  d.journal.RecordSnapshot();
  d.journal.AfterSave();
  ASSERT_EQ(d.journal.Count(), 1);
  EXPECT_EQ(d.journal.Position(), 1);
  EXPECT_EQ(d.journal.Entry(0).Text, "ScoreLoadData();");
  std::vector<uint8_t> data;
  ASSERT_TRUE(d.journal.EntryData(0, data));
  EXPECT_EQ(data, d.Bytes());
}

// --- the command table ----------------------------------------------------------

TEST(JournalExecute, SnapshotCommandMatchesAnyCase) {
  Doc d;
  const auto before = d.Bytes();
  d.AddText(10, 10, "later");
  ASSERT_NE(d.Bytes(), before);
  EXPECT_EQ(d.journal.Execute("scoreloaddata();", before.data(), before.size()), 1);
  EXPECT_EQ(d.Bytes(), before);
  EXPECT_NE(d.s.score.ObjectCount(), 0u);

  // In a replay too, once a properly written snapshot opens it.
  d.journal.Record("ScoreLoadData();", before);
  d.AddText(10, 10, "again");
  d.journal.Record("SCORELOADDATA();", d.Bytes());
  const auto second = d.Bytes();
  d.journal.RecordSnapshot();
  d.journal.ReplayTo(2);
  EXPECT_EQ(d.Bytes(), second);
}

TEST(JournalExecute, SelectionCommandsDoWhatTheCallsDo) {
  Doc a, b;
  const int y = a.s.Stave(0)->Top + 16;
  const std::vector<std::string> script = {
      "CaptureObjectByPoint(74," + std::to_string(y) + ",0);",
      "capturEObjectByPoint(304, 504,1);",
      "MoveSelected(12,-4);",
      "CaptureObjectByRectangle(340,520,290,490,0);",
      "CaptureSizingHandle(332,508);",
      "SizeSelected(9,3);",
      "setup",
      "NoSuchCommand(1,2);",
  };
  for (const auto& line : script) EXPECT_EQ(a.journal.Execute(line), 1) << line;

  CaptureObjectByPoint(b.s.score, 74, y, false);
  CaptureObjectByPoint(b.s.score, 304, 504, true);
  MoveSelected(b.s.score, 12, -4);
  CaptureObjectByRectangle(b.s.score, Rect{340, 520, 290, 490}, false);
  CaptureSizingHandle(b.s.score, 332, 508);
  SizeSelected(b.s.score, 9, 3);
  EXPECT_EQ(a.Bytes(), b.Bytes());
  EXPECT_EQ(a.s.score.SelectedCount, b.s.score.SelectedCount);
  EXPECT_EQ(a.s.score.LastCaptured->Number, b.s.score.LastCaptured->Number);
  EXPECT_NE(a.Bytes(), Doc().Bytes());

  EXPECT_EQ(a.journal.Execute("SelectAll"), 1);
  SelectAll(b.s.score);
  EXPECT_EQ(a.Bytes(), b.Bytes());
  EXPECT_EQ(a.journal.Execute("DeleteSelected"), 1);
  EXPECT_EQ(a.s.score.ObjectCount(), 0u);
}

TEST(JournalExecute, SelectionStepsChangeTheScoreAsTheCallsDo) {
  Doc a, b;
  const int y = a.s.Stave(0)->Top + 16;
  a.journal.Execute("capturEObjectByPoint(74, " + std::to_string(y) + ",0);");
  a.journal.Execute("MoveSelected(12,-4);");
  CaptureObjectByPoint(b.s.score, 74, y, false);
  MoveSelected(b.s.score, 12, -4);
  EXPECT_EQ(a.Bytes(), b.Bytes());
  EXPECT_NE(a.Bytes(), Doc().Bytes());
}

TEST(JournalExecute, BadArgumentsAndMissingSystemsReturnZero) {
  Doc d;
  const auto before = d.Bytes();
  EXPECT_EQ(d.journal.Execute("MoveSelected(12);"), 0);
  EXPECT_EQ(d.journal.Execute("MoveSelected(x,1);"), 0);
  EXPECT_EQ(d.journal.Execute("MoveSelected(99999999999,1);"), 0);
  EXPECT_EQ(d.journal.Execute("InsertMeasure(-500,-500);"), 0);
  EXPECT_EQ(d.Bytes(), before);

  // The failing entry does not stop the replay.
  d.journal.RecordSnapshot();
  d.journal.Record("InsertMeasure(-500,-500);");
  d.journal.Record("SelectAll();");
  d.journal.Undo();
  d.journal.Redo();
  EXPECT_EQ(d.s.score.SelectedCount, static_cast<int>(d.s.score.ObjectCount()));
}

TEST(JournalExecute, InsertCommandsReachTheEditOperations) {
  // Needs the insertion operations themselves.
  Doc d;
  const size_t systems = d.s.score.Staffs.size();
  EXPECT_EQ(d.journal.Execute("InsertStaff(52,500);"), 1);
  d.s.score.UpdateDerived();
  EXPECT_EQ(d.s.score.Staffs.size(), systems + 1);
  const size_t objects = d.s.score.ObjectCount();
  EXPECT_EQ(d.journal.Execute("InsertMeasure(300,110);"), 1);
  EXPECT_EQ(d.s.score.ObjectCount(), objects + 1);
}

// --- snapshots: exact bytes, damaged data -------------------------------------------

// Both ways of storing: packed at once, and held whole until StoreNow or
// the next replay (as the editor does), with a record after an undo in
// between; every entry must keep the bytes of the score it was taken of.
TEST(Journal, UndoAndRedoRestoreEveryScoreExactly) {
  for (const bool later : {false, true}) {
    SCOPED_TRACE(later ? "stored later" : "stored at once");
    Doc d;
    d.journal.SetStoreLater(later);
    std::vector<std::vector<uint8_t>> states;
    d.journal.RecordSnapshot();
    states.push_back(d.Bytes());
    for (int i = 1; i <= 12; ++i) {
      if (i % 4 == 0)
        d.AddText(20 * i, 700, "grown");
      else
        d.EditAndRecord(i % 3 == 0 ? -4 : 8);
      if (i % 4 == 0) {
        d.s.score.AfterLoad();
        d.journal.RecordSnapshot();
      }
      states.push_back(d.Bytes());
      EXPECT_EQ(d.journal.HasUnstored(), later);
      if (i == 5) d.journal.StoreNow();
      if (i == 9) {
        // An undo reads a held snapshot; the redo tail it leaves is replaced.
        d.journal.Undo();
        EXPECT_EQ(d.Bytes(), states[8]);
        EXPECT_FALSE(d.journal.HasUnstored());
        d.EditAndRecord(8);
        states[9] = d.Bytes();
        ASSERT_EQ(d.journal.Count(), 10);
      }
    }
    for (int p = 12; p >= 1; --p) {
      d.journal.Undo();
      ASSERT_EQ(d.journal.Position(), p);
      EXPECT_EQ(d.Bytes(), states[p - 1]) << "undo to " << p;
    }
    for (int p = 2; p <= 13; ++p) {
      d.journal.Redo();
      EXPECT_EQ(d.Bytes(), states[p - 1]) << "redo to " << p;
    }
    for (int i = 0; i < d.journal.Count(); ++i) {
      std::vector<uint8_t> data;
      ASSERT_TRUE(d.journal.EntryData(i, data));
      EXPECT_EQ(data, states[i]);
    }
  }
}

TEST(Journal, DamagedSnapshotLeavesTheScoreAndIsReported) {
  Doc d;
  d.journal.RecordSnapshot();
  const auto good = d.Bytes();
  auto truncated = good;
  truncated.resize(good.size() / 2);
  std::vector<uint8_t> hostile = good;
  // An object count far beyond the bytes that follow.
  hostile[hostile.size() / 3] ^= 0xFF;
  hostile[hostile.size() / 3 + 1] ^= 0x7F;

  d.journal.Record("SelectAll();");
  d.journal.Record("ScoreLoadData();", truncated);
  d.journal.Redo();
  d.journal.Undo();
  d.journal.Redo();
  EXPECT_EQ(d.journal.Position(), 3);
  EXPECT_FALSE(d.journal.LastError().empty());
  // The good snapshot, then SelectAll, then a load that changes nothing.
  EXPECT_EQ(d.s.score.SelectedCount, static_cast<int>(d.s.score.ObjectCount()));
  SelectOnly(d.s.score, nullptr, false);
  EXPECT_EQ(d.Bytes(), good);

  const auto before = d.Bytes();
  EXPECT_EQ(d.journal.Execute("ScoreLoadData();", nullptr, 0), 0);
  EXPECT_EQ(d.journal.Execute("ScoreLoadData();", truncated.data(), truncated.size()), 0);
  d.journal.Execute("ScoreLoadData();", hostile.data(), hostile.size());
  if (d.s.score.ObjectCount() == 0) FAIL() << "a damaged snapshot emptied the score";

  std::mt19937 rng(11);
  for (int i = 0; i < 300; ++i) {
    auto bytes = good;
    for (int k = 0; k < 4; ++k) bytes[rng() % bytes.size()] = static_cast<uint8_t>(rng());
    bytes.resize(rng() % (bytes.size() + 1));
    d.journal.Execute("ScoreLoadData();", before.data(), before.size());
    const auto ok = d.Bytes();
    if (d.journal.Execute("ScoreLoadData();", bytes.data(), bytes.size()) == 0) {
      ASSERT_EQ(d.Bytes(), ok);
    }
  }
}

TEST(Journal, ReplayEqualsExecutingEveryEntryFromTheFirstSnapshot) {
  // The replay starts at the last snapshot that loads; executing every entry
  // from the first snapshot must give the same score.
  Doc a, b;
  const auto start = a.Bytes();
  std::mt19937 rng(21);
  const int y = a.s.Stave(0)->Top + 16;
  std::vector<std::string> commands = {
      "SelectAll();", "CaptureObjectByPoint(74," + std::to_string(y) + ",0);", "MoveSelected(4,8);",
      "InsertMeasure(-5,-5);", "CaptureObjectByRectangle(0,0,2000,2000,0);", "frobnicate(1);", "setup"};
  auto good = a.Bytes();
  auto damaged = good;
  damaged.resize(good.size() - 7);
  a.journal.Record("SelectAll();");  // before the first snapshot: never replayed
  for (int i = 0; i < 40; ++i) {
    const int r = static_cast<int>(rng() % 10);
    if (r == 0) {
      a.journal.Record("ScoreLoadData();", damaged);
    } else if (r == 1) {
      a.journal.Record("scoreLoadData();", good);
    } else if (r == 2) {
      a.AddText(static_cast<int>(rng() % 500), 600, "x");
      good = a.Bytes();
      a.journal.RecordSnapshot();
    } else {
      a.journal.Record(commands[rng() % commands.size()]);
    }
  }
  for (int round = 0; round < 25; ++round) {
    const int target = static_cast<int>(rng() % (a.journal.Count() + 1));
    a.journal.Execute("ScoreLoadData();", start.data(), start.size());
    b.journal.Execute("ScoreLoadData();", start.data(), start.size());
    a.journal.ReplayTo(target);

    int first = a.journal.Count();
    for (int i = 0; i < a.journal.Count(); ++i)
      if (a.journal.Entry(i).Text.starts_with("ScoreLoadData")) {
        first = i;
        break;
      }
    for (int i = first; i < target; ++i) {
      std::vector<uint8_t> data;
      a.journal.EntryData(i, data);
      b.journal.Execute(a.journal.Entry(i).Text, data.data(), data.size());
    }
    ASSERT_EQ(a.Bytes(), b.Bytes()) << "target " << target;
    ASSERT_EQ(a.s.score.SelectedCount, b.s.score.SelectedCount);
  }
}

// --- the chunk store --------------------------------------------------------------

TEST(SnapshotStore, EveryVariantComesBackByteForByte) {
  std::mt19937 rng(5);
  SnapshotStore store;
  std::vector<std::vector<uint8_t>> originals;
  std::vector<StoredBytes> stored;
  auto put = [&](std::vector<uint8_t> v) {
    originals.push_back(v);
    stored.push_back(store.Put(std::move(v)));
  };
  auto base = RandomBytes(rng, 300000);
  put(base);
  auto one = base;
  one[150000] ^= 1;  // one byte
  put(one);
  auto grown = base;
  grown.insert(grown.begin() + 1000, 777, 0x5A);  // grows near the start
  put(grown);
  auto shrunk = base;
  shrunk.erase(shrunk.begin() + 200000, shrunk.begin() + 260000);
  put(shrunk);
  put({});
  put({42});
  put(std::vector<uint8_t>(200000, 0));  // one long run
  put(RandomBytes(rng, 5000));

  for (size_t i = 0; i < stored.size(); ++i) {
    std::vector<uint8_t> out;
    ASSERT_TRUE(store.CopyOut(stored[i], out));
    EXPECT_EQ(out, originals[i]) << i;
  }
  // Load in a shuffled order, so each rebuild starts from a different base.
  std::vector<size_t> order(stored.size());
  for (size_t i = 0; i < order.size(); ++i) order[i] = i;
  std::shuffle(order.begin(), order.end(), rng);
  for (size_t i : order) {
    const std::vector<uint8_t>* out = store.Load(stored[i]);
    ASSERT_NE(out, nullptr);
    EXPECT_EQ(*out, originals[i]) << i;
  }

  // Neighbours share almost everything.
  EXPECT_LT(store.LiveChunks(), stored[0].ChunkCount() + 40);

  // Dropping some frees their chunks; the others still come back, and new
  // chunks take the freed places.
  const size_t liveBefore = store.LiveChunks();
  stored[1] = StoredBytes();
  stored[6] = StoredBytes();
  stored[0] = StoredBytes();
  EXPECT_LE(store.LiveChunks(), liveBefore);
  auto other = RandomBytes(rng, 100000);
  auto otherStored = store.Put(other);
  for (size_t i : {2u, 3u, 4u, 5u, 7u}) {
    std::vector<uint8_t> out;
    ASSERT_TRUE(store.CopyOut(stored[i], out));
    EXPECT_EQ(out, originals[i]) << i;
  }
  std::vector<uint8_t> out;
  ASSERT_TRUE(store.CopyOut(otherStored, out));
  EXPECT_EQ(out, other);
}

TEST(SnapshotStore, CutsFollowTheContentAfterAnInsertion) {
  std::mt19937 rng(9);
  std::vector<uint8_t> a(200000);
  for (auto& b : a) b = static_cast<uint8_t>(rng());
  auto b = a;
  b.insert(b.begin() + 10, 333, 1);
  const auto ca = SnapshotStore::CutPoints(a.data(), a.size());
  const auto cb = SnapshotStore::CutPoints(b.data(), b.size());
  ASSERT_GT(ca.size(), 5u);
  for (size_t i = 0; i + 1 < ca.size(); ++i) EXPECT_GE(ca[i + 1] - ca[i], 2048u);
  // All but the first few cuts reappear, shifted by the insertion.
  size_t shared = 0;
  for (size_t cut : ca)
    if (std::find(cb.begin(), cb.end(), cut + 333) != cb.end()) ++shared;
  EXPECT_GE(shared + 2, ca.size());
}

TEST(SnapshotStore, ManySnapshotsOfALargeScoreStaySmall) {
  CScore score;
  WorkloadOptions options;
  options.Systems = 20;
  GenerateWorkload(score, options);
  score.AfterLoad();
  CommandJournal journal(score);
  journal.RecordSnapshot();
  const size_t raw = score.SnapshotToBytes().size();
  size_t settled = 0;
  for (int i = 0; i < 30; ++i) {
    CXObject* o = score.GetObject((i * 977) % score.ObjectCount());
    SelectOnly(score, o, false);
    MoveSelected(score, 4, 0);
    journal.RecordSnapshot();
    // The first few hold the whole bytes kept for comparison and a spare buffer.
    if (i == 2) settled = journal.MemoryBytes();
  }
  // Twenty-seven more snapshots cost less than half of one plain copy;
  // one packed copy each would be several plain copies.
  EXPECT_LT(journal.MemoryBytes() - settled, raw / 2);
  EXPECT_LT(journal.MemoryBytes(), 5 * raw);
  const auto last = score.SnapshotToBytes();
  journal.Undo();
  journal.Redo();
  EXPECT_EQ(score.SnapshotToBytes(), last);
}
