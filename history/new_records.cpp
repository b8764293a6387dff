#include "history/new_records.h"

#include <cstring>

#include "link/frame.h"

namespace history {

namespace {

bool isRingIndex(int position) {
    return position >= 0 && position < ArchiveSlotCount;
}

} // namespace

NewRecordsPlan planNewRecords(const std::optional<LastDownload>& last, int position) {
    NewRecordsPlan plan;
    if (!last) {
        plan.kind = NewRecordsPlan::Kind::NoHistory;
        return plan;
    }
    if (!isRingIndex(position) || !isRingIndex(last->position)) {
        plan.kind = NewRecordsPlan::Kind::OutsideRing;
        return plan;
    }
    plan.newCount = (position - last->position + ArchiveSlotCount) % ArchiveSlotCount;
    if (plan.newCount == 0) {
        plan.kind = NewRecordsPlan::Kind::NothingNew;
        return plan;
    }
    plan.kind = NewRecordsPlan::Kind::Range;
    plan.count = plan.newCount + 1; // at most 2000: the whole ring
    return plan;
}

bool continuesHistory(const LastDownload& last, const ArchiveRecord& first) {
    return std::memcmp(last.lastRecord.bytes, first.bytes, sizeof first.bytes) == 0;
}

std::optional<int> positionInReply(const std::uint8_t* bytes, unsigned length) {
    if (bytes == nullptr || length < 5 || bytes[2] != CMD_READ_POSITION)
        return std::nullopt;
    return static_cast<int16_t>(bytes[3] | (bytes[4] << 8));
}

} // namespace history
