#include "archive/results_writer.h"
#include "archive/archive_record.h"
#include "platform/locale.h"

std::string ProposedResultsName(int bExcelTable, std::time_t t) {
    std::tm local{};
    if (localtime_r(&t, &local) == nullptr) {
        return {};
    }
    char name[128];
    const char* szPattern = bExcelTable ? "results%d_%m_%y.xls" : "results%d_%m_%y.doc";
    const std::size_t nLength = std::strftime(name, sizeof name, szPattern, &local);
    return std::string(name, nLength);
}

char decimalSeparator() {
    return DecimalSeparatorOfLocale(UserNumericLocaleName());
}

WriteOutcome WriteResultsToFile(const std::string& path, int nCount, int bExcelTable,
                                char separator, ReplacePolicy policy) {
    AtomicFile file(path, policy);
    FileStatus status = file.OpenStatus();
    if (status.Ok()) {
        // Each piece is written as soon as it is made; the first failure
        // stops the writing.
        FormatResults(g_records, nCount, g_emptyCells, bExcelTable, separator,
                      [&](std::string_view piece) {
                          status = file.Write(piece);
                          return status.Ok();
                      });
    }
    if (status.Ok())
        status = file.Commit();
    if (!status.Ok())
        return WriteOutcome{false, status.Reason(), status.error};
    return WriteOutcome{true, {}, 0};
}
