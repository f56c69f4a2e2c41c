// quavix-cli: the editor's score commands run on a file.
#pragma once

#include <string>
#include <vector>

// edit IN.q5s OUT.q5s COMMAND[=ARG] ...: opens the score, runs each command
// (by name or menu id; ARG a number, or X,Y for the caret) with the steps the
// editor runs after it, prints one line per command and saves the result.
// Unknown commands or missing arguments stop before anything runs.
int CmdEdit(const std::vector<std::string>& args);
// commands: the table, one command a line (id, name, argument, menu text).
int CmdListCommands();
