// Rewriting an existing file in place, for a file that may be written in a
// folder that may not (no temporary file can be made beside it to rename).
// The room for the new content is reserved before the first byte changes,
// and the old content is kept in memory and written back when the new one
// cannot be written whole.
#pragma once

#include <string>
#include <string_view>

#include "platform/atomic_file.h"

// The target is left with text, or as it was. On failure the status says
// what became of the file (Reason() adds it to the system's text).
FileStatus RewriteInPlace(const std::string& target, std::string_view text);
// The same with the content of the file at source.
FileStatus RewriteInPlaceFrom(const std::string& target, const std::string& source);
