// What the dialog says about a shared history: a download that waits on this
// PC because the shared one could not take it, and those that went later.
#pragma once

#include <string>

#include "history/download_history.h"

// The box after a download the shared history could not take (report has
// sharedFailure): why, where the download waits and what to do.
std::string SharedHistoryWaitText(const history::MergeReport& report);

// Downloads that had waited on this PC went to the shared history.
std::string SharedHistoryPushedText(int nDownloads);
