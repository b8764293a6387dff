// Identifiers of the dialogs, controls and commands, kept with their original
// numbers so the controls can be found by name and the commands compared.
#pragma once

constexpr int IDD_ABOUTBOX = 100;
constexpr int IDS_ABOUTBOX = 101;
constexpr int IDD_MAIN = 102;
constexpr int IDR_MAINFRAME = 128;

constexpr int IDC_CLOCK = 1000;
constexpr int IDC_STATUS = 1001;
constexpr int IDC_READ_ARCHIVE = 1002;
constexpr int IDC_PROGRESS = 1005;
constexpr int IDC_RECORD_COUNT = 1008;
constexpr int IDC_RECORD_SPIN = 1025;
constexpr int IDC_EXCEL = 1028;
// The frame of the record count. The template leaves it without an id; a view
// gives it this one so that its caption (the only-new mode) can be set.
constexpr int IDC_COUNT_GROUP = 1029;

// Window-menu commands: ours has its low four bits clear like the system ones.
constexpr unsigned IDM_ABOUTBOX = 0x10;
constexpr unsigned SC_MINIMIZE = 0xF020;
constexpr unsigned SC_CLOSE = 0xF060;

// The one timer of the main dialog: the clock, which also starts the link.
constexpr int CLOCK_TIMER_ID = 1;
constexpr int CLOCK_PERIOD_MS = 1000;

// Range of the record-count arrows.
constexpr int RECORD_COUNT_MIN = 1;
constexpr int RECORD_COUNT_MAX = 2000;
