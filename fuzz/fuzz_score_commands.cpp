// The editor's score commands on arbitrary scores: eight leading bytes pick
// a selection and up to four commands with their arguments, the rest is a
// score stream. No command may crash, break a sound score's structure or
// leave a score that does not store and reload.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstdio>
#include <vector>

#include "editing/command_table.h"
#include "fuzz/fuzz_structure.h"
#include "model/score.h"
#include "model/score_open.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  constexpr size_t kHead = 8;
  if (size < kHead) return 0;
  CScore score;
  // Opened with the clamps the program applies to every file it opens.
  if (!OpenScoreBytes(score, data + kHead, size - kHead)) return 0;
  // Every n-th object selected, from the first byte.
  const size_t every = data[0] % 4 + 1;
  size_t i = 0;
  for (const auto& up : score.Objects()) up->Selected = (i++ % every) == 0;
  score.RecountSelection();
  const bool sound = Sound(score);

  const std::vector<ScoreCommand>& table = ScoreCommands();
  for (size_t k = 0; k < 4; ++k) {
    const uint8_t pick = data[1 + k];
    if (pick == 0xFF) break;
    const ScoreCommand& command = table[pick % table.size()];
    CommandArgs args;
    args.Number = static_cast<int8_t>(data[5]);
    args.X = data[6] * 4;
    args.Y = data[7] * 4;
    RunScoreCommand(score, command, args, nullptr);
    if (const char* wrong = sound ? Unsound(score) : nullptr) {
      std::fprintf(stderr, "after %s: %s\n", command.Name, wrong);
      std::abort();
    }
  }
  CScore copy;
  if (!copy.RestoreFromBytes(score.SnapshotToBytes())) std::abort();
  return 0;
}
