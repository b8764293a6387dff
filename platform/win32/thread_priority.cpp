#include "platform/thread_priority.h"

#include <windows.h>

void LowerCallingThreadPriority() {
    ::SetThreadPriority(::GetCurrentThread(), THREAD_PRIORITY_BELOW_NORMAL);
}
