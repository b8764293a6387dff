#include "tools/history/history_list.h"

#include <string>

#include "archive/results_format.h"
#include "history/record_fields.h"
#include "platform/messages.h"

namespace {

// Measurement time as "YYYY-MM-DD" and "HH:MM"; the clock bytes as the
// instrument wrote them when they are no date.
void DateAndTime(const history::StoredRecord& stored, std::string& date, std::string& time) {
    const ArchiveRecord& r = stored.record;
    if (stored.measured) {
        const std::string text = history::formatMinutes(*stored.measured);
        date = text.substr(0, 10);
        time = text.substr(11);
        return;
    }
    date = FormatClassic("%02x.%02x.%02x", unsigned(r.dayBcd()), unsigned(r.monthBcd()),
                         unsigned(r.yearBcd()));
    time = FormatClassic("%02x:%02x", unsigned(r.hourBcd()), unsigned(r.minuteBcd()));
}

bool HasTemperature(const ArchiveRecord& r) {
    return r.temperature() >= -49;
}

bool IsEmptyCell(const ArchiveRecord& r) {
    return r.kind() == RecordKindEmptyCell;
}

// A name with a comma or a quote is quoted, the quotes doubled.
std::string CsvField(const std::string& text) {
    if (text.find_first_of(",\"\n") == std::string::npos)
        return text;
    std::string quoted = "\"";
    for (const char c : text)
        quoted += c == '"' ? std::string("\"\"") : std::string(1, c);
    return quoted + "\"";
}

} // namespace

RecordLister::RecordLister(std::FILE* out, bool csv,
                           const std::map<std::int64_t, std::string>* instruments)
    : m_out(out), m_csv(csv), m_instruments(instruments) {
    if (csv)
        std::fputs("date,time,sample,cell,kind,temperature_c,voltage_v,frequency_hz,ex_or_co_pf,"
                   "tgd",
                   out);
    else
        std::fputs("Дата        Время  Проба  Nя  Темп.,С     U,В   F,Гц       Ex / Co      tgD",
                   out);
    std::fputs(!instruments ? "\n" : csv ? ",instrument\n" : "  Прибор\n", out);
}

void RecordLister::Add(const history::StoredRecord& stored) {
    const ArchiveRecord& r = stored.record;
    std::string date, time;
    DateAndTime(stored, date, time);
    ++m_count;
    std::string instrument;
    if (m_instruments) {
        const auto known = m_instruments->find(stored.instrument);
        instrument =
            known != m_instruments->end() ? known->second : std::to_string(stored.instrument);
    }
    if (m_csv) {
        const std::string temperature =
            HasTemperature(r) ? FormatClassic("%d", r.temperature()) : std::string();
        std::fputs(FormatClassic("%s,%s,%u,%u,%s,%s,%.7g,%.7g,%.7g,%.7g", date.c_str(),
                                 time.c_str(), unsigned(r.sampleNumber()), unsigned(r.cellNumber()),
                                 IsEmptyCell(r) ? "empty_cell" : "sample", temperature.c_str(),
                                 double(r.voltage()), double(r.frequency()), double(r.exOrCo()),
                                 double(r.tgD()))
                       .c_str(),
                   m_out);
        std::fputs(m_instruments ? ("," + CsvField(instrument) + "\n").c_str() : "\n", m_out);
        return;
    }
    const std::string temperature =
        HasTemperature(r) ? FormatClassic("%7d", r.temperature()) : std::string("      -");
    const char* label = IsEmptyCell(r) ? "Co" : "Ex";
    std::fputs(FormatClassic("%-10s  %-5s  %5u  %2u  %s  %6.1f  %5.1f  %s %9.4f  %7.5f",
                             date.c_str(), time.c_str(), unsigned(r.sampleNumber()),
                             unsigned(r.cellNumber()), temperature.c_str(), double(r.voltage()),
                             double(r.frequency()), label, double(r.exOrCo()), double(r.tgD()))
                   .c_str(),
               m_out);
    std::fputs(m_instruments ? ("  " + instrument + "\n").c_str() : "\n", m_out);
}

long RecordLister::Finish() {
    if (!m_csv)
        std::fprintf(
            m_out, "%s\n",
            Format(MsgN("%ld record", "%ld records", static_cast<unsigned long>(m_count)), m_count)
                .c_str());
    return m_count;
}
