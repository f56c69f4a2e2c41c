#include "editing/journal.h"

#include <algorithm>
#include <cctype>
#include <charconv>
#include <unordered_set>

#include "common/ui_host.h"
#include "editing/insert.h"
#include "editing/selection.h"
#include "model/archive.h"
#include "model/score.h"

namespace {

bool EqualsIgnoringCase(std::string_view a, std::string_view b) {
  return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
           return std::tolower(static_cast<unsigned char>(x)) == std::tolower(static_cast<unsigned char>(y));
         });
}

// The part before the first "(", or the whole text when there is none or it
// opens the text.
std::string_view CommandName(std::string_view text) {
  const size_t open = text.find('(');
  return (open == std::string_view::npos || open == 0) ? text : text.substr(0, open);
}

// Reads `count` comma-separated decimal integers after the first "(" (blanks
// before a number allowed, as a scanf "%d" would). False when they are not
// all there or one does not fit an int.
bool ReadArguments(std::string_view text, int* out, int count) {
  size_t at = text.find('(');
  if (at == std::string_view::npos) return false;
  ++at;
  for (int k = 0; k < count; ++k) {
    if (k > 0) {
      if (at >= text.size() || text[at] != ',') return false;
      ++at;
    }
    while (at < text.size() && std::isspace(static_cast<unsigned char>(text[at]))) ++at;
    if (at < text.size() && text[at] == '+') ++at;
    const char* first = text.data() + at;
    const char* last = text.data() + text.size();
    auto [end, ec] = std::from_chars(first, last, out[k]);
    if (ec != std::errc() || end == first) return false;
    at += static_cast<size_t>(end - first);
  }
  return true;
}

enum class Command {
  ScoreLoadData,
  InsertStaff,
  InsertMeasure,
  InsertMark,
  CaptureObjectByPoint,
  CaptureObjectByRectangle,
  MoveSelected,
  CaptureSizingHandle,
  SizeSelected,
  InsertXImage,
  InsertXLink,
  DeleteSelected,
  SelectAll,
  Setup,
  Unknown,
};

struct CommandRow {
  const char* Name;
  Command Id;
  int Arguments;
};

// In the order names are compared.
constexpr CommandRow kCommands[] = {
    {"ScoreLoadData", Command::ScoreLoadData, 0},
    {"InsertStaff", Command::InsertStaff, 2},
    {"InsertMeasure", Command::InsertMeasure, 2},
    {"InsertMark", Command::InsertMark, 3},
    {"CaptureObjectByPoint", Command::CaptureObjectByPoint, 3},
    {"CaptureObjectByRectangle", Command::CaptureObjectByRectangle, 5},
    {"MoveSelected", Command::MoveSelected, 2},
    {"CaptureSizingHandle", Command::CaptureSizingHandle, 2},
    {"SizeSelected", Command::SizeSelected, 2},
    {"InsertXImage", Command::InsertXImage, 2},
    {"InsertXLink", Command::InsertXLink, 2},
    {"DeleteSelected", Command::DeleteSelected, 0},
    {"SelectAll", Command::SelectAll, 0},
    {"setup", Command::Setup, 0},
};

const CommandRow* FindCommand(std::string_view text) {
  const std::string_view name = CommandName(text);
  for (const CommandRow& row : kCommands)
    if (EqualsIgnoringCase(name, row.Name)) return &row;
  return nullptr;
}

CStaff* SystemAt(const CScore& score, int x, int y) {
  for (const auto& up : score.Objects())
    if (auto* s = As<CStaff>(up.get()); s && s->GetBounds().Contains(x, y)) return s;
  return nullptr;
}

}  // namespace

CommandJournal::CommandJournal(CScore& score, UiHost* host) : score_(score), host_(host) {}

int CommandJournal::Append(std::string_view text, std::optional<StoredBytes> data) {
  if (position_ < Count()) {
    for (auto it = entries_.begin() + position_; it != entries_.end(); ++it) unstored_ -= it->Unstored ? 1 : 0;
    entries_.erase(entries_.begin() + position_, entries_.end());
  }
  entries_.push_back({std::string(text), std::move(data), std::nullopt});
  ++position_;
  if (position_ > limit_ && host_) host_->MessageBox(kFullMessage, "", UiHost::Icon::Warning);
  return 1;
}

int CommandJournal::Record(std::string_view text) { return Append(text, std::nullopt); }

int CommandJournal::Record(std::string_view text, std::vector<uint8_t> data) {
  // Stored in recording order: each store is compared with the one before.
  StoreNow();
  return Append(text, store_.Put(std::move(data)));
}

void CommandJournal::StoreNow() {
  for (JournalEntry& e : entries_) {
    if (!unstored_) break;
    if (!e.Unstored) continue;
    e.Data = store_.Put(std::move(*e.Unstored));
    e.Unstored.reset();
    --unstored_;
  }
}

int CommandJournal::RecordSnapshot() {
  // The score's bytes as SnapshotToBytes makes them, into a recycled buffer.
  std::vector<uint8_t> bytes = store_.TakeSpare();
  bytes.reserve(1024 + score_.ObjectCount() * 80);
  {
    Archive ar(bytes);
    score_.Serialize(ar);
    ar.Flush();
  }
  if (!storeLater_) return Record(kSnapshotCommand, std::move(bytes));
  Append(kSnapshotCommand, std::nullopt);
  entries_.back().Unstored = std::move(bytes);
  ++unstored_;
  return 1;
}

