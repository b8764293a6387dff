#include "tools/reader/archive_reader.h"

#include <cerrno>
#include <cstring>
#include <ctime>

#include "link/frame.h"
#include "platform/codepage.h"
#include "platform/messages.h"
#include "platform/port_setting.h"
#include "platform/serial_port.h"

namespace {

// The link's texts that tell how the search ended.
const std::string FOUND_PREFIX = Utf8ToCp1251(" Связь установлена по ");
const std::string NOT_FOUND = Utf8ToCp1251(" Связь НЕ установлена.");
// Texts posted once per request and reply: too many to print line by line.
const std::string WAITING = Utf8ToCp1251(" Ожидание ответа.");
const std::string RECEIVED = Utf8ToCp1251(" Oтвет получен.");
// The link's text when the port reports that the device is gone.
const std::string DISCONNECTED = Utf8ToCp1251(" Прибор отключен.");
std::string DisconnectedLine() {
    return std::string("tarvex-read: ") +
           Msg("the instrument was disconnected (the port reported a hang-up); no results file "
               "written");
}

// The search tries five ports at under half a second each; this only guards
// against a link that never reports.
constexpr auto SEARCH_LIMIT = std::chrono::seconds(60);

// Blanks at the ends of the text and at the end of each line dropped: the
// fixed texts are laid out for a box, and a terminal line needs no padding.
std::string Trimmed(const std::string& text) {
    std::string out;
    for (size_t start = 0; start <= text.size();) {
        size_t end = text.find('\n', start);
        if (end == std::string::npos)
            end = text.size();
        const size_t last = text.find_last_not_of(' ', end == 0 ? std::string::npos : end - 1);
        out += (last == std::string::npos || last < start ? std::string()
                                                          : text.substr(start, last - start + 1));
        out += '\n';
        start = end + 1;
    }
    const size_t first = out.find_first_not_of(" \n");
    const size_t last = out.find_last_not_of(" \n");
    return first == std::string::npos ? std::string() : out.substr(first, last - first + 1);
}

} // namespace

ArchiveReader::ArchiveReader(const ReaderOptions& options, const OutputName& output,
                             ProgressDisplay& display)
    : m_options(options), m_output(output), m_szOutputPath(output.Path()), m_display(display),
      m_nRecordCount(options.m_nRecordCount), m_history(options, display) {
    m_sequence.m_nReplyTimeout = options.m_nReplyTimeout;
}

void ArchiveReader::PostLinkReply(std::vector<uint8_t> reply) {
    m_events.Push({ReaderEvent::Reply, std::move(reply), {}});
}

void ArchiveReader::PostLinkStatus(std::string textCp1251) {
    m_events.Push({ReaderEvent::Status, {}, std::move(textCp1251)});
}

void ArchiveReader::RunMessageBox(std::string textCp1251, int /*style*/) {
    m_events.Push({ReaderEvent::Box, {}, std::move(textCp1251)});
}

void ArchiveReader::ShowMessage(const std::string& textCp1251) {
    m_display.Line(Cp1251ToUtf8(textCp1251));
}

void ArchiveReader::SetProgressRange(int /*lower*/, int upper) {
    m_display.SetRange(upper);
}

void ArchiveReader::SetProgressPos(int pos) {
    m_display.SetDone(pos);
}

void ArchiveReader::WriteResultsFile(int nCount) {
    m_bWriteRan = 1;
    nCount = m_history.TakeRecords(nCount);
    if (nCount == 0) {
        m_bNothingNew = 1; // no file
        return;
    }
    m_nWritten = nCount;
    const exports::ExportContent content =
        exports::ContentOfStore(nCount, m_link.Endpoint().Title(), std::time(nullptr));
    // A stamped name taken meanwhile is another run's file of the same
    // second (another instrument into the same folder): the next name is ours.
    do {
        m_szOutputPath = m_output.Path();
        m_writeOutcome = exports::WriteResultsForm(
            m_options.m_form, content, m_szOutputPath, decimalSeparator(),
            m_options.m_bForce && !m_output.Stamped() ? ReplacePolicy::Replace
                                                      : ReplacePolicy::KeepExisting);
    } while (m_writeOutcome.error == EEXIST && m_output.Next());
    if (m_writeOutcome.ok) {
        const std::string done = Utf8ToCp1251("Файл прочитан.");
        std::memset(g_szStatusSuffix, 0, sizeof g_szStatusSuffix);
        std::memcpy(g_szStatusSuffix, done.data(), done.size());
    }
    // The records were read whatever became of the file.
    m_history.Merge(nCount, m_link.Endpoint(), m_sequence.Position());
}

