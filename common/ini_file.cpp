#include "common/ini_file.h"

#include <algorithm>
#include <cstring>
#include <new>

#include "common/file_util.h"
#include "common/text_util.h"

namespace {

// Equality that rejects on length and last byte (where numbered names
// differ) before comparing the rest; used on the hot lookup paths.
inline bool SameName(const std::string& a, std::string_view b) {
  return a.size() == b.size() && (b.empty() || (a.back() == b.back() && std::memcmp(a.data(), b.data(), b.size()) == 0));
}

// "\\" -> '\', "\r" -> CR, "\n" -> LF; any other backslash stays as it is.
std::string Unescape(std::string_view text) {
  if (text.find('\\') == std::string_view::npos) return std::string(text);
  std::string out;
  out.reserve(text.size());
  for (size_t i = 0; i < text.size(); ++i) {
    const char c = text[i];
    if (c == '\\' && i + 1 < text.size()) {
      const char next = text[i + 1];
      if (next == '\\' || next == 'r' || next == 'n') {
        out += next == '\\' ? '\\' : next == 'r' ? '\r' : '\n';
        ++i;
        continue;
      }
    }
    out += c;
  }
  return out;
}


// Names cannot be escaped in this format; a line break in one would split
// the line and plant text of the caller's choosing as entries or headers.
void AppendName(std::string_view name, std::string& out) {
  if (name.find_first_of("\r\n") == std::string_view::npos) {
    out.append(name);
    return;
  }
  for (char c : name) out += (c == '\r' || c == '\n') ? ' ' : c;
}

}  // namespace

void IniFile::AppendEscaped(std::string_view value, std::string& out) {
  size_t start = 0;
  for (;;) {
    const size_t special = value.find_first_of("\\\r\n", start);
    if (special == std::string_view::npos) break;
    out.append(value.substr(start, special - start));
    const char c = value[special];
    out += '\\';
    out += c == '\\' ? '\\' : c == '\r' ? 'r' : 'n';
    start = special + 1;
  }
  out.append(value.substr(start));
}

// ---- Section ---------------------------------------------------------------

size_t IniFile::Section::FindPos(std::string_view key) const {
  if (index_.Size() != 0) {
    return index_.Find(key, qx::NameIndex::Hash(key),
                       [this](size_t i) -> const std::string& { return entries_[i].first; });
  }
  for (size_t i = 0; i < entries_.size(); ++i) {
    if (SameName(entries_[i].first, key)) return i;
  }
  return kNone;
}

const std::string* IniFile::Section::Find(std::string_view key) const {
  const size_t pos = FindPos(key);
  return pos == kNone ? nullptr : &entries_[pos].second;
}

void IniFile::Section::Append(std::string key, std::string value) {
  entries_.emplace_back(std::move(key), std::move(value));
  if (entries_.size() <= kIndexThreshold) return;
  auto keyAt = [this](size_t i) -> const std::string& { return entries_[i].first; };
  // Index every entry once the section gets large, then each new one.
  for (size_t i = index_.Size() == 0 ? 0 : entries_.size() - 1; i < entries_.size(); ++i) {
    const std::string& name = entries_[i].first;
    const uint32_t hash = qx::NameIndex::Hash(name);
    if (index_.Find(name, hash, keyAt) == kNone) index_.Insert(hash, i);
  }
}

// ---- IniFile ---------------------------------------------------------------

void IniFile::Clear() {
  sections_.clear();
  sectionIndex_.Clear();
  lastFound_.value.store(kNone, std::memory_order_relaxed);
}

size_t IniFile::FindSectionIndex(std::string_view name) const {
  const size_t last = lastFound_.value.load(std::memory_order_relaxed);
  if (last < sections_.size() && SameName(sections_[last].name_, name)) return last;
  const size_t found = sectionIndex_.Find(name, qx::NameIndex::Hash(name), SectionNameAt());
  if (found != kNone) lastFound_.value.store(found, std::memory_order_relaxed);
  return found;
}

size_t IniFile::AppendSection(std::string_view name) {
  // Exports repeat one layout per section: start with room for as many
  // entries as the previous section had, sparing the growth copies.
  const size_t hint = sections_.empty() ? 0 : std::min<size_t>(sections_.back().entries_.size(), 64);
  sections_.emplace_back(std::string(name));
  sections_.back().entries_.reserve(hint);
  const size_t index = sections_.size() - 1;
  // A repeated name keeps pointing at its first section.
  const uint32_t hash = qx::NameIndex::Hash(name);
  if (sectionIndex_.Find(name, hash, SectionNameAt()) == kNone) sectionIndex_.Insert(hash, index);
  return index;
}

