// Sectioned key=value settings document ("[Section]" headers, "key=value"
// lines, CR LF line ends). Also carries large text exports, so loading,
// lookups and appends stay linear in the document size.
//
// Names and values are byte strings (GBK text is kept as stored) and are
// compared byte for byte, case sensitive.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "common/name_index.h"

class IniFile {
  static constexpr size_t kNone = static_cast<size_t>(-1);

 public:
  // Appends a value the way a saved file holds it: backslash, carriage
  // return and line feed as "\\", "\r" and "\n".
  static void AppendEscaped(std::string_view value, std::string& out);
  using Entry = std::pair<std::string, std::string>;  // key, value

  class Section {
   public:
    explicit Section(std::string name) : name_(std::move(name)) {}

    const std::string& Name() const { return name_; }
    // Entries in file order; a key may occur more than once.
    const std::vector<Entry>& Entries() const { return entries_; }
    // Value of the first entry with this key, or nullptr.
    const std::string* Find(std::string_view key) const;

   private:
    friend class IniFile;
    // Sections up to this many entries are searched linearly.
    static constexpr size_t kIndexThreshold = 24;

    size_t FindPos(std::string_view key) const;
    void Append(std::string key, std::string value);

    std::string name_;
    std::vector<Entry> entries_;
    qx::NameIndex index_;  // key -> first entry; filled past kIndexThreshold only
  };

  IniFile() = default;

  // Reads a file. Returns 0 when it cannot be opened or read, leaving the
  // current contents as they are; otherwise replaces the contents and
  // returns 1.
  int Load(const std::string& path);
  // Replaces the contents with the parsed text. Always returns 1.
  int LoadFromText(std::string_view text);

  // Writes the document through an atomic replace: on failure (return 0)
  // the previous file is unchanged. Returns 1 on success.
  int Save(const std::string& path) const { return Save(path, nullptr); }
  // The same; on failure `error` receives the reason (with the errno text).
  int Save(const std::string& path, std::string* error) const;
  std::string SaveToText() const;

  // First value of `key` in the first section named `section`, or nullptr.
  // The pointer stays valid until the document is next changed.
  const std::string* GetValue(std::string_view section, std::string_view key) const;
  bool GetString(std::string_view section, std::string_view key, std::string& out) const;
  // The value read like C atoi, or `def` when the key is missing.
  int GetInt(std::string_view section, std::string_view key, int def) const;

  // Sets the first `key` of the first section named `section`; a missing
  // section or key is appended at the end.
  void SetValue(std::string_view section, std::string_view key, std::string_view value);
  void SetInt(std::string_view section, std::string_view key, int value);

  void Clear();
  const std::vector<Section>& Sections() const { return sections_; }
  size_t SectionCount() const { return sections_.size(); }
  // First section with this name, or nullptr.
  const Section* FindSection(std::string_view name) const;

 private:
  // Relaxed atomic so that concurrent const lookups stay race free.
  struct LastFound {
    std::atomic<size_t> value{kNone};
    LastFound() = default;
    LastFound(const LastFound& other) : value(other.value.load(std::memory_order_relaxed)) {}
    LastFound(LastFound&& other) noexcept : value(other.value.exchange(kNone, std::memory_order_relaxed)) {}
    LastFound& operator=(const LastFound& other) {
      value.store(other.value.load(std::memory_order_relaxed), std::memory_order_relaxed);
      return *this;
    }
    LastFound& operator=(LastFound&& other) noexcept {
      value.store(other.value.exchange(kNone, std::memory_order_relaxed), std::memory_order_relaxed);
      return *this;
    }
  };

  auto SectionNameAt() const {
    return [this](size_t i) -> const std::string& { return sections_[i].name_; };
  }
  size_t FindSectionIndex(std::string_view name) const;
  size_t AppendSection(std::string_view name);
  static void AppendSectionText(const Section& section, std::string& out);

  std::vector<Section> sections_;
  qx::NameIndex sectionIndex_;  // name -> first section with that name
  // Section found last; always the first section of its name.
  mutable LastFound lastFound_;
};
