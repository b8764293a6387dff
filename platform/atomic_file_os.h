// The system's part of the atomic file (atomic_file.h).
#pragma once

#include <cstddef>

// Writes up to size bytes of data at descriptor fd: how many it wrote, or -1
// with errno telling why (an interrupted write is tried again).
long WriteSome(int fd, const char* data, std::size_t size);