std::string ArchiveReader::Device() {
    return m_link.Endpoint().device;
}

void ArchiveReader::ShowStatus(const std::string& textCp1251) {
    if (textCp1251 == WAITING || textCp1251 == RECEIVED)
        m_display.Routine(Trimmed(Cp1251ToUtf8(textCp1251)));
    else
        m_display.Line(Trimmed(Cp1251ToUtf8(textCp1251)));
}

int ArchiveReader::WaitForInstrument() {
    auto deadline = std::chrono::steady_clock::now() + SEARCH_LIMIT;
    for (;;) {
        auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
            deadline - std::chrono::steady_clock::now());
        std::optional<ReaderEvent> event =
            m_events.Pop(std::max(left, std::chrono::milliseconds(0)));
        if (!event) {
            m_display.Line(std::string("tarvex-read: ") + Msg("the port search did not end"));
            return EXIT_NOT_FOUND;
        }
        if (event->kind == ReaderEvent::Interrupt)
            return EXIT_INTERRUPTED;
        if (event->kind == ReaderEvent::Box) {
            m_display.Line(Trimmed(Cp1251ToUtf8(event->text)));
        } else if (event->kind == ReaderEvent::Status) {
            ShowStatus(event->text);
            if (event->text.rfind(FOUND_PREFIX, 0) == 0)
                return EXIT_WRITTEN;
            if (event->text == NOT_FOUND)
                return EXIT_NOT_FOUND;
        }
        // No reply can come before a request; a stray one is not acted on.
    }
}

int ArchiveReader::Download() {
    m_sequence.SetScan(m_history.Prepare(Device()));
    int status = DownloadOnce();
    // Everything was written and merged; a scheduled job is to notice.
    if (status == EXIT_WRITTEN && m_history.MayHaveLost())
        status = EXIT_MAY_HAVE_LOST;
    // Written, and nothing lost: it waits on this PC for the shared history.
    if (status == EXIT_WRITTEN && m_history.WaitStatus() != 0)
        status = m_history.WaitStatus();
    return status;
}

int ArchiveReader::DownloadOnce() {
    m_display.StartClock();
    m_sequence.OnReadArchive();
    m_display.Line(Trimmed(Cp1251ToUtf8(g_szStatusSuffix)));
    // A request goes out five times at most, each waiting the time-out; a
    // link that stays silent well beyond that is taken as no answer.
    const auto silenceLimit =
        std::chrono::milliseconds(6 * static_cast<int64_t>(m_options.m_nReplyTimeout) + 10000);
    while (!m_bWriteRan) {
        std::optional<ReaderEvent> event = m_events.Pop(silenceLimit);
        if (!event) {
            m_display.Line(std::string("tarvex-read: ") +
                           Msg("the link reported nothing for too long"));
            return EXIT_NO_ANSWER;
        }
        switch (event->kind) {
        case ReaderEvent::Interrupt:
            m_display.Line(std::string("tarvex-read: ") +
                           Msg("interrupted; no results file written"));
            return EXIT_INTERRUPTED;
        case ReaderEvent::Box:
            m_display.Line(Trimmed(Cp1251ToUtf8(event->text)));
            break;
        case ReaderEvent::Status:
            if (event->text == DISCONNECTED) {
                m_display.Line(DisconnectedLine());
                return EXIT_NO_ANSWER;
            }
            ShowStatus(event->text);
            break;
        case ReaderEvent::Reply:
            m_sequence.OnLinkReply(static_cast<unsigned>(event->bytes.size()), event->bytes.data());
            if (event->bytes.empty()) {
                m_display.Line(m_link.DeviceGone() ? DisconnectedLine()
                                                   : std::string("tarvex-read: ") +
                                                         Msg("no answer from the instrument"));
                return EXIT_NO_ANSWER;
            }
            break;
        }
    }
    AwaitClosingReply();
    if (m_bNothingNew)
        return EXIT_WRITTEN;
    if (m_writeOutcome.error == EEXIST && !m_options.m_bForce) {
        m_display.Line("tarvex-read: " +
                       Format(Msg("%s appeared during the download and was kept; results not "
                                  "written (use --force to overwrite it)"),
                              m_szOutputPath.c_str()));
        return EXIT_NOT_WRITTEN;
    }
    if (!m_writeOutcome.ok) {
        m_display.Line("tarvex-read: " + m_szOutputPath + ": " + m_writeOutcome.reason);
        return EXIT_NOT_WRITTEN;
    }
    return EXIT_WRITTEN;
}

