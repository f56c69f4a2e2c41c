// quavix-cli: batch conversions and score information for scripts and tests.
#include <cstdio>
#include <cstring>
#include <new>
#include <string>
#include <vector>

#include "common/file_util.h"
#include "common/gbk.h"
#include "common/ini_file.h"
#include "common/paths.h"
#include "exchange/musicxml/musicxml_export.h"
#include "exchange/musicxml/musicxml_import.h"
#include "editing/insert.h"
#include "exchange/lattix.h"
#include "exchange/score_text.h"
#include "model/score.h"
#include "model/score_open.h"
#include "tools/cli/edit_command.h"
#include "tools/cli/import_command.h"
#include "tools/cli/midi_commands.h"
#include "tools/cli/wav_command.h"
#include "tools/scoregen/scoregen.h"
#ifdef QUAVIX_CLI_IMAGES
#include "tools/cli/image_commands.h"
#endif

namespace {

const char kUsage[] =
    "usage: quavix-cli COMMAND ...\n"
    "  info FILE.q5s              print the score statistics\n"
    "  convert IN.q5s OUT.q5s     open a score as the editor does and save it\n"
    "  convert IN.q5s OUT.q5t     ... and write it as score text\n"
    "  convert IN.q5t OUT.q5s [--partial]\n"
    "                             read a score text and save it as a score; a text cut short or\n"
    "                             missing objects is refused unless --partial\n"
    "  convert IN.q5s OUT.mid     the MIDI export: the performance as a Standard MIDI File\n"
    "  convert IN.q5s OUT.musicxml  MusicXML for other notation programs (.xml, or .mxl compressed)\n"
    "  convert IN.musicxml OUT.q5s  read MusicXML (.xml, .mxl; partwise or timewise), notated as\n"
    "                             the MIDI import does; what it cannot keep is counted\n"
    "  convert IN.q5s OUT.wav     the performance played by the software synthesizer\n"
    "  convert IN.q5s OUT.bmp|png draw the whole score as the bitmap export does\n"
    "  convert IN.q5s OUT.pdf     the printed pages as a vector PDF, fonts embedded\n"
    "  convert IN.mid OUT.q5s [--quantise 3-6] [--measures-per-line N] [--voices N]\n"
    "                 [--by-channel | --split-key KEY]\n"
    "                             the MIDI import: by default each beat's grid (straight or\n"
    "                             triplet, down to thirty-seconds) follows the file's onsets, or\n"
    "                             --quantise forces a quarter (3), sixteenth (4), thirty-second (5)\n"
    "                             or sixty-fourth (6) grid; systems hold the measures that fit, or\n"
    "                             N measures (--measures-per-line); up to N voices (16); a one-channel\n"
    "                             part is split between the staves by range, several channels go\n"
    "                             even ones up and odd ones down, or --split-key puts keys below KEY\n"
    "                             on the lower stave; drum notes (channel 10) are left out\n"
    "  info FILE.mid              division, tempo, time signature, events and notes of a MIDI file\n"
    "  generate OUT.q5s [--systems N] [--staves N] [--measures N] [--notes N] [--seed N]\n"
    "                             write a generated score (measures and notes per system/staff)\n"
    "  generate OUT.q5s --reference  the reference page of every symbol, for looking at the drawing\n"
    "  generate OUT.q5s --keys       key signatures and note durations on every clef\n"
    "  new OUT.q5s                write a new document (one piano system, as the editor starts it)\n"
    "  edit IN.q5s OUT.q5s COMMAND[=N | =X,Y] ...\n"
    "                             run the editor's score commands (by name or menu id) on the\n"
    "                             selection, with the recalculation the editor runs after each,\n"
    "                             and save the result (e.g. select-all beam-by-beat snap-notes)\n"
    "  commands                   list the score commands: id, name and argument, menu text\n"
    "  copy IN.q5s OUT.clip COMMAND ...\n"
    "                             run selection commands, then write the clipboard data of the selection\n"
    "  paste IN.q5s CLIP OUT.q5s --systems|--notes|--objects [--at X,Y]\n"
    "                             paste clipboard data as systems or notes at the point, or as other\n"
    "                             objects beside where they were copied, and save the result\n"
    "  --help                     show this text\n";

int Fail(const std::string& reason) {
  std::fprintf(stderr, "quavix-cli: %s\n", reason.c_str());
  return 1;
}

bool IsScoreExtension(const std::string& ext) { return ext == ".q5s" || ext == ".stv"; }

int CmdInfo(const std::vector<std::string>& args) {
  if (args.size() != 1) return Fail("info needs exactly one file");
  const std::string ext = qx::FileExtensionLower(args[0]);
  if (ext == ".mid" || ext == ".midi") return CmdMidiInfo(args[0]);
  CScore score;
  std::string error;
  if (!OpenScoreFile(score, args[0], &error)) return Fail(error);
  ScoreStatistics st = ComputeStatistics(score);
  std::printf("文 件 名: %s\n", args[0].c_str());
  std::printf("总谱行数: %d\n", st.Systems);
  std::printf("小 节 数: %d\n", st.Measures);
  std::printf("音 符 数: %d\n", st.Notes);
  std::printf("对象总数: %d\n", st.Objects);
  std::printf("解 析 度: %d\n", st.Resolution);
  std::printf("谱面时间: %lld\n", static_cast<long long>(st.PlayLength));
  return 0;
}

bool IsTextExtension(const std::string& ext) { return ext == ".q5t"; }

// Score text -> score, through libLattix.so as the editor's text import.
// A text that shows objects are missing is refused unless `partial`, which
// imports it with a warning naming what is missing; settings a score cannot
// hold are always refused.
int ConvertTextToScore(const std::string& in, const std::string& out, bool partial) {
  std::string text, error;
  if (!qx::ReadWholeFile(in, text, &error)) return Fail(error);
  IniFile doc;
  doc.LoadFromText(text);
  if (!doc.FindSection("Score")) return Fail(in + " is not a score text (no [Score] section)");
  const ScoreTextCheck check = CheckScoreText(doc, text);
  if (!check.Invalid.empty()) return Fail(in + ": the score cannot hold " + check.Invalid.front());
  for (const std::string& missing : check.Missing) {
    if (!partial) return Fail(in + ": incomplete score text: " + missing + " (--partial imports what is there)");
    std::fprintf(stderr, "quavix-cli: warning: %s: %s; importing what is there\n", in.c_str(), missing.c_str());
  }
  for (const std::string& doubt : check.Warnings) std::fprintf(stderr, "quavix-cli: warning: %s: %s\n", in.c_str(), doubt.c_str());
  CScore score;
  if (scoreImportXML(&score, &doc) != 1) return Fail("cannot import " + in + ": out of memory");
  score.ClampGeometry();
  score.RelinkObjects();
  score.AfterLoad();  // the saved score carries the derived data
  if (!score.SaveToFile(out, &error)) return Fail("cannot write " + out + ": " + error);
  return 0;
}

// Score -> score text, through libLattix.so as the editor's text export.
int ConvertScoreToText(const std::string& in, const std::string& out) {
  CScore score;
  std::string error;
  if (!OpenScoreFile(score, in, &error)) return Fail(error);
  IniFile doc;
  if (scoreExportXML(&score, &doc) != 1) return Fail("cannot export " + in + ": out of memory");
  if (!doc.Save(out, &error)) return Fail("cannot write " + out + ": " + error);
  return 0;
}

// MusicXML -> score, placed as the file writes it.
int ConvertMusicXmlToScore(const std::string& in, const std::string& out) {
  CScore score;
  MusicXmlImportReport report;
  std::string error;
  if (!ImportMusicXmlFile(in, score, report, &error)) return Fail("cannot import " + in + ": " + error);
  if (!report.Ignored.empty()) std::fprintf(stderr, "quavix-cli: %s: %s\n", in.c_str(), report.IgnoredText().c_str());
  if (!score.SaveToFile(out, &error)) return Fail("cannot write " + out + ": " + error);
  return 0;
}

// Score -> MusicXML (".mxl" compressed).
int ConvertScoreToMusicXml(const std::string& in, const std::string& out) {
  CScore score;
  std::string error;
  if (!OpenScoreFile(score, in, &error)) return Fail(error);
  if (!SaveMusicXml(score, out, &error)) return Fail("cannot write " + out + ": " + error);
  return 0;
}

int CmdConvert(const std::vector<std::string>& args) {
  // Files and options in any order; an option takes the word after it as its
  // value unless it is a switch.
  std::vector<std::string> files, options;
  for (size_t i = 0; i < args.size(); ++i) {
    if (args[i].size() > 2 && args[i].compare(0, 2, "--") == 0) {
      options.push_back(args[i]);
      if (args[i] != "--by-channel" && args[i] != "--partial" && i + 1 < args.size()) options.push_back(args[++i]);
    } else {
      files.push_back(args[i]);
    }
  }
  if (files.size() != 2) return Fail("convert needs an input and an output file");
  const std::string& in = files[0];
  const std::string& out = files[1];
  std::string inExt = qx::FileExtensionLower(in), outExt = qx::FileExtensionLower(out);
  if (inExt == ".mid" || inExt == ".midi") return CmdConvertFromMidi(in, out, options);
  if (inExt == ".musicxml" || inExt == ".xml" || inExt == ".mxl") {
    if (!IsScoreExtension(outExt)) return Fail("cannot write " + out + ": MusicXML converts to .q5s or .stv");
    return ConvertMusicXmlToScore(in, out);
  }
  if (IsTextExtension(inExt)) {
    const bool partial = options.size() == 1 && options[0] == "--partial";
    if (!options.empty() && !partial) return Fail("unknown option " + options.front() + " (a score text takes --partial)");
    if (!IsScoreExtension(outExt)) return Fail("cannot write " + out + ": a score text converts to .q5s or .stv");
    return ConvertTextToScore(in, out, partial);
  }
  if (!options.empty()) return Fail("unknown option " + options.front() + " (options belong to the MIDI import)");
  if (!IsScoreExtension(inExt)) return Fail("cannot read " + in + ": unknown input type '" + inExt + "'");
  if (IsTextExtension(outExt)) return ConvertScoreToText(in, out);
  if (outExt == ".mid" || outExt == ".midi") return CmdConvertToMidi(in, out);
  if (outExt == ".musicxml" || outExt == ".xml" || outExt == ".mxl") return ConvertScoreToMusicXml(in, out);
  if (outExt == ".wav") return CmdConvertToWav(in, out);
#ifdef QUAVIX_CLI_IMAGES
  if (outExt == ".bmp" || outExt == ".png" || outExt == ".pdf") return CmdConvertToImage(in, out);
#endif
  if (!IsScoreExtension(outExt)) return Fail("cannot write " + out + ": unknown output type '" + outExt + "'");
  CScore score;
  std::string error;
  if (!OpenScoreFile(score, in, &error)) return Fail(error);
  if (!score.SaveToFile(out, &error)) return Fail("cannot write " + out + ": " + error);
  return 0;
}

int CmdGenerate(const std::vector<std::string>& args) {
  WorkloadOptions o;
  std::string out;
  bool reference = false;
  bool keys = false;
  for (size_t i = 0; i < args.size(); ++i) {
    const std::string& a = args[i];
    auto number = [&](int& target, int lo, int hi) {
      if (i + 1 >= args.size()) return false;
      char* end = nullptr;
      long v = std::strtol(args[++i].c_str(), &end, 10);
      if (*end || v < lo || v > hi) return false;
      target = static_cast<int>(v);
      return true;
    };
    int seed = 1;
    bool ok = true;
    (void)seed;
    if (a == "--systems") ok = number(o.Systems, 1, 100000);
    else if (a == "--staves") ok = number(o.StavesPerSystem, 1, 32);
    else if (a == "--measures") ok = number(o.MeasuresPerSystem, 1, 32);
    else if (a == "--notes") ok = number(o.NotesPerStaffMeasure, 1, 64);
    else if (a == "--seed") { ok = number(seed, 0, 1 << 30); o.Seed = static_cast<uint32_t>(seed); }
    else if (a == "--reference") reference = true;
    else if (a == "--keys") keys = true;
    else if (!a.empty() && a[0] == '-') return Fail("unknown option " + a);
    else if (out.empty()) out = a;
    else return Fail("generate takes one output file");
    if (!ok) return Fail("bad value for " + a);
  }
  if (out.empty()) return Fail("generate needs an output file");
  int measures = o.Systems * o.MeasuresPerSystem * o.StavesPerSystem;
  o.DynamicsTexts = measures / 32;
  o.Hairpins = measures / 64;
  CScore score;
  if (keys) GenerateKeySignatureSheet(score);
  else if (reference) GenerateReferenceSheet(score);
  else GenerateWorkload(score, o);
  std::string error;
  if (!score.SaveToFile(out, &error)) return Fail("cannot write " + out + ": " + error);
  return 0;
}

int CmdNew(const std::vector<std::string>& args) {
  if (args.size() != 1) return Fail("new needs exactly one output file");
  if (!IsScoreExtension(qx::FileExtensionLower(args[0])))
    return Fail("cannot write " + args[0] + ": a new document is a .q5s or .stv file");
  CScore score;
  SetUpNewDocument(score);
  std::string error;
  if (!score.SaveToFile(args[0], &error)) return Fail("cannot write " + args[0] + ": " + error);
  return 0;
}

int Run(std::vector<std::string> args);

}  // namespace

int main(int argc, char** argv) {
  // Running out of memory anywhere is a refusal with a reason, not an abort.
  try {
    return Run(std::vector<std::string>(argv + 1, argv + argc));
  } catch (const std::bad_alloc&) {
    return Fail("内存不足 (out of memory)");
  }
}

namespace {

int Run(std::vector<std::string> args) {
  if (args.empty()) {
    std::fputs(kUsage, stderr);
    return 2;
  }
  std::string cmd = args.front();
  args.erase(args.begin());
  if (cmd == "--help" || cmd == "-h" || cmd == "help") {
    std::fputs(kUsage, stdout);
    return 0;
  }
  if (cmd == "info") return CmdInfo(args);
  if (cmd == "convert") return CmdConvert(args);
  if (cmd == "generate") return CmdGenerate(args);
  if (cmd == "new") return CmdNew(args);
  if (cmd == "edit") return CmdEdit(args);
  if (cmd == "commands") return CmdListCommands();
  if (cmd == "copy") return CmdCopy(args);
  if (cmd == "paste") return CmdPaste(args);
  return Fail("unknown command '" + cmd + "' (see --help)");
}

}  // namespace
