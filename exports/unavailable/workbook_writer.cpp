// A build without libxlsxwriter (TARVEX_XLSX off, so far the Windows one).
#include "exports/workbook_writer.h"

#include <cerrno>

#include "platform/messages.h"

namespace exports {

WriteOutcome WriteWorkbook(const ExportContent&, const std::string&) {
    return {false, Msg("the workbook form is not part of this build"), ENOSYS};
}

bool WorkbookBuilt() {
    return false;
}

} // namespace exports
