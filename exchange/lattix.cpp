// The exported entry points of libLattix.so.
#include "exchange/lattix.h"

#include <exception>
#include <string>

#include "common/ini_file.h"
#include "exchange/score_text.h"
#include "model/score.h"

namespace {

// No exception may cross the C boundary; running out of memory is the only
// failure the conversions can meet.
template <typename F>
int Guarded(F&& f) {
  try {
    return f();
  } catch (const std::exception&) {
    return 0;
  } catch (...) {
    return 0;
  }
}

}  // namespace

extern "C" {

int getScoreVersion() { return static_cast<int>(kScoreVersion); }

int scoreExportXML(CScore* score, IniFile* doc) {
  if (!score || !doc) return 0;
  return Guarded([&] {
    WriteScoreText(*score, *doc);
    return 1;
  });
}

int scoreImportXML(CScore* score, IniFile* doc) {
  if (!score || !doc) return 0;
  return Guarded([&] {
    ReadScoreText(*doc, *score);
    return 1;
  });
}

// Writing an empty document over the text file when the score cannot be
// read would destroy whatever the text file held; it is left alone instead.
int scoreExportXMLFile(const char* scorePath, const char* textPath) {
  if (!scorePath || !textPath) return 0;
  Guarded([&] {
    CScore score;
    if (!score.LoadFromFile(scorePath)) return 0;
    IniFile doc;
    WriteScoreText(score, doc);
    return doc.Save(textPath);
  });
  return 1;
}

// Likewise an unreadable text file leaves the score file as it was.
int scoreImportXMLFile(const char* scorePath, const char* textPath) {
  if (!scorePath || !textPath) return 0;
  Guarded([&] {
    IniFile doc;
    if (!doc.Load(textPath)) return 0;
    CScore score;
    ReadScoreText(doc, score);
    return score.SaveToFile(scorePath) ? 1 : 0;
  });
  return 1;
}

}  // extern "C"
