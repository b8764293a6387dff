#include "history/history_export.h"

#include <algorithm>
#include <cstring>
#include <ctime>
#include <map>
#include <optional>

namespace history {

namespace {

constexpr const char* MODEL = "Вельмар-7К";

struct Block {
    std::int64_t instrument = 0;
    EmptyCellTable cells{};
    std::time_t firstRead = 0, lastRead = 0;
    std::vector<const ArchiveRecord*> records;
};

bool SameCells(const EmptyCellTable& a, const EmptyCellTable& b) {
    return std::memcmp(a.bytes, b.bytes, sizeof a.bytes) == 0;
}

} // namespace

std::string InstrumentLabel(const InstrumentInfo& instrument) {
    if (!instrument.name.empty())
        return "зав. № " + instrument.name;
    return "№ " + std::to_string(instrument.id) + " в архиве";
}

HistoryExport::HistoryExport(RecordStore& store, std::span<const StoredRecord> records) {
    // Downloads are few beside records: each is asked for once, and its
    // records go to the block found for its first.
    std::map<std::pair<std::int64_t, std::int64_t>, std::size_t> blockOf; // (download, instrument)
    std::vector<Block> blocks;
    for (const StoredRecord& stored : records) {
        auto [known, added] = blockOf.try_emplace({stored.download, stored.instrument});
        if (added) {
            const DownloadEntry entry =
                (stored.download != 0 ? store.download(stored.download) : std::nullopt)
                    .value_or(DownloadEntry{});
            auto block = std::find_if(blocks.begin(), blocks.end(), [&](const Block& b) {
                return b.instrument == stored.instrument && SameCells(b.cells, entry.emptyCells);
            });
            if (block == blocks.end()) {
                blocks.push_back({stored.instrument, entry.emptyCells, entry.time, entry.time, {}});
                block = blocks.end() - 1;
            }
            block->firstRead = std::min<std::time_t>(block->firstRead, entry.time);
            block->lastRead = std::max<std::time_t>(block->lastRead, entry.time);
            known->second = static_cast<std::size_t>(block - blocks.begin());
        }
        blocks[known->second].records.push_back(&stored.record);
    }

    std::map<std::int64_t, std::string> labels;
    for (const InstrumentInfo& instrument : store.instruments())
        labels[instrument.id] = InstrumentLabel(instrument);
    m_records.reserve(records.size());
    for (const Block& block : blocks)
        for (const ArchiveRecord* record : block.records)
            m_records.push_back(*record);

    exports::TitleBlock& title = m_content.title;
    title.port = "архив измерений";
    std::size_t at = 0;
    for (const Block& block : blocks) {
        InstrumentInfo unnamed;
        unnamed.id = block.instrument;
        const auto known = labels.find(block.instrument);
        const std::string label = known != labels.end() ? known->second : InstrumentLabel(unnamed);
        m_content.blocks.push_back({std::span(m_records).subspan(at, block.records.size()),
                                    block.cells, label, block.firstRead, block.lastRead});
        at += block.records.size();
        title.firstDownloadTime = title.firstDownloadTime == 0
                                      ? block.firstRead
                                      : std::min(title.firstDownloadTime, block.firstRead);
        title.downloadTime = std::max(title.downloadTime, block.lastRead);
    }
    m_content.records = m_records;
    if (blocks.empty()) {
        title.downloadTime = title.firstDownloadTime = std::time(nullptr);
    } else {
        m_content.emptyCells = blocks.front().cells;
        const bool oneInstrument = std::all_of(blocks.begin(), blocks.end(), [&](const Block& b) {
            return b.instrument == blocks.front().instrument;
        });
        title.instrument =
            std::string(MODEL) + (oneInstrument ? ", " + m_content.blocks.front().instrument : "");
    }
    if (m_content.blocks.size() < 2)
        m_content.blocks.clear(); // one block: the forms' layout of old
}

} // namespace history
