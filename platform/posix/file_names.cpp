#include "platform/file_names.h"

#include <unistd.h>

std::filesystem::path FsPath(const std::string& utf8) {
    return std::filesystem::path(utf8);
}

bool MayWrite(const std::string& utf8) {
    return access(utf8.c_str(), W_OK) == 0;
}

FILE* OpenFile(const std::string& utf8, const char* mode) {
    return std::fopen(utf8.c_str(), mode);
}
