#include "tools/cli/import_command.h"

#include <cstdio>
#include <cstdlib>

#include "common/paths.h"
#include "editing/recorder.h"
#include "model/score.h"
#include "performance/midi_file.h"
#include "performance/midi_sequence.h"

namespace {

int ImportFail(const std::string& reason) {
  std::fprintf(stderr, "quavix-cli: %s\n", reason.c_str());
  return 1;
}

bool ParseInt(const std::string& text, int lo, int hi, int& out) {
  if (text.empty()) return false;
  char* end = nullptr;
  const long v = std::strtol(text.c_str(), &end, 10);
  if (*end || v < lo || v > hi) return false;
  out = static_cast<int>(v);
  return true;
}

}  // namespace

int CmdConvertFromMidi(const std::string& in, const std::string& out, const std::vector<std::string>& options) {
  MidiImportSettings settings;
  for (size_t i = 0; i < options.size(); ++i) {
    const std::string& o = options[i];
    auto value = [&](int lo, int hi, int& target) {
      return i + 1 < options.size() && ParseInt(options[++i], lo, hi, target);
    };
    bool ok = true;
    if (o == "--quantise" || o == "--quantize") {
      ok = value(3, 6, settings.Quantise);
      settings.AutoGrid = false;
    }
    else if (o == "--measures-per-line") {
      ok = value(1, 32, settings.MeasuresPerLine);
      settings.AutoLines = false;
    }
    else if (o == "--voices") ok = value(1, kRecorderVoices, settings.Voices);
    else if (o == "--by-channel") {
      settings.ByChannel = true;
      settings.AutoStaves = false;
    } else if (o == "--split-key") {
      ok = value(0, 127, settings.SplitKey);
      settings.ByChannel = false;
      settings.AutoStaves = false;
    } else {
      return ImportFail("unknown option " + o);
    }
    if (!ok) return ImportFail("bad value for " + o);
  }
  const std::string outExt = qx::FileExtensionLower(out);
  if (outExt != ".q5s" && outExt != ".stv") return ImportFail("cannot write " + out + ": a MIDI file converts to .q5s or .stv");

  CMidiSequence sequence;
  std::string problem;
  const int read = ReadMidiFile(sequence, in, &problem);
  if (read == -1) return ImportFail(problem);
  if (read != 1) return ImportFail(in + ": " + problem);
  if (!problem.empty()) std::fprintf(stderr, "quavix-cli: %s: %s; importing what was read\n", in.c_str(), problem.c_str());

  CScore score;
  PrepareImportScore(score);
  CRecorder recorder(score);
  ApplyImportSettings(recorder, settings);
  if (ImportSequence(recorder, sequence) != 1) {
    std::string why = score.LastError;
    if (why.rfind("-1:", 0) == 0) why.erase(0, 3);
    return ImportFail("cannot import " + in + ": " + why);
  }
  if (recorder.DrumNotes > 0)
    std::fprintf(stderr, "quavix-cli: %s: %d drum notes (channel 10) left out\n", in.c_str(), recorder.DrumNotes);
  if (recorder.LeftOut > 0)
    std::fprintf(stderr, "quavix-cli: %s: %d notes past measure %d left out\n", in.c_str(), recorder.LeftOut,
                 kRecorderMaxMeasures);
  score.AfterLoad();  // the saved score carries the derived data
  std::string error;
  if (!score.SaveToFile(out, &error)) return ImportFail("cannot write " + out + ": " + error);
  return 0;
}
