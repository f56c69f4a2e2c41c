// quavix-cli: the editor's score commands run on a file.
#pragma once

#include <string>
#include <vector>

// edit IN.q5s OUT.q5s COMMAND[=ARG] ...: opens the score, runs each command
// (by name or menu id; ARG a number, or X,Y for the caret) with the steps the
// editor runs after it, prints one line per command and saves the result.
// Unknown commands or missing arguments stop before anything runs.
int CmdEdit(const std::vector<std::string>& args);
// copy IN.q5s OUT.clip COMMAND[=ARG] ...: runs the (selection) commands,
// then writes the clipboard payload of the selection to OUT.clip.
int CmdCopy(const std::vector<std::string>& args);
// paste IN.q5s CLIP OUT.q5s --systems|--notes|--objects [--at X,Y]: pastes a
// payload as the editor's selection filters do and saves the result.
int CmdPaste(const std::vector<std::string>& args);
// commands: the table, one command a line (id, name, argument, menu text).
int CmdListCommands();
