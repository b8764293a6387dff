#include "platform/file_names.h"

#include <io.h>

#include "platform/win32/wide_text.h"

std::filesystem::path FsPath(const std::string& utf8) {
    return std::filesystem::path(Widen(utf8));
}

bool MayWrite(const std::string& utf8) {
    return ::_waccess(Widen(utf8).c_str(), 2) == 0;
}

FILE* OpenFile(const std::string& utf8, const char* mode) {
    return ::_wfopen(Widen(utf8).c_str(), Widen(mode).c_str());
}
