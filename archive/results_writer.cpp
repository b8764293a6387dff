#include "archive/results_writer.h"
#include "archive/archive_record.h"
#include "platform/locale.h"

#include <cerrno>
#include <fcntl.h>
#include <system_error>
#include <unistd.h>

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

namespace {

// Writes all of the bytes, going on after short writes and interruptions.
// Returns 0 or the errno of the failure.
int WriteFully(int fd, std::string_view bytes) {
    while (!bytes.empty()) {
        const ssize_t nWritten = ::write(fd, bytes.data(), bytes.size());
        if (nWritten < 0) {
            if (errno == EINTR) {
                continue;
            }
            return errno;
        }
        if (nWritten == 0) {
            return EIO; // no progress and no error: give up rather than spin
        }
        bytes.remove_prefix(static_cast<std::size_t>(nWritten));
    }
    return 0;
}

WriteOutcome Failure(int nError) {
    return WriteOutcome{false, std::system_category().message(nError)};
}

} // namespace

WriteOutcome WriteResultsToFile(const std::string& path, int nCount, int bExcelTable,
                                char separator) {
    int fd;
    do {
        fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
    } while (fd < 0 && errno == EINTR);
    if (fd < 0) {
        return Failure(errno);
    }

    // Each piece goes to the file as soon as it is made; the first failure
    // stops the writing and what was written stays.
    int nError = 0;
    FormatResults(g_records, nCount, g_emptyCells, bExcelTable, separator,
                  [&](std::string_view piece) {
                      nError = WriteFully(fd, piece);
                      return nError == 0;
                  });

    // A failed close may be a lost write, so it counts; it is never retried,
    // as the descriptor is released either way.
    if (::close(fd) != 0 && nError == 0) {
        nError = errno;
    }
    if (nError != 0) {
        return Failure(nError);
    }
    return WriteOutcome{true, {}};
}
