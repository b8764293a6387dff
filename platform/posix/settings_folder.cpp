#include "platform/settings_folder.h"

#include <cerrno>
#include <unistd.h>

std::string SettingsFileFolder() {
    std::string buffer(256, '\0');
    for (;;) {
        if (getcwd(buffer.data(), buffer.size()) != nullptr) {
            buffer.resize(std::char_traits<char>::length(buffer.c_str()));
            if (buffer.back() != '/')
                buffer += '/';
            return buffer;
        }
        if (errno != ERANGE || buffer.size() > (1u << 20))
            return std::string();
        buffer.resize(buffer.size() * 2);
    }
}
