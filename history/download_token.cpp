#include "history/download_token.h"

#include <cstdint>
#include <cstdio>
#include <span>

namespace history {

namespace {

// FNV-1a, 64 bits: stable across compilers and platforms, unlike std::hash.
class Fnv1a {
public:
    void add(std::span<const std::uint8_t> bytes) {
        for (const std::uint8_t byte : bytes) {
            m_hash ^= byte;
            m_hash *= 0x100000001b3ULL;
        }
    }
    void add(const std::string& text) {
        add(static_cast<std::uint64_t>(text.size()));
        add(std::span(reinterpret_cast<const std::uint8_t*>(text.data()), text.size()));
    }
    void add(std::uint64_t value) {
        std::uint8_t bytes[8];
        for (int i = 0; i < 8; ++i)
            bytes[i] = static_cast<std::uint8_t>(value >> (8 * i));
        add(std::span<const std::uint8_t>(bytes));
    }
    std::uint64_t value() const { return m_hash; }

private:
    std::uint64_t m_hash = 0xcbf29ce484222325ULL;
};

} // namespace

std::string downloadToken(const DownloadEntry& download) {
    Fnv1a hash;
    hash.add(static_cast<std::uint64_t>(download.time));
    hash.add(download.port);
    hash.add(download.device);
    hash.add(static_cast<std::uint64_t>(download.position));
    hash.add(static_cast<std::uint64_t>(download.count));
    hash.add(std::span<const std::uint8_t>(download.emptyCells.bytes));
    hash.add(std::span<const std::uint8_t>(download.lastRecord.bytes));
    char text[17];
    std::snprintf(text, sizeof text, "%016llx", static_cast<unsigned long long>(hash.value()));
    return text;
}

} // namespace history
