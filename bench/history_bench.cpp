// Timing of the measurement history, run by history_bench.sh and, on a
// PostgreSQL server, server_history_bench.sh (PATH is then the server's location):
//   history_bench merge PATH            times merges of 2000-record downloads
//   history_bench fill PATH RECORDS     makes a synthetic history of RECORDS records
// Records are made like the instrument's: sample numbers 1..5000, cells 1..6,
// one measurement every few minutes from March 2021, values in real ranges.
#include <algorithm>
#include <bit>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <random>
#include <string>
#include <vector>

#include "history/record_store.h"

namespace {

using Clock = std::chrono::steady_clock;

void putFloat(uint8_t* bytes, float value) {
    const auto bits = std::bit_cast<uint32_t>(value);
    for (int i = 0; i < 4; ++i)
        bytes[i] = static_cast<uint8_t>(bits >> (8 * i));
}

uint8_t bcd(int value) {
    return static_cast<uint8_t>((value / 10) << 4 | value % 10);
}

// Measurement number n: a distinct record, five minutes after n - 1.
ArchiveRecord makeRecord(long n, std::mt19937& random) {
    ArchiveRecord r{};
    const int sample = 1 + static_cast<int>(random() % 5000);
    r.bytes[2] = static_cast<uint8_t>(sample);
    r.bytes[3] = static_cast<uint8_t>(sample >> 8);
    r.bytes[4] = random() % 5 == 0 ? RecordKindEmptyCell : RecordKindSample;
    r.bytes[5] = static_cast<uint8_t>(1 + random() % 6);
    r.bytes[6] = static_cast<uint8_t>(15 + random() % 80);
    const long minutes = n * 5;
    const long days = minutes / (24 * 60);
    r.bytes[8] = bcd(static_cast<int>(minutes % 60));
    r.bytes[9] = bcd(static_cast<int>(minutes / 60 % 24));
    r.bytes[11] = bcd(static_cast<int>(1 + days % 28));
    r.bytes[12] = bcd(static_cast<int>(1 + days / 28 % 12));
    r.bytes[13] = bcd(static_cast<int>(21 + days / (28 * 12)));
    putFloat(r.bytes + 16, 2000.0f);
    putFloat(r.bytes + 20, 50.0f);
    putFloat(r.bytes + 24, 2.05f + static_cast<float>(random() % 2000) / 10000.0f);
    putFloat(r.bytes + 28, 0.001f + static_cast<float>(random() % 49000) / 1000000.0f);
    return r;
}

// Download number serial: ten minutes after serial - 1 (a shared history
// knows a download again by what its log keeps, the time with it).
history::DownloadEntry entryFor(int position, long serial) {
    history::DownloadEntry entry;
    entry.time = 1700000000 + serial * 600;
    entry.port = "COM3";
    entry.device = "/dev/ttyUSB0";
    entry.position = position;
    entry.count = 2000;
    return entry;
}

double millisecondsSince(Clock::time_point start) {
    return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

// Each download brings 2000 records; the later half overlaps the next one,
// as downloads of a ring that moved on by 1000 would.
int merge(const std::string& path) {
    auto store = history::openHistory(path, history::OpenMode::ReadWrite);
    std::mt19937 random(7);
    std::vector<ArchiveRecord> all;
    for (long n = 0; n < 12000; ++n)
        all.push_back(makeRecord(n, random));
    std::vector<double> fresh, overlapping;
    for (int k = 0; k < 10; ++k) {
        const std::span<const ArchiveRecord> download(all.data() + k * 1000, 2000);
        const auto start = Clock::now();
        const history::MergeOutcome outcome =
            store->mergeDownload(entryFor(k, 2000000 + k), download);
        (outcome.known == 0 ? fresh : overlapping).push_back(millisecondsSince(start));
    }
    auto median = [](std::vector<double> v) {
        std::sort(v.begin(), v.end());
        return v.empty() ? 0.0 : v[v.size() / 2];
    };
    std::printf("merge of 2000 records: %.1f ms (all new), median %.1f ms (half known), "
                "slowest %.1f ms\n",
                median(fresh), median(overlapping),
                *std::max_element(overlapping.begin(), overlapping.end()));
    return 0;
}

int fill(const std::string& path, long records) {
    auto store = history::openHistory(path, history::OpenMode::ReadWrite);
    std::mt19937 random(11);
    std::vector<ArchiveRecord> download(2000);
    const auto start = Clock::now();
    for (long n = 0; n < records;) {
        const long count = std::min<long>(2000, records - n);
        for (long k = 0; k < count; ++k)
            download[static_cast<size_t>(k)] = makeRecord(n + k, random);
        store->mergeDownload(
            entryFor(static_cast<int>(n % 2000), n / 2000),
            std::span<const ArchiveRecord>(download.data(), static_cast<size_t>(count)));
        n += count;
    }
    const history::Stats stats = store->stats();
    std::printf("synthetic history: %lld records in %lld downloads, made in %.1f s\n",
                static_cast<long long>(stats.records), static_cast<long long>(stats.downloads),
                millisecondsSince(start) / 1000);
    return 0;
}

} // namespace

int main(int argc, char** argv) {
    const std::string command = argc > 2 ? argv[1] : "";
    if (command == "merge" && argc == 3)
        return merge(argv[2]);
    if (command == "fill" && argc == 4)
        return fill(argv[2], std::atol(argv[3]));
    std::fputs("usage: history_bench merge PATH | fill PATH RECORDS\n", stderr);
    return 2;
}
