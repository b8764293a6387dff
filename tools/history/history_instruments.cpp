#include "tools/history/history_instruments.h"

#include <charconv>
#include <cstdio>
#include <ctime>

#include "archive/results_format.h"
#include "platform/messages.h"

namespace {

std::string LocalTime(std::int64_t seconds) {
    const std::time_t t = static_cast<std::time_t>(seconds);
    std::tm local{};
    char text[32];
    if (seconds <= 0 || localtime_r(&t, &local) == nullptr)
        return "-";
    return std::string(text, std::strftime(text, sizeof text, "%Y-%m-%d %H:%M", &local));
}

int ListInstruments(history::RecordStore& store) {
    const auto instruments = store.instruments();
    std::fputs("   N  Имя             Записей  Чтений  Последнее чтение  Устройство\n", stdout);
    for (const history::InstrumentInfo& i : instruments) {
        // The name column is counted in bytes; a Cyrillic name only shifts its row.
        std::fputs(
            FormatClassic("%4lld  %-14s  %7lld  %6lld  %-16s  %s\n", static_cast<long long>(i.id),
                          i.name.empty() ? "-" : i.name.c_str(), static_cast<long long>(i.records),
                          static_cast<long long>(i.downloads),
                          LocalTime(i.lastDownloadTime).c_str(), i.device.c_str())
                .c_str(),
            stdout);
    }
    std::printf("%s\n", Format(MsgN("%ld instrument", "%ld instruments",
                                    static_cast<unsigned long>(instruments.size())),
                               static_cast<long>(instruments.size()))
                            .c_str());
    return HISTORY_OK;
}

} // namespace

std::optional<std::int64_t> FindInstrument(history::RecordStore& store, const std::string& text,
                                           std::string& error) {
    const auto instruments = store.instruments();
    for (const history::InstrumentInfo& i : instruments)
        if (!i.name.empty() && i.name == text)
            return i.id;
    std::int64_t id = 0;
    const char* end = text.data() + text.size();
    const auto [ptr, ec] = std::from_chars(text.data(), end, id);
    if (ec == std::errc() && ptr == end)
        for (const history::InstrumentInfo& i : instruments)
            if (i.id == id)
                return i.id;
    error = Format(Msg("the history holds no instrument '%s' (see tarvex-history instruments)"),
                   text.c_str());
    return std::nullopt;
}

std::map<std::int64_t, std::string> InstrumentColumn(history::RecordStore& store) {
    std::map<std::int64_t, std::string> column;
    for (const history::InstrumentInfo& i : store.instruments())
        column[i.id] = i.name.empty() ? std::to_string(i.id) : i.name;
    return column;
}

int RunInstrumentCommand(history::RecordStore& store, const HistoryOptions& options) {
    if (options.command == HistoryCommand::Instruments)
        return ListInstruments(store);
    std::string error;
    const auto first = FindInstrument(store, options.operands[0], error);
    if (!first) {
        std::fprintf(stderr, "tarvex-history: %s\n", error.c_str());
        return HISTORY_BAD_USAGE;
    }
    if (options.command == HistoryCommand::Name) {
        const std::string& name = options.operands[1];
        std::string taken;
        if (FindInstrument(store, name, taken).value_or(*first) != *first) {
            // Another instrument's number as a name would make that number ambiguous.
            std::fprintf(stderr, "tarvex-history: %s\n",
                         Format(Msg("'%s' cannot name instrument %lld: it names another "
                                    "instrument already (see tarvex-history instruments)"),
                                name.c_str(), static_cast<long long>(*first))
                             .c_str());
            return HISTORY_BAD_USAGE;
        }
        store.nameInstrument(*first, name);
        std::printf("%s\n", Format(Msg("instrument %lld is now named '%s'"),
                                   static_cast<long long>(*first), name.c_str())
                                .c_str());
        return HISTORY_OK;
    }
    const auto second = FindInstrument(store, options.operands[1], error);
    if (!second) {
        std::fprintf(stderr, "tarvex-history: %s\n", error.c_str());
        return HISTORY_BAD_USAGE;
    }
    if (*first == *second) {
        std::fprintf(stderr, "tarvex-history: %s\n", Msg("join takes two different instruments"));
        return HISTORY_BAD_USAGE;
    }
    store.joinInstruments(*first, *second);
    std::printf("%s\n", Format(Msg("instrument %lld is now part of instrument %lld"),
                               static_cast<long long>(*second), static_cast<long long>(*first))
                            .c_str());
    return HISTORY_OK;
}
