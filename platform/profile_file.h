// Initialisation ("profile") files of the classic form
//
//   [Section]
//   key=value
//
// read and written the way the Windows profile functions do it, so that a
// file written by the Windows program reads the same here and back.
//
// The text-level functions are pure: they take the file's bytes and return a
// value or the new bytes. The file-level functions add reading with a size
// cap and an atomic replace of the file.
#pragma once

#include <cstddef>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

// Files beyond this size are not read further (lookups see the first part
// only) and are never rewritten, so that a rewrite cannot cut them short.
inline constexpr std::size_t PROFILE_MAX_FILE_SIZE = 16u * 1024u * 1024u;

// Looks up key in the first section named section. Names are matched without
// regard to ASCII case; blanks around names and values are ignored. Lines may
// end in LF or CRLF. Returns at most nSize - 1 bytes of the value, or of def
// when the section or key is missing (nSize 0 gives an empty text).
std::string ProfileGet(std::string_view fileText, std::string_view section, std::string_view key,
                       std::string_view def, std::size_t nSize);

// Returns fileText with key set to value in the first section named section:
// the first matching key line is replaced by "key=value", a missing key is
// added after the last non-blank line of the section, a missing section is
// appended at the end. New lines take the file's line-end style (that of its
// first line; for a file without one, CRLF on Windows and LF elsewhere). Every other byte is kept.
// Returns nothing when the names or the value cannot be stored so that they
// are found again: an empty name, a line break or NUL anywhere, '=' or a
// leading '[' or ';' in the key, ']' in the section name. Blanks around the
// value are stored as given and, as on reading any profile file, trimmed
// when it is read back.
std::optional<std::string> ProfileSet(std::string_view fileText, std::string_view section,
                                      std::string_view key, std::string_view value);

// Returns fileText without the first line of key in the first section named
// section (the line and its line end); unchanged when there is none.
std::string ProfileDelete(std::string_view fileText, std::string_view section,
                          std::string_view key);

// ProfileGet on the file at path; a missing or unreadable file, or one that
// is not a regular file, gives the default.
std::string ProfileFileGet(const std::string& path, std::string_view section, std::string_view key,
                           std::string_view def, std::size_t nSize);

// ProfileSet on the file at path, creating it when absent. The file is
// replaced atomically through a temporary file in the same directory, with
// the old permission bits. Where no temporary file can be made there (a
// writable file in a folder that is not), the file is rewritten in place,
// with room for the new text reserved first. On any failure the old file is
// left as it was, no temporary file remains and errno tells why. Returns 1 on
// success, 0 on failure.
int ProfileFileSet(const std::string& path, std::string_view section, std::string_view key,
                   std::string_view value);

// ProfileDelete on the file at path, replaced as by ProfileFileSet. A file
// without the key (or no file) is left untouched. 1 on success, 0 on failure.
int ProfileFileDelete(const std::string& path, std::string_view section, std::string_view key);

// The platform's part of the two above: reads the file at path (absent: empty
// text), hands its text to update and replaces the file with the result, as
// ProfileFileSet describes. update returning nothing fails with EINVAL.
using ProfileUpdate = std::function<std::optional<std::string>(const std::string&)>;
int UpdateProfileFile(const std::string& path, const ProfileUpdate& update);
