// Times the workbook and the PDF report for a full archive of 2000 records
// (several samples, each at several temperatures, so the PDF draws charts).
// Usage: exports_bench [DIR]; the files are left in DIR (default: /tmp).
#include <chrono>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <string>
#include <vector>

#include "exports/results_forms.h"

namespace {

void PutF32(uint8_t* p, float value) {
    std::memcpy(p, &value, 4); // the bench runs on little-endian hosts only
}

uint8_t Bcd(int value) {
    return static_cast<uint8_t>((value / 10) << 4 | value % 10);
}

std::vector<ArchiveRecord> MakeArchive(int count) {
    std::vector<ArchiveRecord> records(count);
    for (int i = 0; i < count; ++i) {
        uint8_t* b = records[i].bytes;
        std::memset(b, 0, 32);
        const int sample = 100 + i / 24;
        b[2] = uint8_t(sample & 0xFF);
        b[3] = uint8_t(sample >> 8);
        b[4] = i % 50 == 49 ? RecordKindEmptyCell : RecordKindSample;
        b[5] = uint8_t(1 + i % 6);
        b[6] = uint8_t(20 + 10 * (i / 6 % 4));
        b[8] = Bcd(i % 60);
        b[9] = Bcd(8 + i / 60 % 12);
        b[11] = Bcd(1 + i % 28);
        b[12] = Bcd(1 + i / 28 % 12);
        b[13] = Bcd(26);
        PutF32(b + 16, 2000.0f);
        PutF32(b + 20, 50.0f);
        PutF32(b + 24, 2.1f + 0.001f * float(i % 97));
        PutF32(b + 28, 0.0005f * float(1 + i % 6) * float(1 + i / 6 % 4));
    }
    return records;
}

} // namespace

int main(int argc, char** argv) {
    const std::string dir = argc > 1 ? argv[1] : "/tmp";
    const std::vector<ArchiveRecord> records = MakeArchive(ArchiveSlotCount);
    exports::ExportContent content;
    content.records = records;
    content.title.downloadTime = std::time(nullptr);
    content.title.port = "COM2";
    for (int i = 0; i < MeasuringCellCount; ++i) {
        PutF32(content.emptyCells.bytes + 4 + 4 * i, 1.5e-11f);
        PutF32(content.emptyCells.bytes + 28 + 4 * i, 1e-4f);
    }
    struct Goal {
        exports::ResultsForm form;
        double seconds;
    };
    int failures = 0;
    for (const Goal goal :
         {Goal{exports::ResultsForm::Workbook, 0.5}, Goal{exports::ResultsForm::Pdf, 2.0}}) {
        const std::string path = dir + "/bench." + std::string(exports::FormSuffix(goal.form));
        const auto start = std::chrono::steady_clock::now();
        const std::clock_t cpuStart = std::clock();
        const WriteOutcome outcome = exports::WriteResultsForm(goal.form, content, path, '.');
        const double cpu = double(std::clock() - cpuStart) / CLOCKS_PER_SEC;
        const std::chrono::duration<double> took = std::chrono::steady_clock::now() - start;
        // On a shared machine the elapsed time also holds other programs'
        // turns; the processor time is this program's own.
        const bool ok = outcome.ok && cpu < goal.seconds;
        failures += ok ? 0 : 1;
        std::printf("%-5s 2000 records: %6.3f s elapsed, %6.3f s processor (goal < %.1f s)%s%s\n",
                    std::string(exports::FormSuffix(goal.form)).c_str(), took.count(), cpu,
                    goal.seconds, outcome.ok ? "" : "  failed: ", outcome.reason.c_str());
    }
    return failures == 0 ? 0 : 1;
}
