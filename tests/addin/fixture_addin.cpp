// Plug-ins for the tests, one library per behaviour, chosen at compile time:
//   FIXTURE_COUNT    what GetMethodCount reports (no GetMethodCount when -1)
//   FIXTURE_NAMES    0: no GetMethodName
//   FIXTURE_FAIL_AT  the position whose name lookup fails (-1: none)
//   FIXTURE_MISSING  the position whose name has no export (-1: none)
//   FIXTURE_SAME     1: every position names CmdA
// The commands CmdA, CmdB, CmdC record their calls for the test to read.
#include <cstdio>
#include <cstring>

#include "addin/quavix_addin.h"

namespace {
int calls = 0;
const char* lastCommand = "";
CScore* lastScore = nullptr;
void Record(const char* name, CScore* score) {
  ++calls;
  lastCommand = name;
  lastScore = score;
}
}  // namespace

QUAVIX_ADDIN_EXPORT void CmdA(CScore* score) { Record("CmdA", score); }
QUAVIX_ADDIN_EXPORT void CmdB(CScore* score) { Record("CmdB", score); }
QUAVIX_ADDIN_EXPORT void CmdC(CScore* score) { Record("CmdC", score); }
QUAVIX_ADDIN_EXPORT int FixtureCalls(void) { return calls; }
QUAVIX_ADDIN_EXPORT const char* FixtureLastCommand(void) { return lastCommand; }
QUAVIX_ADDIN_EXPORT CScore* FixtureLastScore(void) { return lastScore; }

#if FIXTURE_COUNT >= 0
QUAVIX_ADDIN_EXPORT int GetMethodCount(void) { return FIXTURE_COUNT; }
#endif

#if FIXTURE_NAMES
QUAVIX_ADDIN_EXPORT int GetMethodName(int index, char* buffer, int size) {
  if (index == FIXTURE_FAIL_AT) return -1;
  const char* name = index == FIXTURE_MISSING ? "NotExported"
                     : FIXTURE_SAME           ? "CmdA"
                     : index == 0             ? "CmdA"
                     : index == 1             ? "CmdB"
                                              : "CmdC";
  std::snprintf(buffer, static_cast<size_t>(size), "%s", name);
  return 0;
}
#endif
