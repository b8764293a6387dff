// The link worker's port search: tries each candidate port with the presence
// frame and keeps the first one where the instrument answers.
#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include "link/instrument_link.h"
#include "link/port_search.h"
#include "platform/codepage.h"
#include "platform/serial_port.h"

namespace {

constexpr int PRESENCE_FRAMES = 4;       // presence frames sent to one port
constexpr int PRESENCE_WAIT_MS = 110;    // wait for the echo of one presence frame
constexpr int PRESENCE_QUEUE_MAX = 1000; // more waiting than this is no instrument

constexpr const char* TEXT_SEARCH_FAILED =
    "     Прибор не подключен к компьютеру,\n         или прибор не включен, \n"
    "   или нет свободных последовательных портов !!!";

} // namespace

std::optional<std::string> InstrumentLink::DeviceToRemember() const {
    std::lock_guard lock(m_foundMutex);
    return m_foundDevice;
}

LinkEndpoint InstrumentLink::Endpoint() const {
    {
        std::lock_guard lock(m_foundMutex);
        if (m_foundEndpoint)
            return *m_foundEndpoint;
    }
    if (!m_szOnlyDevice.empty())
        return EndpointOfDevice(m_szOnlyDevice);
    return EndpointOfPort(m_nPort.load(std::memory_order_acquire));
}

bool InstrumentLink::TryPort(const std::string& device, int* pError) {
    const bool opened = m_hPort->Open(device);
    *pError = m_hPort->OpenError();
    bool found = false;
    if (opened && Running()) {
        m_hPort->ClearModemLines();
        found = PresenceExchange();
    }
    if (opened && !found) {
        m_hPort->Purge();
        m_hPort->Close();
    }
    return found;
}

bool InstrumentLink::SearchPorts() {
    if (m_hNotifyWnd != nullptr)
        m_hNotifyWnd->SetWaitCursor(true);
    // The remembered adapter and the COM ports first, in their fixed order;
    // then the adapters present by then that none of those led to.
    std::vector<SearchStep> steps =
        FirstSearchSteps(PortNumber(-1), m_szSavedDevice, m_szOnlyDevice);
    const size_t firstPart = steps.size();
    std::vector<SearchTry> tries;
    bool found = false;
    size_t i = 0;
    for (;; ++i) {
        if (i == firstPart && m_szOnlyDevice.empty() && Running()) {
            const std::vector<SearchStep> adapters = AdapterSteps(steps);
            steps.insert(steps.end(), adapters.begin(), adapters.end());
        }
        if (i >= steps.size() || !Running())
            break;
        const SearchStep step = steps[i];
        int error = 0;
        found = TryPort(step.nPort > 0 ? DeviceForPort(step.nPort) : step.device, &error);
        if (found) {
            // Known before the status says so: whoever acts on the status
            // asks for the endpoint at once.
            {
                std::lock_guard lock(m_foundMutex);
                if (m_szOnlyDevice.empty())
                    m_foundDevice = step.nPort > 0 ? std::string() : step.device;
                m_foundEndpoint =
                    step.nPort > 0 ? EndpointOfPort(step.nPort) : EndpointOfDevice(step.device);
            }
            if (step.nPort > 0) {
                PortNumber(step.nPort);
                char text[64];
                std::snprintf(text, sizeof text, " Связь установлена по COM%1d ", step.nPort);
                PostStatus(text);
            } else {
                PostStatus((" Связь установлена по " + step.device + " ").c_str());
            }
            break;
        }
        tries.push_back({step, error});
        // The COM number names the port that would be tried next, so a Stop
        // now leaves it there; after COM4 it stays 4.
        if (i + 1 < steps.size() && steps[i + 1].nPort > 0)
            PortNumber(steps[i + 1].nPort);
    }
    // Every port tried (a Stop during the last try included): the box.
    if (!found && i >= steps.size()) {
        if (m_hNotifyWnd != nullptr)
            m_hNotifyWnd->RunMessageBox(
                Utf8ToCp1251(std::string(TEXT_SEARCH_FAILED) + "\n\n" + SearchFailureText(tries)),
                MB_OK);
        PostStatus(" Связь НЕ установлена.");
        m_bRunning.store(0, std::memory_order_release);
    }
    if (m_hNotifyWnd != nullptr)
        m_hNotifyWnd->SetWaitCursor(false);
    return found;
}

bool InstrumentLink::PresenceExchange() {
    // Each frame goes out on an emptied line (SendFrame purges first). Bytes
    // that come back are read as they arrive and matched against the echo, so
    // the rest of a reply meant for an earlier program, still on its way,
    // costs at most a frame and never decides the search.
    for (int r = 0; r < PRESENCE_FRAMES && Running(); ++r) {
        SendFrame(PRESENCE_FRAME, sizeof PRESENCE_FRAME);
        const int64_t t0 = NowMs();
        uint8_t echo[5];
        int k = 0; // bytes read that may begin the echo
        while (Running()) {
            int waiting = m_hPort->BytesWaiting();
            if (waiting >= PRESENCE_QUEUE_MAX)
                return false; // a flood of bytes is no instrument
            // Read no further than the echo could reach, so bytes behind it
            // stay queued for the request cycle.
            while (waiting > 0 && k < 5) {
                const int n = m_hPort->Read(echo + k, std::min(waiting, 5 - k));
                if (n <= 0)
                    break;
                k += n;
                waiting -= n;
                int s = 0;
                while (s < k && std::memcmp(echo + s, PRESENCE_FRAME, static_cast<size_t>(k - s)))
                    ++s;
                std::memmove(echo, echo + s, static_cast<size_t>(k - s));
                k -= s;
            }
            if (k == 5)
                return true;
            const int64_t left = PRESENCE_WAIT_MS - (NowMs() - t0);
            if (left <= 0)
                break;
            AwaitInput(static_cast<int>(left));
        }
    }
    return false;
}
