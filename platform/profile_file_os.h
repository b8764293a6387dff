// The system's part of the profile files on disk (profile_file.h).
#pragma once

#include <cstddef>
#include <functional>
#include <string>

enum class ProfileRead { OK, MISSING, FAILED };

// Reads a regular file whole, up to nCap bytes; bTooBig tells that there was
// more. FAILED (errno telling why) for anything but a regular file, so that
// a FIFO or device in its place neither hangs nor is read.
ProfileRead ReadProfileFile(const std::string& path, std::size_t nCap, std::string& text,
                            bool& bTooBig);

// The part both systems' ReadProfileFile share: reads through readSome (the
// bytes it read, 0 at the end, -1 with errno) into text, sized first from
// sizeHint, up to nCap bytes; bTooBig tells that there was more. False, with
// errno, when a read failed.
using ReadSome = std::function<long(char* buffer, std::size_t size)>;
bool ReadCapped(std::size_t sizeHint, std::size_t nCap, const ReadSome& readSome, std::string& text,
                bool& bTooBig);

// False, with errno, when the existing file at path is not this user's to
// write (read-only): it is then left alone, as the Windows functions do.
bool MayWriteFile(const std::string& path);
