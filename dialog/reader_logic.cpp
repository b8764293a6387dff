#include "dialog/reader_logic.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>

#include "dialog/clock_text.h"
#include "dialog/dialog_texts.h"
#include "dialog/record_count_text.h"
#include "dialog/resource_ids.h"
#include "dialog/results_saving.h"
#include "platform/codepage.h"
#include "platform/port_setting.h"
#include "platform/user_settings.h"

int g_bFirstTick = 1;

namespace {
std::tm* LocalTime(std::time_t t, std::tm* pOut) {
#ifdef _WIN32
    return localtime_s(pOut, &t) == 0 ? pOut : nullptr;
#else
    return localtime_r(&t, pOut);
#endif
}
} // namespace

ReaderLogic::ReaderLogic(DialogView& view)
    : m_pLink(std::make_unique<InstrumentLink>()), m_view(view),
      m_sequence(*m_pLink, *this), m_lastForm{OfferedForm(false), OfferedForm(true)} {
    m_bTraceStatus = std::getenv("TARVEX_TRACE_STATUS") != nullptr;
    m_fnStartLink = [this] { return m_pLink->Start(this); };
    m_bOnlyNew = LoadUserSetting(ONLY_NEW_KEY, "0") == "1";
}

ReaderLogic::~ReaderLogic() {
    Shutdown();
}

void ReaderLogic::Shutdown() {
    // Posts that arrive while the link stops are no longer acted on; boxes the
    // worker waits for are still shown, from inside Stop.
    m_bClosing = true;
    if (m_pLink) {
        m_pLink->Stop();
        m_pLink.reset();
    }
}

void ReaderLogic::OnInitDialog() {
    m_nPortNumber = LoadPortSetting();
    m_pLink->PortNumber(m_nPortNumber);
    m_pLink->SavedDevice(LoadDeviceSetting()); // tried before the saved port
    m_view.StartTimer(CLOCK_TIMER_ID, CLOCK_PERIOD_MS);

    m_view.SetSpinRange(RECORD_COUNT_MIN, RECORD_COUNT_MAX);
    m_nRecordCount = 100;
    m_view.SetSpinPos(SpinPosFromCount(m_nRecordCount, RECORD_COUNT_MIN, RECORD_COUNT_MAX));
    m_bExcelTable = 0;
    m_view.SetControlChecked(IDC_EXCEL, false);
    ShowCountMode();
    // The edit's change handler reads the same value back.
    m_view.SetControlText(IDC_RECORD_COUNT, std::to_string(static_cast<unsigned>(m_nRecordCount)));
}

void ReaderLogic::OnTimer(int nIdEvent) {
    if (nIdEvent != CLOCK_TIMER_ID)
        return;
    std::tm local{};
    const ClockLines lines = FormatClockLines(LocalTime(std::time(nullptr), &local));
    m_view.SetClock(lines.time, lines.date);

    if (g_bFirstTick == 1) {
        g_bFirstTick = 0;
        if (m_fnStartLink)
            m_fnStartLink(); // one attempt only; the result is not looked at
    }
}

void ReaderLogic::OnDestroy() {
    // Once per dialog: the port the link holds now, while its worker runs on.
    if (m_bDestroyed || !m_pLink)
        return;
    m_bDestroyed = true;
    m_nPortNumber = m_pLink->PortNumber(-1);
    const int nSaved = SavePortSetting(m_nPortNumber);
    // The adapter where the instrument answered (or none, when it answered on
    // a COM port) is remembered beside the port number.
    if (const std::optional<std::string> adapter = m_pLink->DeviceToRemember())
        SaveDeviceSetting(*adapter);
    if (nSaved == 1)
        return;
    const int nError = errno;
    m_view.ShowMessageBox(PortNotSavedText(m_nPortNumber, GetSettingsPath(), std::strerror(nError)),
                          BoxIcon::Warning);
}

bool ReaderLogic::OnSysCommand(unsigned nID) {
    switch (nID & 0xFFF0) {
    case IDM_ABOUTBOX:
        m_view.ShowAboutBox();
        return true;
    case SC_MINIMIZE:
        m_view.Minimize();
        return true;
    case SC_CLOSE:
        m_view.Close();
        return true;
    default:
        return false;
    }
}

void ReaderLogic::OnChangeRecordCount() {
    m_nRecordCount = static_cast<int>(ParseUnsignedItemText(m_view.ControlText(IDC_RECORD_COUNT)));
    m_view.SetSpinPos(SpinPosFromCount(m_nRecordCount, RECORD_COUNT_MIN, RECORD_COUNT_MAX));
    if (m_bOnlyNew)
        ShowCountMode(); // the tooltip names the count
}

void ReaderLogic::OnVScroll() {
    m_nRecordCount = m_view.SpinPos();
    // The edit's change handler reads the same value back.
    m_view.SetControlText(IDC_RECORD_COUNT, std::to_string(static_cast<unsigned>(m_nRecordCount)));
}

void ReaderLogic::OnExcelClicked() {
    m_bExcelTable ^= 1;
}

void ReaderLogic::OnReadArchive() {
    PrepareHistory();
    m_sequence.OnReadArchive();
}

void ReaderLogic::SetOnlyNewRecords(bool bOnlyNew) {
    m_bOnlyNew = bOnlyNew;
    ShowCountMode();
    SaveUserSetting(ONLY_NEW_KEY, bOnlyNew ? "1" : "0"); // unsaved, it holds for this run
}

void ReaderLogic::ShowCountMode() {
    const CountBoxLook look = CountBoxLookFor(m_bOnlyNew, m_nRecordCount);
    m_view.SetControlText(IDC_COUNT_GROUP, look.title);
    for (int nId : {IDC_RECORD_COUNT, IDC_RECORD_SPIN, IDC_COUNT_GROUP})
        m_view.SetControlTip(nId, look.toolTip);
    m_view.EnableControl(IDC_RECORD_COUNT, look.enabled);
    m_view.EnableControl(IDC_RECORD_SPIN, look.enabled);
}

void ReaderLogic::SetStatus(const std::string& utf8) {
    m_szStatus = utf8;
    m_view.SetStatusText(utf8);
    if (m_bTraceStatus)
        std::fprintf(stderr, "status: %s\n", utf8.c_str());
}

void ReaderLogic::SetStatusSuffix(const std::string& utf8) {
    const std::string text = Utf8ToCp1251(utf8);
    // Cut to the buffer, as every writer of it does.
    const size_t n = std::min(text.size(), sizeof g_szStatusSuffix - 1);
    std::memcpy(g_szStatusSuffix, text.data(), n);
    g_szStatusSuffix[n] = '\0';
}

// ---- Download host ----

void ReaderLogic::ShowMessage(const std::string& textCp1251) {
    m_view.ShowMessageBox(Cp1251ToUtf8(textCp1251.c_str()), BoxIcon::None);
}

void ReaderLogic::SetProgressRange(int nLower, int nUpper) {
    m_view.SetProgressRange(nLower, nUpper);
}

void ReaderLogic::SetProgressPos(int nPos) {
    m_view.SetProgressPos(nPos);
}
