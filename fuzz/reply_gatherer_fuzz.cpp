// Feeds arbitrary bytes to ReplyGatherer in arbitrary read sizes, driven the
// way the link worker drives it, and compares every verdict with a plain
// reference of the recognition rule kept here on purpose apart from the code.
//
// Input: byte 0 (low 4 bits) = k, the next k bytes are read sizes used in
// turn (0 counts as 1, above 138 exercises the oversized-queue path); the
// rest are the bytes on the line.
#include <cstddef>
#include <cstdint>
#include <vector>

#include "fuzz/fuzz_check.h"
#include "link/reply_gatherer.h"

namespace {

constexpr size_t GATHER_CAPACITY = 138;

// The rule written out plainly with a growing vector.
struct ReferenceGatherer {
    std::vector<uint8_t> gathered;

    // Accepted hands the reply over in `reply` and starts empty again.
    GatherVerdict Examine(std::vector<uint8_t>& reply) {
        if (gathered.size() < 2)
            return GatherVerdict::NeedMore;
        const size_t length = gathered[1];
        if (gathered.size() < length)
            return GatherVerdict::NeedMore;
        if (length < 2) { // 0 is no frame; 1 would checksum outside the frame
            gathered.clear();
            return GatherVerdict::Dropped;
        }
        unsigned sum = 0;
        for (size_t i = 0; i + 2 < length; ++i)
            sum += gathered[i];
        if ((sum & 0xFF) != gathered[length - 2]) {
            gathered.clear();
            return GatherVerdict::Dropped;
        }
        reply.swap(gathered);
        gathered.clear();
        return GatherVerdict::Accepted;
    }
};

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size == 0)
        return 0;
    const size_t nSizes = data[0] & 0x0F;
    if (size < 1 + nSizes)
        return 0;
    const uint8_t* sizes = data + 1;
    const uint8_t* line = data + 1 + nSizes;
    const size_t lineLength = size - 1 - nSizes;

    ReplyGatherer gatherer;
    ReferenceGatherer reference;
    size_t pos = 0;
    size_t turn = 0;
    while (pos < lineLength) {
        size_t chunk = nSizes == 0 ? lineLength - pos : sizes[turn++ % nSizes];
        if (chunk == 0)
            chunk = 1;
        if (chunk > lineLength - pos)
            chunk = lineLength - pos;
        const uint8_t* bytes = line + pos;
        pos += chunk;

        // A read that would overfill the buffer drops what was gathered; a
        // queue larger than any frame is discarded whole.
        if (static_cast<size_t>(gatherer.Count()) + chunk > GATHER_CAPACITY) {
            FUZZ_CHECK(!gatherer.Append(bytes, static_cast<int>(chunk)));
            gatherer.Clear();
            reference.gathered.clear();
            if (chunk > GATHER_CAPACITY)
                continue;
        }
        FUZZ_CHECK(gatherer.Append(bytes, static_cast<int>(chunk)));
        reference.gathered.insert(reference.gathered.end(), bytes, bytes + chunk);
        FUZZ_CHECK(gatherer.Count() == static_cast<int>(reference.gathered.size()));

        std::vector<uint8_t> expected;
        const GatherVerdict expectedVerdict = reference.Examine(expected);
        const GatherVerdict verdict = gatherer.Examine();
        FUZZ_CHECK(verdict == expectedVerdict);
        if (verdict == GatherVerdict::Accepted) {
            // Every gathered byte is handed on, also those behind the frame.
            FUZZ_CHECK(gatherer.Count() == static_cast<int>(expected.size()));
            FUZZ_CHECK(std::vector<uint8_t>(gatherer.Bytes(),
                                            gatherer.Bytes() + gatherer.Count()) == expected);
            gatherer.Clear();
        }
        FUZZ_CHECK(gatherer.Count() == static_cast<int>(reference.gathered.size()));
        FUZZ_CHECK(gatherer.Room() == ReplyGatherer::CAPACITY - gatherer.Count());
    }
    return 0;
}
