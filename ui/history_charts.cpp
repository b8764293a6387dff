#include "ui/history_charts.h"

#include <cmath>
#include <ctime>
#include <map>
#include <string>
#include <vector>

namespace {

bool Drawable(double tgD) {
    return std::isfinite(tgD) && tgD > 0; // the tgD axis is logarithmic
}

bool IsSampleOf(const history::StoredRecord& stored, const std::set<SampleKey>& samples) {
    const ArchiveRecord& r = stored.record;
    return r.kind() == RecordKindSample &&
           samples.count({stored.instrument, r.sampleNumber()}) != 0;
}

// The instrument's clock has no time zone: its reading is taken as local
// time, which is how the chart labels its dates.
double EpochSeconds(history::Minutes minutes) {
    std::tm tm{};
    tm.tm_year = 100;
    tm.tm_mday = 1;
    tm.tm_min = static_cast<int>(minutes % 60);
    tm.tm_hour = static_cast<int>(minutes / 60 % 24);
    tm.tm_mday += static_cast<int>(minutes / (24 * 60));
    tm.tm_isdst = -1;
    return static_cast<double>(std::mktime(&tm)); // normalises the day count
}

std::string InstrumentName(const InstrumentLabels& instruments, std::int64_t id) {
    const auto known = instruments.find(id);
    return known != instruments.end() ? known->second : "№ " + std::to_string(id);
}

// "5, 7" for one instrument's samples; "5 (прибор A), 5 (прибор B)" for several.
std::string SampleName(const SampleKey& sample, bool withInstrument,
                       const InstrumentLabels& instruments) {
    std::string text = std::to_string(sample.second);
    if (withInstrument)
        text += " (прибор " + InstrumentName(instruments, sample.first) + ")";
    return text;
}

std::size_t PointCount(const exports::ChartSpec& chart) {
    std::size_t count = 0;
    for (const exports::ChartSeries& series : chart.series)
        count += series.points.size();
    return count;
}

} // namespace

std::optional<exports::ChartSpec> TemperatureChartOf(std::span<const history::StoredRecord> records,
                                                     const std::set<SampleKey>& samples,
                                                     const InstrumentLabels& instruments) {
    std::set<SampleKey> shown;
    for (auto it = samples.begin(); it != samples.end() && shown.size() < CHART_MAX_SAMPLES; ++it)
        shown.insert(*it);
    if (shown.size() == 1) {
        std::vector<const ArchiveRecord*> pointers;
        for (const history::StoredRecord& stored : records)
            if (IsSampleOf(stored, shown))
                pointers.push_back(&stored.record);
        return exports::TgdTemperatureChart(pointers, shown.begin()->second);
    }
    const bool severalInstruments = shown.begin()->first != shown.rbegin()->first;
    std::map<SampleKey, exports::ChartSeries> bySample;
    std::set<int> temperatures;
    for (const history::StoredRecord& stored : records) {
        const ArchiveRecord& r = stored.record;
        if (!IsSampleOf(stored, shown) || r.temperature() < -49 || !Drawable(r.tgD()))
            continue;
        const SampleKey key{stored.instrument, r.sampleNumber()};
        exports::ChartSeries& series = bySample[key];
        series.name = "проба " + SampleName(key, severalInstruments, instruments);
        series.points.push_back({double(r.temperature()), double(r.tgD())});
        temperatures.insert(r.temperature());
    }
    if (temperatures.size() < 2)
        return std::nullopt;
    exports::ChartSpec chart;
    std::string list;
    for (const SampleKey& sample : shown)
        list += (list.empty() ? "" : ", ") + SampleName(sample, severalInstruments, instruments);
    chart.title = "tgD от температуры: пробы " + list;
    if (shown.size() < samples.size())
        chart.title += " (первые " + std::to_string(CHART_MAX_SAMPLES) + ")";
    chart.xLabel = "Температура, °С";
    chart.yLabel = "tgD";
    for (auto& [sample, series] : bySample)
        chart.series.push_back(std::move(series));
    return chart;
}

std::optional<exports::ChartSpec> TimeChartOf(std::span<const history::StoredRecord> records,
                                              SampleKey sample) {
    std::map<int, exports::ChartSeries> byCell;
    const std::set<SampleKey> samples{sample};
    for (const history::StoredRecord& stored : records) {
        const ArchiveRecord& r = stored.record;
        if (!stored.measured || !IsSampleOf(stored, samples) || !Drawable(r.tgD()))
            continue;
        const int cell = r.cellNumber();
        byCell.try_emplace(cell, exports::CellSeries(cell))
            .first->second.points.push_back({EpochSeconds(*stored.measured), double(r.tgD())});
    }
    exports::ChartSpec chart;
    chart.title = "Проба масла " + std::to_string(sample.second) + ": tgD во времени";
    chart.xLabel = "Дата измерения";
    chart.yLabel = "tgD";
    chart.xIsTime = true;
    for (auto& [cell, series] : byCell)
        chart.series.push_back(std::move(series));
    if (PointCount(chart) < 2)
        return std::nullopt;
    return chart;
}
