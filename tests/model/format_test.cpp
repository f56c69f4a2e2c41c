// The score byte stream: layout, round trips and hostile input.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <fstream>
#include <iterator>

#include "model/archive.h"
#include "model/score.h"
#include "tools/scoregen/scoregen.h"

namespace {

using Bytes = std::vector<uint8_t>;

Bytes Le32(uint32_t v) { return {uint8_t(v), uint8_t(v >> 8), uint8_t(v >> 16), uint8_t(v >> 24)}; }

void Append(Bytes& a, const Bytes& b) { a.insert(a.end(), b.begin(), b.end()); }

// Bytes of one object record (kind byte included).
Bytes RecordOf(CXObject& o) {
  Bytes out;
  Archive ar(out);
  uint8_t kind = static_cast<uint8_t>(o.GetKind());
  ar.Io(kind);
  o.Serialize(ar);
  ar.Flush();
  return out;
}

std::string TempPath(const std::string& name) {
  return ::testing::TempDir() + "quavix-" + std::to_string(getpid()) + "-" + name;
}

Bytes ReadFile(const std::string& path) {
  std::ifstream f(path, std::ios::binary);
  return Bytes(std::istreambuf_iterator<char>(f), {});
}

void WriteFile(const std::string& path, const Bytes& b) {
  std::ofstream f(path, std::ios::binary | std::ios::trunc);
  f.write(reinterpret_cast<const char*>(b.data()), std::streamsize(b.size()));
}

TEST(Layout, HeaderOfAFreshScore) {
  CScore s;
  s.UpperNumber = 0x01020304;
  Bytes b = s.SnapshotToBytes();
  Bytes expected = {0x53, 0x43, 0x4F, 0x52, 0x00, 0x00, 0x08, 0x03};
  for (uint32_t v : {600u, 800u, 52u, 52u, 68u, 40u, 8u, 240u, 600000u}) Append(expected, Le32(v));
  Append(expected, {0x04, 0x04, 0x00, 0x00, 0x01, 0x00});
  Append(expected, Le32(5));
  Append(expected, Le32(0x01020304));
  ASSERT_GE(b.size(), 58u);
  EXPECT_EQ(Bytes(b.begin(), b.begin() + 58), expected);
  // Three empty tables and an empty object list follow.
  EXPECT_EQ(b.size(), 58u + 16u);
}

TEST(Layout, VersionIsAlwaysWrittenAsCurrent) {
  CScore s;
  s.Version = 0x03070000;
  Bytes b = s.SnapshotToBytes();
  EXPECT_EQ(Bytes(b.begin() + 4, b.begin() + 8), (Bytes{0x00, 0x00, 0x08, 0x03}));
}

TEST(Layout, NewDocumentTableSizes) {
  CScore s;
  s.ResetDefaultTables();
  Bytes b = s.SnapshotToBytes();
  // layers 4 + 8 x 8, pens 4 + 16, fonts 4 + 8 x 60, then the object count.
  EXPECT_EQ(b.size(), 58u + 68u + 20u + 484u + 4u);
  EXPECT_EQ(Bytes(b.begin() + 58, b.begin() + 62), Le32(8));
  EXPECT_EQ(Bytes(b.begin() + 126, b.begin() + 130), Le32(1));
  EXPECT_EQ(Bytes(b.begin() + 146, b.begin() + 150), Le32(8));
  // The first font: height -34, face "velorin" zero-terminated in 32 bytes.
  EXPECT_EQ(Bytes(b.begin() + 150, b.begin() + 154), Le32(uint32_t(-34)));
  EXPECT_EQ(std::string(b.begin() + 150 + 28, b.begin() + 150 + 35), "velorin");
  EXPECT_EQ(b[150 + 35], 0);
}

TEST(Layout, RecordSizesOfEveryKind) {
  struct Case { char kind; size_t size; };
  // Sizes include the kind byte; texts at their defaults.
  const Case cases[] = {{'O', 34}, {'g', 42}, {'8', 42}, {'{', 42}, {'E', 42}, {'L', 62}, {'G', 50},
                        {'M', 54}, {'H', 62}, {'S', 70}, {'N', 77}, {'R', 77}, {'X', 43 + 1 + 4},
                        {'v', 47 + 1 + 1}, {'a', 51 + 1 + 4}, {'l', 43 + 1 + 7 + 1}, {'I', 42 + 1 + 5 + 1 + 1},
                        {'c', 42 + 2}, {'s', 38}, {'T', 48}, {'V', 44}};
  for (const Case& c : cases) {
    auto o = CreateObject(c.kind);
    ASSERT_TRUE(o) << c.kind;
    EXPECT_EQ(RecordOf(*o).size(), c.size) << c.kind;
  }
}

TEST(Layout, NoteRecordFieldOrder) {
  CNote n;
  n.Number = 1; n.Value = 2; n.Style = 3; n.SetBounds(4, 5, 6, 7); n.Layer = 8; n.Selected = 9;
  n.Stave = 10; n.Measure = 11; n.X = 12; n.Y = 13; n.dy = 14; n.Voice = 15; n.Channel = 16;
  n.Ticks = 17; n.PlayTicks = 18; n.Key = 19; n.Velocity = 20; n.Head = 21; n.Stem = -22; n.Tail = 23;
  n.Chord = 24; n.Tie = 25;
  Bytes expected = {'N'};
  for (uint32_t v : {1, 2, 3, 4, 5, 6, 7}) Append(expected, Le32(v));
  expected.push_back(8);
  for (uint32_t v : {9, 10, 11, 12, 13, 14}) Append(expected, Le32(v));
  Append(expected, {15, 16});
  Append(expected, Le32(17));
  Append(expected, Le32(18));
  Append(expected, {19, 20, 21, uint8_t(-22), 23});
  Append(expected, Le32(24));
  Append(expected, Le32(25));
  EXPECT_EQ(RecordOf(n), expected);
  CRest r;
  EXPECT_EQ(RecordOf(r).size(), 77u);
}

TEST(Layout, TextLengthPrefixes) {
  auto textRecord = [](size_t len) {
    CXText t;
    t.text.assign(len, 'a');
    Bytes rec = RecordOf(t);
    return Bytes(rec.begin() + 1 + 42, rec.end());  // from the length prefix on
  };
  EXPECT_EQ(textRecord(0), (Bytes{0x00}));
  Bytes b = textRecord(254);
  EXPECT_EQ(b[0], 254);
  EXPECT_EQ(b.size(), 255u);
  b = textRecord(255);
  EXPECT_EQ(Bytes(b.begin(), b.begin() + 3), (Bytes{0xFF, 0xFF, 0x00}));
  b = textRecord(300);
  EXPECT_EQ(Bytes(b.begin(), b.begin() + 3), (Bytes{0xFF, 0x2C, 0x01}));
  EXPECT_EQ(b.size(), 303u);
  b = textRecord(0xFFFD);
  EXPECT_EQ(Bytes(b.begin(), b.begin() + 3), (Bytes{0xFF, 0xFD, 0xFF}));
  b = textRecord(0xFFFE);
  EXPECT_EQ(Bytes(b.begin(), b.begin() + 7), (Bytes{0xFF, 0xFF, 0xFF, 0xFE, 0xFF, 0x00, 0x00}));
}

TEST(Layout, ReaderAcceptsEveryPrefixForm) {
  // "abc" written in the long forms reads back the same.
  for (Bytes prefix : {Bytes{3}, Bytes{0xFF, 3, 0}, Bytes{0xFF, 0xFF, 0xFF, 3, 0, 0, 0}}) {
    Bytes data = prefix;
    Append(data, {'a', 'b', 'c'});
    Archive ar(data.data(), data.size());
    std::string text;
    ar.IoText(text);
    EXPECT_EQ(text, "abc");
    EXPECT_EQ(ar.Remaining(), 0u);
  }
}

TEST(Layout, MemberLists) {
  CXCombo c;
  Bytes rec = RecordOf(c);
  EXPECT_EQ(Bytes(rec.end() - 2, rec.end()), (Bytes{0x00, 0x00}));
  c.Members = {7, -1};
  rec = RecordOf(c);
  Bytes tail = {0x02, 0x00};
  Append(tail, Le32(7));
  Append(tail, Le32(0xFFFFFFFF));
  EXPECT_EQ(Bytes(rec.end() - 10, rec.end()), tail);
  c.Members.assign(0x10000, 1);
  rec = RecordOf(c);
  EXPECT_EQ(Bytes(rec.begin() + 42, rec.begin() + 48), (Bytes{0xFF, 0xFF, 0x00, 0x00, 0x01, 0x00}));
}

TEST(RoundTrip, RandomScoresOfEveryKindStoreIdentically) {
  for (uint32_t seed = 1; seed <= 12; ++seed) {
    CScore a;
    GenerateRandomScore(a, seed, 300);
    Bytes first = a.SnapshotToBytes();
    CScore b;
    ASSERT_TRUE(b.RestoreFromBytes(first)) << seed;
    EXPECT_EQ(b.UpperNumber, a.UpperNumber);
    ASSERT_EQ(b.ObjectCount(), a.ObjectCount());
    for (size_t i = 0; i < a.ObjectCount(); ++i) {
      EXPECT_EQ(b.GetObject(i)->Number, a.GetObject(i)->Number);
      EXPECT_EQ(b.GetObject(i)->GetKind(), a.GetObject(i)->GetKind());
    }
    EXPECT_EQ(b.SelectedCount, a.SelectedCount);
    EXPECT_EQ(b.SnapshotToBytes(), first) << "seed " << seed;
  }
}

TEST(RoundTrip, FileSaveAndLoadKeepSlurPointsAndWhatFollows) {
  CScore a;
  a.ResetDefaultTables();
  auto slur = std::make_unique<CSlurLine>();
  slur->X1 = 11; slur->Y1 = -12; slur->X2 = 13; slur->Y2 = 14;
  a.AddObject(std::move(slur));
  auto text = std::make_unique<CXText>();
  text->text = "\xCB\xCE\xCC\xE5 after";
  a.AddObject(std::move(text));
  const std::string path = TempPath("slur.q5s");
  ASSERT_TRUE(a.SaveToFile(path));
  CScore b;
  ASSERT_TRUE(b.LoadFromFile(path));
  auto* s = As<CSlurLine>(b.GetObject(0));
  ASSERT_TRUE(s);
  EXPECT_EQ(s->X1, 11); EXPECT_EQ(s->Y1, -12); EXPECT_EQ(s->X2, 13); EXPECT_EQ(s->Y2, 14);
  auto* t = As<CXText>(b.GetObject(1));
  ASSERT_TRUE(t);
  EXPECT_EQ(t->text, "\xCB\xCE\xCC\xE5 after");
  EXPECT_EQ(b.UpperNumber, 2);
  EXPECT_EQ(ReadFile(path), a.SnapshotToBytes());
  std::remove(path.c_str());
}

TEST(RoundTrip, LargeScoreThroughTheBufferedFile) {
  CScore a;
  WorkloadOptions o;
  o.Systems = 6;
  GenerateWorkload(a, o);
  const std::string path = TempPath("workload.q5s");
  ASSERT_TRUE(a.SaveToFile(path));
  Bytes file = ReadFile(path);
  EXPECT_GT(file.size(), 3 * Archive::kBufferSize);
  EXPECT_EQ(file, a.SnapshotToBytes());
  CScore b;
  ASSERT_TRUE(b.LoadFromFile(path));
  EXPECT_EQ(b.SnapshotToBytes(), file);
  std::remove(path.c_str());
}

// A small valid score to damage.
Bytes SampleBytes() {
  CScore s;
  GenerateRandomScore(s, 99, 40);
  return s.SnapshotToBytes();
}

TEST(BadInput, OlderVersionIsRefusedAndTheScoreUntouched) {
  CScore current;
  GenerateRandomScore(current, 5, 20);
  Bytes before = current.SnapshotToBytes();
  Bytes old = SampleBytes();
  old[6] = 0x07;  // 3.7.0.0
  const std::string path = TempPath("old.q5s");
  WriteFile(path, old);
  EXPECT_EQ(CScore::PeekVersion(path), 0x03070000u);
  std::string error;
  EXPECT_FALSE(current.LoadFromFile(path, &error));
  EXPECT_NE(error.find("3.7.0.0"), std::string::npos) << error;
  EXPECT_EQ(current.SnapshotToBytes(), before);
  std::remove(path.c_str());
  EXPECT_EQ(CScore::PeekVersion(path), 0u);
  EXPECT_FALSE(current.LoadFromFile(path, &error));
}

TEST(BadInput, EveryTruncationFailsCleanly) {
  Bytes good = SampleBytes();
  CScore current;
  GenerateRandomScore(current, 6, 10);
  Bytes before = current.SnapshotToBytes();
  for (size_t len = 0; len < good.size(); len += 1 + len / 50) {
    EXPECT_FALSE(current.RestoreFromBytes(good.data(), len)) << len;
    EXPECT_EQ(current.SnapshotToBytes(), before) << len;
  }
  EXPECT_TRUE(current.RestoreFromBytes(good));
}

TEST(BadInput, TruncatedFileReportsWhere) {
  Bytes good = SampleBytes();
  Bytes cut(good.begin(), good.begin() + 700);
  const std::string path = TempPath("cut.q5s");
  WriteFile(path, cut);
  CScore s;
  std::string error;
  EXPECT_FALSE(s.LoadFromFile(path, &error));
  EXPECT_NE(error.find("byte"), std::string::npos) << error;
  EXPECT_EQ(s.ObjectCount(), 0u);
  std::remove(path.c_str());
}

TEST(BadInput, UnknownKindAndHostileCounts) {
  CScore empty;
  Bytes header = empty.SnapshotToBytes();
  header.resize(58);
  auto withTables = [&](int32_t layers, int32_t objects) {
    Bytes b = header;
    Append(b, Le32(uint32_t(layers)));
    Append(b, Le32(0));
    Append(b, Le32(0));
    Append(b, Le32(uint32_t(objects)));
    return b;
  };
  CScore s;
  Bytes b = withTables(0, 1);
  b.push_back('w');  // abstract kind
  b.resize(b.size() + 40, 0);
  std::string error;
  EXPECT_FALSE(s.RestoreFromBytes(b, &error));
  EXPECT_NE(error.find("unknown object kind 0x77"), std::string::npos) << error;
  EXPECT_FALSE(s.RestoreFromBytes(withTables(-1, 0), &error));
  EXPECT_NE(error.find("negative"), std::string::npos) << error;
  EXPECT_FALSE(s.RestoreFromBytes(withTables(0x7FFFFFFF, 0), &error));
  EXPECT_FALSE(s.RestoreFromBytes(withTables(0, 0x7FFFFFFF), &error));
  EXPECT_FALSE(s.RestoreFromBytes(withTables(0, -5), &error));
  // A text claiming 4 GB in a short record.
  b = withTables(0, 1);
  CXText t;
  Bytes rec = RecordOf(t);
  rec.resize(1 + 42);
  Append(rec, {0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF});
  Append(b, rec);
  EXPECT_FALSE(s.RestoreFromBytes(b, &error));
  EXPECT_EQ(s.ObjectCount(), 0u);
  EXPECT_TRUE(s.RestoreFromBytes(withTables(0, 0)));
}

TEST(BadInput, ALaggingNumberCounterIsRaisedPastTheNumbersRead) {
  CScore s;
  auto text = std::make_unique<CXText>();
  s.AddObject(std::move(text));
  s.AddObject(std::make_unique<CXText>());
  Bytes b = s.SnapshotToBytes();
  // The counter at offset 54 says 0 while the file holds Numbers 0 and 1.
  std::fill(b.begin() + 54, b.begin() + 58, 0);
  CScore loaded;
  ASSERT_TRUE(loaded.RestoreFromBytes(b));
  EXPECT_EQ(loaded.UpperNumber, 2);
  loaded.AddObject(std::make_unique<CXText>());
  EXPECT_EQ(loaded.GetObject(2)->Number, 2);  // not a second 0
  // A counter ahead of the Numbers is kept.
  CScore ahead;
  ahead.UpperNumber = 40;
  ahead.AddObject(std::make_unique<CXText>());
  CScore again;
  ASSERT_TRUE(again.RestoreFromBytes(ahead.SnapshotToBytes()));
  EXPECT_EQ(again.UpperNumber, 41);
}

TEST(BadInput, CoordinatesFarOffThePageAreBroughtWithinReach) {
  CScore s;
  s.LineSpace = 555819297;
  auto line = std::make_unique<CXLine>();
  line->SetBounds(2147483000, -2147483000, 2147483600, -2147482000);
  line->X = line->X1 = 2147483600;
  CXLine* raw = line.get();
  s.AddObject(std::move(line));
  auto text = std::make_unique<CXText>();
  text->SetBounds(10, 20, 30, 40);
  s.AddObject(std::move(text));
  CScore loaded;
  ASSERT_TRUE(loaded.RestoreFromBytes(s.SnapshotToBytes()));
  EXPECT_EQ(loaded.LineSpace, 555819297);  // loading keeps what the stream holds
  loaded.ClampGeometry();                   // as opening a file does
  const int32_t limit = 1 << 24;
  EXPECT_EQ(loaded.LineSpace, limit);
  const CXObject* l = loaded.GetObject(0);
  EXPECT_EQ(l->Right, limit);
  EXPECT_LT(l->Left, l->Right);  // still a box
  EXPECT_EQ(l->Top, -limit);
  EXPECT_EQ(l->Bottom, -limit + 1);
  EXPECT_EQ(static_cast<const CXLine*>(l)->X1, limit);
  // Moving it cannot overflow any more; ordinary objects are untouched.
  const_cast<CXObject*>(l)->MoveTo(l->Left + 1000, l->Top - 1000);
  EXPECT_EQ(loaded.GetObject(1)->GetBounds(), (Rect{10, 20, 30, 40}));
  (void)raw;
}

TEST(Saving, AFailedSaveKeepsThePreviousFile) {
  const std::string dir = TempPath("ro-dir");
  ::mkdir(dir.c_str(), 0755);
  const std::string path = dir + "/score.q5s";
  CScore a;
  GenerateRandomScore(a, 3, 30);
  ASSERT_TRUE(a.SaveToFile(path));
  Bytes before = ReadFile(path);
  ::chmod(dir.c_str(), 0555);
  CScore b;
  GenerateRandomScore(b, 4, 30);
  std::string error;
  bool saved = b.SaveToFile(path, &error);
  ::chmod(dir.c_str(), 0755);
  if (geteuid() != 0) {  // root writes into read-only folders anyway
    EXPECT_FALSE(saved);
    EXPECT_FALSE(error.empty());
    EXPECT_EQ(ReadFile(path), before);
  }
  // A target that is a folder cannot be replaced, whoever runs the test.
  EXPECT_FALSE(b.SaveToFile(dir, &error));
  EXPECT_EQ(ReadFile(path), saved ? b.SnapshotToBytes() : before);
  std::remove(path.c_str());
  ::rmdir(dir.c_str());
}

}  // namespace
