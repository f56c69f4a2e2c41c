#include "tools/cli/edit_command.h"

#include <cstdio>
#include <cstdlib>
#include <optional>

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

struct Step {
  const ScoreCommand* Command;
  CommandArgs Args;
};

}  // namespace

int CmdEdit(const std::vector<std::string>& args) {
  if (args.size() < 3) return Fail("edit needs an input file, an output file and at least one command");
  std::vector<Step> steps;
  for (size_t i = 2; i < args.size(); ++i) {
    const std::string& word = args[i];
    const size_t eq = word.find('=');
    const std::string name = word.substr(0, eq);
    const std::string arg = eq == std::string::npos ? "" : word.substr(eq + 1);
    const std::optional<int> id = ParseInt(name);
    const ScoreCommand* c = id ? FindScoreCommand(*id) : FindScoreCommand(name);
    if (!c) return Fail("unknown command '" + name + "' (see quavix-cli commands)");
    Step step{c, {}};
    if (c->Input == CommandInput::Number) {
      const std::optional<int> n = ParseInt(arg);
      if (!n) return Fail(std::string(c->Name) + " needs a number: " + c->Name + "=N");
      step.Args.Number = *n;
    } else if (c->Input == CommandInput::Caret) {
      const size_t comma = arg.find(',');
      const std::optional<int> x = ParseInt(arg.substr(0, comma));
      const std::optional<int> y = comma == std::string::npos ? std::nullopt : ParseInt(arg.substr(comma + 1));
      if (!x || !y) return Fail(std::string(c->Name) + " needs the caret: " + c->Name + "=X,Y");
      step.Args.X = *x;
      step.Args.Y = *y;
    } else if (!arg.empty()) {
      return Fail(std::string(c->Name) + " takes no argument");
    }
    steps.push_back(step);
  }
  CScore score;
  std::string error;
  if (!OpenScoreFile(score, args[0], &error)) return Fail(error);
  for (const Step& s : steps) {
    score.LastError.clear();
    const CommandOutcome out = RunScoreCommand(score, *s.Command, s.Args, nullptr);
    std::string said = out.Result ? "done" : "no change";
    if (!out.Result && score.LastError.rfind("-1:", 0) == 0) said = score.LastError.substr(3);
    std::printf("%s: %s\n", s.Command->Name, said.c_str());
  }
  if (!score.SaveToFile(args[1], &error)) return Fail("cannot write " + args[1] + ": " + error);
  return 0;
}

int CmdListCommands() {
  for (const ScoreCommand& c : ScoreCommands()) {
    const char* input = c.Input == CommandInput::Number ? "=N" : c.Input == CommandInput::Caret ? "=X,Y" : "";
    std::printf("%5d  %-24s %s\n", c.Id, (std::string(c.Name) + input).c_str(), c.Menu);
  }
  return 0;
}
