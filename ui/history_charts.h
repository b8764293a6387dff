// The history window's charts, made from the records it has loaded: tgD
// against temperature for the chosen samples, and tgD over time for one.
// A sample is a sample of one instrument: two instruments' equal sample
// numbers are two samples.
#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <set>
#include <span>
#include <string>
#include <utility>

#include "exports/chart.h"
#include "history/record_store.h"

// Samples beyond this many are left out of the temperature chart: more
// lines than that cannot be told apart.
constexpr std::size_t CHART_MAX_SAMPLES = 8;

// (instrument id, sample number).
using SampleKey = std::pair<std::int64_t, int>;

// How the charts name instruments (history::InstrumentLabel), by id.
using InstrumentLabels = std::map<std::int64_t, std::string>;

// tgD against temperature: for one sample a line per measuring cell (as in
// the PDF report), for several a line per sample, named with its instrument
// when they come from more than one. Nothing when fewer than two
// temperatures have a tgD that can be drawn.
std::optional<exports::ChartSpec> TemperatureChartOf(std::span<const history::StoredRecord> records,
                                                     const std::set<SampleKey>& samples,
                                                     const InstrumentLabels& instruments = {});

// tgD over the measurement time for one sample, a line per cell; undated
// records are left out. Nothing when fewer than two points can be drawn.
std::optional<exports::ChartSpec> TimeChartOf(std::span<const history::StoredRecord> records,
                                              SampleKey sample);
