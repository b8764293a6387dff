// The history window's charts, made from the records it has loaded: tgD
// against temperature for the chosen samples, and tgD over time for one.
#pragma once

#include <optional>
#include <set>
#include <span>

#include "exports/chart.h"
#include "history/record_store.h"

// Samples beyond this many are left out of the temperature chart: more
// lines than that cannot be told apart.
constexpr std::size_t CHART_MAX_SAMPLES = 8;

// tgD against temperature: for one sample a line per measuring cell (as in
// the PDF report), for several a line per sample. Nothing when fewer than
// two temperatures have a tgD that can be drawn.
std::optional<exports::ChartSpec> TemperatureChartOf(std::span<const history::StoredRecord> records,
                                                     const std::set<int>& samples);

// tgD over the measurement time for one sample, a line per cell; undated
// records are left out. Nothing when fewer than two points can be drawn.
std::optional<exports::ChartSpec> TimeChartOf(std::span<const history::StoredRecord> records,
                                              int sample);
