// Where the program's own files, settings and scratch files live, and the
// path arithmetic for names stored in documents.
#pragma once

#include <string>
#include <string_view>

namespace qx {

// Folder of the running executable, with a trailing '/'. Read once from
// /proc/self/exe (the working directory when that is unavailable).
const std::string& ProgramDirectory();
// Overrides ProgramDirectory(); a trailing '/' is added when missing and an
// empty string restores the real folder. Call only while no other thread
// uses ProgramDirectory().
void SetProgramDirectoryForTesting(std::string dir);

// Lexically normalises a '/'-separated path: drops "." parts and repeated
// slashes and folds "x/.." pairs. Leading ".." of a relative path are kept;
// ".." at the root is dropped. A trailing '/' is kept.
std::string NormalizePath(std::string_view path);

// True for names stored as absolute: a leading '/' or any ':' (drive-letter
// names written by older files keep the meaning they had there).
bool IsAbsoluteName(std::string_view name);

// A file name relative to the program folder; '\' is read as '/'. Absolute
// names (see IsAbsoluteName) are only normalised.
std::string ProgramPath(std::string_view name);

// A name relative to the folder that holds `baseFile` (e.g. an image source
// stored in a score file), with the same rules as ProgramPath.
std::string ResolveRelativeTo(std::string_view baseFile, std::string_view name);

// Folder for scratch and log files, with a trailing '/': the program folder
// when writable, else $XDG_RUNTIME_DIR/quavix, else /tmp/quavix-$UID
// (created 0700 and checked to be a private folder of this user).
std::string WritableFileDirectory();
// Folder for settings, with a trailing '/': the program folder when writable,
// else $XDG_CONFIG_HOME/quavix (default ~/.config/quavix), created on demand.
std::string SettingsDirectory();
// WritableFileDirectory() + name.
std::string TempFilePath(std::string_view name);

// Extension including the dot, ASCII letters lowered (".q5s"); empty when the
// last '.' is not inside the last path component. Both '/' and '\' separate
// components.
std::string FileExtensionLower(std::string_view path);
// Replaces the extension (or appends one when there is none). `ext` may be
// given with or without the dot; an empty `ext` removes the extension.
std::string ReplaceExtension(std::string_view path, std::string_view ext);

}  // namespace qx
