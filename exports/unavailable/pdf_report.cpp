// A build without cairo and pango (TARVEX_PDF off, so far the Windows one):
// no PDF report, and no font caches to release.
#include "exports/pdf_report.h"

#include <cerrno>

#include "exports/text_painter.h"
#include "platform/messages.h"

namespace exports {

WriteOutcome WritePdfReport(const ExportContent&, const std::string&) {
    return {false, Msg("the PDF form is not part of this build"), ENOSYS};
}

bool PdfReportBuilt() {
    return false;
}

void ReleaseFontMap() {}

void ReleaseFontCaches() {}

} // namespace exports
