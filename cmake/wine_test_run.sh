#!/bin/sh
# Runs a Windows test program under Wine (CMAKE_CROSSCOMPILING_EMULATOR).
# Wine's services start with the first program a server runs and keep that
# program's standard error: were a test that program, they would hold its
# output open for as long as the server lives, and ctest would wait for them
# until the test's time-out. A program with no output is that first one here;
# with the services already up it costs a few hundredths of a second.
wine cmd /c exit </dev/null >/dev/null 2>&1
exec wine "$@"
