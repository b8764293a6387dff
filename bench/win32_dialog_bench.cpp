// The Windows dialog's timings under Wine, run by bench/win32_dialog_bench.sh:
// how long tarvex.exe takes to show its window, and how long a download of
// COUNT records takes from the click on «Чтение архива» until the save
// dialog opens (every record is in).
//   win32_dialog_bench.exe COUNT   with TARVEX_DIALOG_EXE, TARVEX_DIALOG_WORK
#include <cstdio>
#include <cwchar>
#include <string>

#include "tests/windows/dialog_driver.h"

int wmain(int argc, wchar_t** argv) {
    using namespace std::chrono;
    const std::wstring count = argc > 1 ? argv[1] : L"2000";
    DialogDriver driver(EnvPath(L"TARVEX_DIALOG_EXE"), L"--no-history",
                        EnvPath(L"TARVEX_DIALOG_WORK"));
    if (!driver.Started()) {
        std::puts("the dialog did not show");
        return 1;
    }
    std::printf("window up          %8lld ms after the start\n",
                static_cast<long long>(driver.TimeToWindow().count()));
    if (!driver.WaitForStatus(L"Связь установлена", seconds(30))) {
        std::puts("the dialog found no instrument");
        return 1;
    }
    driver.Type(1008, count); // the record count
    const auto began = steady_clock::now();
    driver.Click(1002); // «Чтение архива»
    const HWND hSave = driver.WaitForOtherWindow(minutes(10));
    const auto elapsed = duration_cast<milliseconds>(steady_clock::now() - began);
    if (hSave == nullptr || !DialogDriver::AnswerSaveDialog(hSave, L"bench")) {
        std::puts("no save dialog after the download");
        return 1;
    }
    std::printf("download           %8lld ms for %ls records\n",
                static_cast<long long>(elapsed.count()), count.c_str());
    const bool bWritten = driver.WaitForStatus(L"Файл прочитан.", seconds(30));
    return driver.CloseAndWait(seconds(30)) == 0 && bWritten ? 0 : 1;
}