const IniFile::Section* IniFile::FindSection(std::string_view name) const {
  const size_t index = FindSectionIndex(name);
  return index == kNone ? nullptr : &sections_[index];
}

int IniFile::Load(const std::string& path) {
  std::string text;
  if (!qx::ReadWholeFile(path, text)) return 0;
  try {
    IniFile fresh;
    fresh.LoadFromText(text);
    *this = std::move(fresh);
  } catch (const std::bad_alloc&) {
    return 0;  // out of memory: the contents stay as they were
  }
  return 1;
}

int IniFile::LoadFromText(std::string_view text) {
  Clear();
  size_t current = kNone;
  std::string stripped;  // a line with carriage returns inside
  size_t pos = 0;
  while (pos < text.size()) {
    const char* begin = text.data() + pos;
    const void* newline = std::memchr(begin, '\n', text.size() - pos);
    const size_t end = newline ? static_cast<size_t>(static_cast<const char*>(newline) - text.data()) : text.size();
    std::string_view line = text.substr(pos, end - pos);
    pos = end + 1;

    if (line.find('\r') != std::string_view::npos) {
      stripped.clear();
      for (char c : line) {
        if (c != '\r') stripped += c;
      }
      line = stripped;
    }
    const size_t first = line.find_first_not_of(" \t");
    if (first == std::string_view::npos) continue;
    line.remove_prefix(first);

    if (line.front() == '[') {
      const size_t close = line.find(']');
      if (close == std::string_view::npos) continue;  // not a header; ignored
      std::string_view name = line.substr(0, close);
      name.remove_prefix(std::min(name.find_first_not_of('['), name.size()));
      current = AppendSection(name);
      continue;
    }
    if (current == kNone) continue;  // entries need a section
    const size_t equals = line.find('=');
    if (equals == std::string_view::npos) continue;
    sections_[current].Append(std::string(line.substr(0, equals)), Unescape(line.substr(equals + 1)));
  }
  return 1;
}

void IniFile::AppendSectionText(const Section& section, std::string& out) {
  out += "\r\n[";
  AppendName(section.name_, out);
  out += "]\r\n";
  for (const Entry& entry : section.entries_) {
    AppendName(entry.first, out);
    out += '=';
    AppendEscaped(entry.second, out);
    out += "\r\n";
  }
}

std::string IniFile::SaveToText() const {
  std::string out;
  for (const Section& section : sections_) AppendSectionText(section, out);
  return out;
}

int IniFile::Save(const std::string& path, std::string* error) const {
  qx::AtomicFileWriter writer;
  auto fail = [&] {
    if (error) *error = writer.Error();
    return 0;
  };
  if (!writer.Open(path)) return fail();
  // Written in chunks so a large export is never held twice in memory.
  constexpr size_t kChunk = 1 << 20;
  std::string buffer;
  buffer.reserve(kChunk + 4096);
  for (const Section& section : sections_) {
    AppendSectionText(section, buffer);
    if (buffer.size() >= kChunk) {
      if (!writer.Write(buffer)) return fail();
      buffer.clear();
    }
  }
  if (!writer.Write(buffer) || !writer.Commit()) return fail();
  return 1;
}

const std::string* IniFile::GetValue(std::string_view section, std::string_view key) const {
  const size_t index = FindSectionIndex(section);
  return index == kNone ? nullptr : sections_[index].Find(key);
}

bool IniFile::GetString(std::string_view section, std::string_view key, std::string& out) const {
  const std::string* value = GetValue(section, key);
  if (!value) return false;
  out = *value;
  return true;
}

int IniFile::GetInt(std::string_view section, std::string_view key, int def) const {
  const std::string* value = GetValue(section, key);
  return value ? qx::AtoiLike(*value) : def;
}

void IniFile::SetValue(std::string_view section, std::string_view key, std::string_view value) {
  size_t index = FindSectionIndex(section);
  if (index == kNone) {
    index = AppendSection(section);
    lastFound_.value.store(index, std::memory_order_relaxed);
  }
  Section& target = sections_[index];
  const size_t pos = target.FindPos(key);
  if (pos != kNone) {
    target.entries_[pos].second.assign(value);
  } else {
    target.Append(std::string(key), std::string(value));
  }
}

void IniFile::SetInt(std::string_view section, std::string_view key, int value) {
  SetValue(section, key, std::to_string(value));
}
