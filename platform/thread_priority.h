// The link's worker runs one step below normal priority, so a busy machine
// serves the user's windows first.
#pragma once

void LowerCallingThreadPriority();
