// Helpers shared by the score text tests: calling the library's exports and
// reading documents back as plain lists.
#pragma once

#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

#include "common/ini_file.h"
#include "exchange/lattix.h"
#include "model/score.h"

using Pairs = std::vector<std::pair<std::string, std::string>>;

inline IniFile Export(CScore& score) {
  IniFile doc;
  EXPECT_EQ(scoreExportXML(&score, &doc), 1);
  return doc;
}

inline void Import(CScore& score, IniFile& doc) { EXPECT_EQ(scoreImportXML(&score, &doc), 1); }

inline IniFile Parse(const std::string& text) {
  IniFile doc;
  doc.LoadFromText(text);
  return doc;
}

inline std::vector<std::string> SectionNames(const IniFile& doc) {
  std::vector<std::string> names;
  for (const auto& s : doc.Sections()) names.push_back(s.Name());
  return names;
}

// Entries of the first section of that name; empty when there is none.
inline Pairs EntriesOf(const IniFile& doc, const std::string& section) {
  const IniFile::Section* s = doc.FindSection(section);
  return s ? Pairs(s->Entries().begin(), s->Entries().end()) : Pairs();
}

inline Pairs Concat(Pairs a, const Pairs& b) {
  a.insert(a.end(), b.begin(), b.end());
  return a;
}
