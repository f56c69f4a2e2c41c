// The editor's score commands as one table: the menu command id, a name for
// scripts, the operation and what must follow it (recalculation, journal
// snapshot, redrawing). The view runs a command through RunScoreCommand and
// redraws as the result says; quavix-cli runs the same table on files.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

class CScore;
class CommandJournal;

// What a command needs besides the selection.
enum class CommandInput : uint8_t {
  None,
  Number,  // a number the editor prompts for (layer, voice, channel, tuplet, duration ...)
  Caret,   // the caret's point in score coordinates
};

// What follows a command.
enum CommandAfter : uint16_t {
  kAfterRecalc = 1 << 0,       // the recalculation pass
  kAfterFullUpdate = 1 << 1,   // the full update (layout and recalculation)
  kAfterSnapshot = 1 << 2,     // a journal snapshot
  kAfterRedraw = 1 << 3,       // redraw this view
  kAfterRedrawAll = 1 << 4,    // redraw every view of the document
  kAfterScrollSizes = 1 << 5,  // the view's scroll sizes change
  kAfterIfDone = 1 << 6,       // all of the above only when the command changed the score
};

struct CommandArgs {
  int Number = 0;
  int X = 0, Y = 0;  // the caret
};

struct ScoreCommand {
  int Id;             // the menu command id; 0 for commands only scripts reach
  const char* Name;   // lower-case words joined by '-'
  const char* Menu;   // the menu text, empty when the command is on no menu
  CommandInput Input;
  uint16_t After;     // CommandAfter bits
  int (*Run)(CScore& score, const CommandArgs& args);
};

// Every score command, by id order of the menus.
const std::vector<ScoreCommand>& ScoreCommands();
// By id or by name (names without case); null when there is none.
const ScoreCommand* FindScoreCommand(int id);
const ScoreCommand* FindScoreCommand(std::string_view name);

struct CommandOutcome {
  int Result = 0;         // the operation's result; non-zero when it changed the score
  bool Done = false;      // whether the following steps ran
  uint16_t Redraw = 0;    // the kAfterRedraw / kAfterRedrawAll / kAfterScrollSizes bits that apply
};

// Runs the command on the score, then the recalculation and the journal
// snapshot it asks for (the snapshot only with a journal). A command that
// asks for its steps only when done skips them when it changed nothing.
CommandOutcome RunScoreCommand(CScore& score, const ScoreCommand& command, const CommandArgs& args,
                               CommandJournal* journal);

// Deselects every object; 1 when anything was selected.
int ClearSelection(CScore& score);
