#include "tools/cli/edit_command.h"

#include <cstdio>
#include <cstdlib>
#include <optional>

#include "common/file_util.h"
#include "editing/clipboard.h"
#include "editing/command_table.h"
#include "model/score.h"
#include "model/score_open.h"

namespace {

int Fail(const std::string& reason) {
  std::fprintf(stderr, "quavix-cli: %s\n", reason.c_str());
  return 1;
}

std::optional<int> ParseInt(const std::string& text) {
  if (text.empty()) return std::nullopt;
  char* end = nullptr;
  const long v = std::strtol(text.c_str(), &end, 10);
  if (*end || v < -1000000000L || v > 1000000000L) return std::nullopt;
  return static_cast<int>(v);
}

std::optional<std::pair<int, int>> ParsePoint(const std::string& text) {
  const size_t comma = text.find(',');
  if (comma == std::string::npos) return std::nullopt;
  const std::optional<int> x = ParseInt(text.substr(0, comma)), y = ParseInt(text.substr(comma + 1));
  if (!x || !y) return std::nullopt;
  return std::make_pair(*x, *y);
}

struct Step {
  const ScoreCommand* Command;
  CommandArgs Args;
};

// Parses COMMAND[=ARG] words into steps; false (with the message printed)
// when one is unknown or lacks its argument.
bool ParseSteps(const std::vector<std::string>& words, size_t from, std::vector<Step>& steps) {
  for (size_t i = from; i < words.size(); ++i) {
    const std::string& word = words[i];
    const size_t eq = word.find('=');
    const std::string name = word.substr(0, eq);
    const std::string arg = eq == std::string::npos ? "" : word.substr(eq + 1);
    const std::optional<int> id = ParseInt(name);
    const ScoreCommand* c = id ? FindScoreCommand(*id) : FindScoreCommand(name);
    if (!c) {
      Fail("unknown command '" + name + "' (see quavix-cli commands)");
      return false;
    }
    Step step{c, {}};
    if (c->Input == CommandInput::Number) {
      const std::optional<int> n = ParseInt(arg);
      if (!n) {
        Fail(std::string(c->Name) + " needs a number: " + c->Name + "=N");
        return false;
      }
      step.Args.Number = *n;
    } else if (c->Input == CommandInput::Caret) {
      const auto caret = ParsePoint(arg);
      if (!caret) {
        Fail(std::string(c->Name) + " needs the caret: " + c->Name + "=X,Y");
        return false;
      }
      step.Args.X = caret->first;
      step.Args.Y = caret->second;
    } else if (!arg.empty()) {
      Fail(std::string(c->Name) + " takes no argument");
      return false;
    }
    steps.push_back(step);
  }
  return true;
}

void RunSteps(CScore& score, const std::vector<Step>& steps) {
  for (const Step& s : steps) {
    score.LastError.clear();
    const CommandOutcome out = RunScoreCommand(score, *s.Command, s.Args, nullptr);
    std::string said = out.Result ? "done" : "no change";
    if (!out.Result && score.LastError.rfind("-1:", 0) == 0) said = score.LastError.substr(3);
    std::printf("%s: %s\n", s.Command->Name, said.c_str());
  }
}


}  // namespace

int CmdEdit(const std::vector<std::string>& args) {
  if (args.size() < 3) return Fail("edit needs an input file, an output file and at least one command");
  std::vector<Step> steps;
  if (!ParseSteps(args, 2, steps)) return 1;
  CScore score;
  std::string error;
  if (!OpenScoreFile(score, args[0], &error)) return Fail(error);
  RunSteps(score, steps);
  if (!score.SaveToFile(args[1], &error)) return Fail("cannot write " + args[1] + ": " + error);
  return 0;
}

int CmdCopy(const std::vector<std::string>& args) {
  if (args.size() < 2) return Fail("copy needs an input file and an output file");
  std::vector<Step> steps;
  if (!ParseSteps(args, 2, steps)) return 1;
  CScore score;
  std::string error;
  if (!OpenScoreFile(score, args[0], &error)) return Fail(error);
  RunSteps(score, steps);
  const std::vector<uint8_t> payload = WriteClipboard(score);
  if (payload.empty()) return Fail("nothing to copy");
  if (!qx::WriteFileAtomically(args[1], std::string_view(reinterpret_cast<const char*>(payload.data()), payload.size()),
                               &error))
    return Fail("cannot write " + args[1] + ": " + error);
  return 0;
}

int CmdPaste(const std::vector<std::string>& args) {
  if (args.size() < 4) return Fail("paste needs a score, a clipboard file, an output file and a mode");
  enum { None, Systems, Notes, Objects } mode = None;
  std::pair<int, int> at{0, 0};
  for (size_t i = 3; i < args.size(); ++i) {
    if (args[i] == "--systems") mode = Systems;
    else if (args[i] == "--notes") mode = Notes;
    else if (args[i] == "--objects") mode = Objects;
    else if (args[i] == "--at" && i + 1 < args.size()) {
      const auto p = ParsePoint(args[++i]);
      if (!p) return Fail("--at needs X,Y");
      at = *p;
    } else {
      return Fail("unknown option " + args[i]);
    }
  }
  if (mode == None) return Fail("paste needs --systems, --notes or --objects");
  std::vector<uint8_t> payload;
  std::string error;
  if (!qx::ReadWholeFile(args[1], payload, &error)) return Fail("cannot read " + args[1] + ": " + error);
  CScore score;
  if (!OpenScoreFile(score, args[0], &error)) return Fail(error);
  score.LastError.clear();
  const int pasted = mode == Systems ? PasteSystems(score, payload, at.first, at.second)
                     : mode == Notes ? PasteNotes(score, payload, at.first, at.second)
                                     : PasteObjects(score, payload);
  if (score.LastError.rfind("-1:", 0) == 0) return Fail("cannot paste " + args[1] + ": " + score.LastError.substr(3));
  std::printf("pasted: %d\n", pasted);
  if (!score.SaveToFile(args[2], &error)) return Fail("cannot write " + args[2] + ": " + error);
  return 0;
}

int CmdListCommands() {
  for (const ScoreCommand& c : ScoreCommands()) {
    const char* input = c.Input == CommandInput::Number ? "=N" : c.Input == CommandInput::Caret ? "=X,Y" : "";
    std::printf("%5d  %-24s %s\n", c.Id, (std::string(c.Name) + input).c_str(), c.Menu);
  }
  return 0;
}