int CommandJournal::Undo() {
  // Never below the first position: an undo there changes nothing.
  if (position_ > 0) ReplayTo(position_ - 1);
  return 1;
}

int CommandJournal::Redo() {
  ReplayTo(position_ + 1);
  return 1;
}

bool CommandJournal::IsSnapshot(size_t index) const {
  const CommandRow* row = FindCommand(entries_[index].Text);
  return row && row->Id == Command::ScoreLoadData;
}

int CommandJournal::ReplayTo(int target) {
  if (target < 0 || target > Count()) return 0;
  const size_t end = static_cast<size_t>(target);

  // Replay starts at the first snapshot.
  size_t first = entries_.size();
  for (size_t i = 0; i < entries_.size(); ++i)
    if (entries_[i].Text.starts_with("ScoreLoadData")) {
      first = i;
      break;
    }

  // A snapshot that loads replaces the whole score, so everything before it
  // is overwritten: start at the last one before the target that loads. A
  // snapshot that fails changes nothing and is not tried again.
  size_t start = first;
  std::unordered_set<size_t> failed;
  for (size_t i = end; i > first;) {
    --i;
    if (!IsSnapshot(i)) continue;
    if (LoadEntrySnapshot(i)) {
      start = i + 1;
      break;
    }
    failed.insert(i);
  }
  for (size_t i = start; i < end; ++i)
    if (!failed.count(i)) RunEntry(i);

  position_ = target;
  return 1;
}

int CommandJournal::RunEntry(size_t index) {
  if (IsSnapshot(index)) return LoadEntrySnapshot(index) ? 1 : 0;
  return Execute(entries_[index].Text);
}

bool CommandJournal::LoadEntrySnapshot(size_t index) {
  StoreNow();  // the store keeps the bytes it loads last for the next load
  const JournalEntry& e = entries_[index];
  if (!e.Data) return LoadSnapshot(nullptr, 0);
  const std::vector<uint8_t>* bytes = store_.Load(*e.Data);
  if (!bytes) {
    lastError_ = "journal entry " + std::to_string(index) + ": stored snapshot is damaged";
    return false;
  }
  return LoadSnapshot(bytes->data(), bytes->size());
}

bool CommandJournal::LoadSnapshot(const uint8_t* data, size_t size) {
  std::string error;
  static const uint8_t kNothing = 0;
  if (!score_.RestoreFromBytes(data ? data : &kNothing, size, &error)) {
    // The score is left as it was.
    lastError_ = "snapshot not loaded: " + error;
    return false;
  }
  score_.RelinkObjects();
  score_.AfterLoad();
  return true;
}

int CommandJournal::Execute(std::string_view text, const uint8_t* data, size_t size) {
  const CommandRow* row = FindCommand(text);
  if (!row) return 1;  // unknown commands are ignored
  int a[5] = {0, 0, 0, 0, 0};
  if (row->Arguments > 0 && !ReadArguments(text, a, row->Arguments)) {
    lastError_ = "bad arguments: " + std::string(text);
    return 0;
  }
  switch (row->Id) {
    case Command::ScoreLoadData: return LoadSnapshot(data, size) ? 1 : 0;
    case Command::InsertStaff: InsertStaff(score_, a[0], a[1]); break;
    case Command::InsertMeasure: {
      CStaff* system = SystemAt(score_, a[0], a[1]);
      if (!system) return 0;
      InsertMeasure(score_, system, a[0]);
      break;
    }
    case Command::InsertMark: InsertMark(score_, a[0], a[1], a[2]); break;
    case Command::CaptureObjectByPoint: CaptureObjectByPoint(score_, a[0], a[1], a[2] != 0); break;
    case Command::CaptureObjectByRectangle:
      CaptureObjectByRectangle(score_, Rect{a[0], a[1], a[2], a[3]}, a[4] != 0);
      break;
    case Command::MoveSelected: MoveSelected(score_, a[0], a[1]); break;
    case Command::CaptureSizingHandle: CaptureSizingHandle(score_, a[0], a[1]); break;
    case Command::SizeSelected: SizeSelected(score_, a[0], a[1]); break;
    case Command::InsertXImage: InsertXImage(score_, a[0], a[1]); break;
    case Command::InsertXLink: InsertXLink(score_, a[0], a[1]); break;
    case Command::DeleteSelected: score_.DeleteSelected(); break;
    case Command::SelectAll: SelectAll(score_); break;
    case Command::Setup:
    case Command::Unknown: break;
  }
  return 1;
}

void CommandJournal::ClearJournal() {
  entries_.clear();
  unstored_ = 0;
  position_ = 0;
}

void CommandJournal::AfterSave() {
  if (position_ <= limit_ / 2) return;
  ClearJournal();
  RecordSnapshot();
}

bool CommandJournal::EntryData(int index, std::vector<uint8_t>& out) const {
  const JournalEntry& e = entries_.at(static_cast<size_t>(index));
  if (e.Unstored) {
    out = *e.Unstored;
    return true;
  }
  if (!e.Data) return false;
  return store_.CopyOut(*e.Data, out);
}

size_t CommandJournal::MemoryBytes() const {
  size_t bytes = store_.MemoryBytes() + entries_.capacity() * sizeof(JournalEntry);
  for (const JournalEntry& e : entries_) {
    bytes += e.Text.capacity();
    if (e.Data) bytes += e.Data->ChunkCount() * sizeof(uint32_t);
    if (e.Unstored) bytes += e.Unstored->capacity();
  }
  return bytes;
}