void ArchiveReader::AwaitClosingReply() {
    // The closing frame sits in the mailbox; stopping the link at once could
    // leave it unsent. Its reply (or one reply time-out) is the end.
    const auto deadline = std::chrono::steady_clock::now() +
                          std::chrono::milliseconds(m_options.m_nReplyTimeout + 1000);
    for (;;) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
            deadline - std::chrono::steady_clock::now());
        if (left.count() <= 0)
            return;
        std::optional<ReaderEvent> event = m_events.Pop(left);
        if (!event)
            return;
        if (event->kind == ReaderEvent::Interrupt)
            return;
        if (event->kind == ReaderEvent::Reply) {
            if (event->bytes.size() < 3 || event->bytes[2] == CMD_PRESENCE)
                return;
        } else if (event->kind == ReaderEvent::Status) {
            ShowStatus(event->text);
        } else {
            m_display.Line(Trimmed(Cp1251ToUtf8(event->text)));
        }
    }
}

void ArchiveReader::Finish(int nPort) {
    m_link.Stop();
    // A device given on the command line is no COM port: the settings keep
    // the port and the adapter they had.
    if (!m_options.m_szDevice.empty())
        return;
    int nError = 0;
    if (SavePortSetting(nPort) != 1)
        nError = errno != 0 ? errno : EIO;
    if (const std::optional<std::string> adapter = m_link.DeviceToRemember())
        if (SaveDeviceSetting(*adapter) != 1 && nError == 0)
            nError = errno != 0 ? errno : EIO;
    if (nError == 0)
        return;
    // Only the next search loses by it; the results file stands as it is.
    const char* path = GetSettingsPath();
    m_display.Line("tarvex-read: " +
                   Format(Msg("the port COM%d could not be remembered in %s (%s); the next search "
                              "starts from the port saved before"),
                          nPort, path[0] != '\0' ? path : "Vextar.ini", std::strerror(nError)));
}

int ArchiveReader::Run() {
    if (!m_options.m_szDevice.empty())
        m_link.OnlyDevice(m_options.m_szDevice);
    else if (m_options.m_nPort == 0)
        m_link.SavedDevice(LoadDeviceSetting());
    m_link.PortNumber(m_options.m_nPort > 0 ? m_options.m_nPort : LoadPortSetting());
    if (!m_link.Start(this)) {
        m_display.Line(std::string("tarvex-read: ") + Msg("the link could not be started"));
        return EXIT_NOT_FOUND;
    }
    int status = WaitForInstrument();
    if (status == EXIT_WRITTEN)
        status = Download();
    m_display.Finish();
    Finish(m_link.PortNumber(-1));
    if ((status == EXIT_WRITTEN || status == EXIT_MAY_HAVE_LOST || status == EXIT_HISTORY_WAITS ||
         status == EXIT_HISTORY_REFUSED) &&
        !m_bNothingNew)
        std::printf("%s: %s\n", m_szOutputPath.c_str(),
                    Format(MsgN("%d record", "%d records", static_cast<unsigned long>(m_nWritten)),
                           m_nWritten)
                        .c_str());
    return status;
}
