// A line chart drawn with cairo: the PDF report draws it on its page, and a
// window can draw it on screen by wrapping its image in a cairo surface
// (cairo_image_surface_create_for_data over a premultiplied ARGB32 image).
#pragma once

#include <optional>
#include <span>
#include <string>
#include <vector>

#include "archive/archive_record.h"

typedef struct _cairo cairo_t;

namespace exports {

struct ChartPoint {
    double x, y;
};

struct ChartSeries {
    std::string name; // legend text, UTF-8
    std::vector<ChartPoint> points;
    // The measuring cell the line belongs to: a cell has one colour in every
    // chart, whatever other cells it holds. 0 for other lines (samples),
    // coloured by their place in the chart.
    int cell = 0;
};

struct ChartSpec {
    std::string title, xLabel, yLabel; // UTF-8
    bool logY = true;                  // points with y <= 0 cannot be shown on it and are left out
    bool xIsTime = false; // x is seconds since the epoch, labelled with local dates or times
    std::vector<ChartSeries> series;
};

struct ChartBox {
    double x, y, width, height; // in the units of the surface
};

// Draws the chart inside box: frame, grid, axis labels, one coloured line
// with markers per series (points joined in x order) and a legend. Leaves
// the cairo state as it found it.
void DrawChart(cairo_t* cr, const ChartBox& box, const ChartSpec& chart);

// The line of one measuring cell, without points: "ячейка N<cell>", in the
// cell's colour.
ChartSeries CellSeries(int cell);

// The chart of tgD against temperature for the oil-sample records among
// records that belong to sample, one series per measuring cell; none when
// fewer than two temperatures have a tgD that can be drawn.
std::optional<ChartSpec> TgdTemperatureChart(std::span<const ArchiveRecord* const> records,
                                             int sample);

} // namespace exports
