// The command journal of one document: an ordered list of textual commands,
// the editor's own being "ScoreLoadData();" with a snapshot of the whole
// score. Undo and redo rebuild the score by replaying the journal up to the
// wanted position.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "editing/snapshot_store.h"

class CScore;
class UiHost;

struct JournalEntry {
  std::string Text;
  std::optional<StoredBytes> Data;  // absent for commands that carry none
  // A snapshot's bytes not yet handed to the store (see SetStoreLater).
  std::optional<std::vector<uint8_t>> Unstored;
  bool HasData() const { return Data || Unstored; }
};

class CommandJournal {
 public:
  static constexpr const char* kSnapshotCommand = "ScoreLoadData();";
  static constexpr const char* kFullMessage = "暂存区满, 请尽快存盘以清空暂存区!";

  // The score is not owned; host (may be null) shows the journal's warning.
  explicit CommandJournal(CScore& score, UiHost* host = nullptr);
  CommandJournal(const CommandJournal&) = delete;
  CommandJournal& operator=(const CommandJournal&) = delete;

  // Appends a command, discarding the redo tail. Returns 1.
  int Record(std::string_view text);
  int Record(std::string_view text, std::vector<uint8_t> data);
  // Records "ScoreLoadData();" with the score's bytes.
  int RecordSnapshot();
  // When on, a snapshot's bytes are taken at once but chunked and deflated
  // only by StoreNow (or when the journal next reads its data), so that an
  // editor can show the edit before it pays for packing the bytes.
  void SetStoreLater(bool later) { storeLater_ = later; }
  bool HasUnstored() const { return unstored_ > 0; }
  // Packs every snapshot still held whole, oldest first.
  void StoreNow();
  int Undo();
  int Redo();
  // Rebuilds the score as replaying entries 0 .. target-1 would leave it,
  // starting from the last snapshot that loads. 0 when target is out of range.
  int ReplayTo(int target);
  // Runs one command against the score; 1, or 0 when it could not run.
  int Execute(std::string_view text, const uint8_t* data = nullptr, size_t size = 0);
  void ClearJournal();
  // After a successful save: a long journal shrinks to one fresh snapshot.
  void AfterSave();

  int Position() const { return position_; }
  int Count() const { return static_cast<int>(entries_.size()); }
  int Limit() const { return limit_; }
  const JournalEntry& Entry(int index) const { return entries_.at(static_cast<size_t>(index)); }
  // The bytes an entry carries, rebuilt; false when it carries none.
  bool EntryData(int index, std::vector<uint8_t>& out) const;
  // Why the last command failed (a snapshot that did not load, bad arguments).
  const std::string& LastError() const { return lastError_; }
  // Heap held by the entries and their stored bytes.
  size_t MemoryBytes() const;

 private:
  int Append(std::string_view text, std::optional<StoredBytes> data);
  bool IsSnapshot(size_t index) const;
  bool LoadSnapshot(const uint8_t* data, size_t size);
  bool LoadEntrySnapshot(size_t index);
  int RunEntry(size_t index);

  CScore& score_;
  UiHost* host_;
  int position_ = 0;
  int limit_ = 100;
  SnapshotStore store_;  // before the entries: they release into it
  std::vector<JournalEntry> entries_;
  std::string lastError_;
  bool storeLater_ = false;
  size_t unstored_ = 0;  // entries whose bytes are held whole
};
