#include "exports/chart.h"

#include <algorithm>
#include <cairo.h>
#include <cmath>
#include <map>
#include <set>

#include "archive/results_format.h"
#include "exports/text_painter.h"
#include "exports/time_axis.h"

namespace exports {

namespace {

struct Rgb {
    double r, g, b;
};
// Eight colours that are told apart easily; cells 1 to 6 take the first six.
constexpr Rgb PALETTE[] = {{0.12, 0.38, 0.70}, {0.85, 0.37, 0.01}, {0.17, 0.60, 0.17},
                           {0.80, 0.10, 0.15}, {0.50, 0.30, 0.65}, {0.55, 0.34, 0.29},
                           {0.89, 0.38, 0.72}, {0.09, 0.65, 0.72}};

const Rgb& SeriesColour(const ChartSpec& chart, std::size_t i) {
    const int cell = chart.series[i].cell;
    const std::size_t slot = cell > 0 ? std::size_t(cell - 1) : i;
    return PALETTE[slot % std::size(PALETTE)];
}

struct Range {
    double lo, hi;
};

bool Drawable(const ChartSpec& chart, const ChartPoint& p) {
    return std::isfinite(p.x) && std::isfinite(p.y) && (!chart.logY || p.y > 0);
}

// Extent of the drawable points; a single value is widened so that it has room.
std::optional<std::pair<Range, Range>> Extent(const ChartSpec& chart) {
    Range x{HUGE_VAL, -HUGE_VAL}, y{HUGE_VAL, -HUGE_VAL};
    for (const ChartSeries& s : chart.series)
        for (const ChartPoint& p : s.points)
            if (Drawable(chart, p)) {
                x = {std::min(x.lo, p.x), std::max(x.hi, p.x)};
                y = {std::min(y.lo, p.y), std::max(y.hi, p.y)};
            }
    if (x.lo > x.hi)
        return std::nullopt;
    // A margin on both sides, so that no marker sits on the frame; on a time
    // axis at least five minutes, so that a whole minute gets a label.
    double margin = x.lo == x.hi ? 1 : (x.hi - x.lo) * 0.04;
    if (chart.xIsTime)
        margin = std::max(margin, 300.0);
    x = {x.lo - margin, x.hi + margin};
    if (chart.logY) {
        y = {std::pow(10.0, std::floor(std::log10(y.lo))),
             std::pow(10.0, std::ceil(std::log10(y.hi)))};
        if (y.lo == y.hi)
            y.hi *= 10;
    } else if (y.lo == y.hi) {
        y = {y.lo - 1, y.hi + 1};
    }
    return std::make_pair(x, y);
}

// A step of 1, 2 or 5 times a power of ten that gives about count ticks.
double NiceStep(double span, int count) {
    const double raw = span / count;
    const double power = std::pow(10.0, std::floor(std::log10(raw)));
    for (double m : {1.0, 2.0, 5.0})
        if (raw <= m * power)
            return m * power;
    return 10 * power;
}

std::string DecadeLabel(int exponent) {
    static const char* const SUPERSCRIPT[] = {"⁰", "¹", "²", "³", "⁴", "⁵", "⁶", "⁷", "⁸", "⁹"};
    std::string text = "10";
    if (exponent < 0)
        text += "⁻";
    for (char digit : std::to_string(std::abs(exponent)))
        text += SUPERSCRIPT[digit - '0'];
    return text;
}

std::string NumberLabel(double value, double step) {
    std::string text = FormatClassic("%.*f", step < 1 ? int(std::ceil(-std::log10(step))) : 0,
                                     value == 0 ? 0.0 : value);
    ReplaceDots(text, ',', 1);
    return text;
}

// The marks of the x axis: round numbers, or whole minutes, hours, days,
// months or years of the local calendar, as many as the width has room for.
std::vector<TimeTick> XTicks(TextPainter& text, const ChartSpec& chart, Range x, double width) {
    if (chart.xIsTime)
        return TimeTicks(x.lo, x.hi, std::max(2, int(width / (text.Width("00.00.00") + 14))));
    std::vector<TimeTick> ticks;
    const double step = NiceStep(x.hi - x.lo, 8);
    for (double v = std::ceil(x.lo / step) * step; v <= x.hi + step / 1e6; v += step)
        ticks.push_back({v, NumberLabel(v, step), {}});
    return ticks;
}

class Plot {
public:
    Plot(cairo_t* cr, const ChartBox& area, Range x, Range y, bool logY)
        : m_cr(cr), m_area(area), m_x(x), m_y(y), m_logY(logY) {}

    double X(double value) const {
        return m_area.x + (value - m_x.lo) / (m_x.hi - m_x.lo) * m_area.width;
    }
    double Y(double value) const {
        const double t = m_logY ? (std::log10(value) - std::log10(m_y.lo)) /
                                      (std::log10(m_y.hi) - std::log10(m_y.lo))
                                : (value - m_y.lo) / (m_y.hi - m_y.lo);
        return m_area.y + m_area.height * (1 - t);
    }
    void HorizontalLine(double y) {
        cairo_move_to(m_cr, m_area.x, y);
        cairo_line_to(m_cr, m_area.x + m_area.width, y);
        cairo_stroke(m_cr);
    }
    void VerticalLine(double x) {
        cairo_move_to(m_cr, x, m_area.y);
        cairo_line_to(m_cr, x, m_area.y + m_area.height);
        cairo_stroke(m_cr);
    }

private:
    cairo_t* m_cr;
    ChartBox m_area;
    Range m_x, m_y;
    bool m_logY;
};

void DrawYGrid(cairo_t* cr, TextPainter& text, Plot& plot, const ChartBox& area, Range y,
               bool logY) {
    const double labelHeight = text.Height();
    if (logY) {
        const int first = int(std::lround(std::log10(y.lo))),
                  last = int(std::lround(std::log10(y.hi)));
        for (int e = first; e <= last; ++e) {
            cairo_set_source_rgb(cr, 0.8, 0.8, 0.8);
            for (int m = 2; m <= 9 && e < last; ++m)
                plot.HorizontalLine(plot.Y(m * std::pow(10.0, e)));
            cairo_set_source_rgb(cr, 0.55, 0.55, 0.55);
            plot.HorizontalLine(plot.Y(std::pow(10.0, e)));
            cairo_set_source_rgb(cr, 0, 0, 0);
            text.Draw(DecadeLabel(e), area.x - 4, plot.Y(std::pow(10.0, e)) - labelHeight / 2,
                      Align::Right);
        }
        return;
    }
    const double step = NiceStep(y.hi - y.lo, 5);
    for (double v = std::ceil(y.lo / step) * step; v <= y.hi + step / 1e6; v += step) {
        cairo_set_source_rgb(cr, 0.75, 0.75, 0.75);
        plot.HorizontalLine(plot.Y(v));
        cairo_set_source_rgb(cr, 0, 0, 0);
        text.Draw(NumberLabel(v, step), area.x - 4, plot.Y(v) - labelHeight / 2, Align::Right);
    }
}

void DrawXGrid(cairo_t* cr, TextPainter& text, Plot& plot, const ChartBox& area,
               const std::vector<TimeTick>& ticks) {
    const double below = area.y + area.height + 3;
    for (const TimeTick& tick : ticks) {
        cairo_set_source_rgb(cr, 0.75, 0.75, 0.75);
        plot.VerticalLine(plot.X(tick.value));
        cairo_set_source_rgb(cr, 0, 0, 0);
        text.Draw(tick.label, plot.X(tick.value), below, Align::Center);
        if (!tick.date.empty())
            text.Draw(tick.date, plot.X(tick.value), below + text.Height(), Align::Center);
    }
}

void DrawSeries(cairo_t* cr, const Plot& plot, const ChartSpec& chart, const ChartSeries& series,
                const Rgb& colour) {
    std::vector<ChartPoint> points;
    for (const ChartPoint& p : series.points)
        if (Drawable(chart, p))
            points.push_back(p);
    std::stable_sort(points.begin(), points.end(),
                     [](const ChartPoint& a, const ChartPoint& b) { return a.x < b.x; });
    cairo_set_source_rgb(cr, colour.r, colour.g, colour.b);
    cairo_set_line_width(cr, 1.5);
    for (std::size_t i = 0; i < points.size(); ++i) {
        const double px = plot.X(points[i].x), py = plot.Y(points[i].y);
        i == 0 ? cairo_move_to(cr, px, py) : cairo_line_to(cr, px, py);
    }
    cairo_stroke(cr);
    for (const ChartPoint& p : points) {
        cairo_arc(cr, plot.X(p.x), plot.Y(p.y), 2.5, 0, 2 * M_PI);
        cairo_fill(cr);
    }
}

void DrawLegend(cairo_t* cr, TextPainter& text, const ChartBox& box, const ChartSpec& chart) {
    double y = box.y;
    const double lineHeight = text.Height() + 2;
    for (std::size_t i = 0; i < chart.series.size(); ++i, y += lineHeight) {
        const Rgb& colour = SeriesColour(chart, i);
        cairo_set_source_rgb(cr, colour.r, colour.g, colour.b);
        cairo_rectangle(cr, box.x, y + lineHeight / 2 - 4, 12, 6);
        cairo_fill(cr);
        cairo_set_source_rgb(cr, 0, 0, 0);
        text.Draw(chart.series[i].name, box.x + 16, y);
    }
}

} // namespace

void DrawChart(cairo_t* cr, const ChartBox& box, const ChartSpec& chart) {
    cairo_save(cr);
    TextPainter text(cr);
    const double fontSize = std::clamp(box.height / 24, 7.0, 11.0);
    text.SetFont(fontSize * 1.1, true);
    cairo_set_source_rgb(cr, 0, 0, 0);
    text.Draw(chart.title, box.x + box.width / 2, box.y, Align::Center);
    const double titleHeight = text.Height() + 4;
    text.SetFont(fontSize);
    const double lineHeight = text.Height();

    double legendWidth = 0;
    for (const ChartSeries& s : chart.series)
        legendWidth = std::max(legendWidth, text.Width(s.name) + 24);
    const auto extent = Extent(chart);
    const double areaWidth = box.width - 4 * lineHeight - legendWidth - 8;
    if (!extent || areaWidth <= 0) {
        cairo_restore(cr);
        return;
    }
    const std::vector<TimeTick> ticks = XTicks(text, chart, extent->first, areaWidth);
    // Times of day carry their date on a second line.
    const int tickLines =
        std::any_of(ticks.begin(), ticks.end(), [](const TimeTick& t) { return !t.date.empty(); })
            ? 2
            : 1;
    const ChartBox area{box.x + 4 * lineHeight, box.y + titleHeight + lineHeight / 2, areaWidth,
                        box.height - titleHeight - (1.5 + tickLines) * lineHeight - 6};
    if (area.height <= 0) {
        cairo_restore(cr);
        return;
    }
    Plot plot(cr, area, extent->first, extent->second, chart.logY);
    cairo_set_line_width(cr, 0.5);
    DrawYGrid(cr, text, plot, area, extent->second, chart.logY);
    DrawXGrid(cr, text, plot, area, ticks);
    cairo_set_source_rgb(cr, 0, 0, 0);
    cairo_set_line_width(cr, 0.8);
    cairo_rectangle(cr, area.x, area.y, area.width, area.height);
    cairo_stroke(cr);
    text.Draw(chart.xLabel, area.x + area.width / 2,
              area.y + area.height + tickLines * lineHeight + 4, Align::Center);
    text.DrawUpwards(chart.yLabel, box.x, area.y + area.height / 2);

    cairo_save(cr);
    cairo_rectangle(cr, area.x, area.y, area.width, area.height);
    cairo_clip(cr);
    for (std::size_t i = 0; i < chart.series.size(); ++i)
        DrawSeries(cr, plot, chart, chart.series[i], SeriesColour(chart, i));
    cairo_restore(cr);
    DrawLegend(cr, text, {area.x + area.width + 8, area.y, legendWidth, area.height}, chart);
    cairo_restore(cr);
}

ChartSeries CellSeries(int cell) {
    return {"ячейка N" + std::to_string(cell), {}, cell};
}

std::optional<ChartSpec> TgdTemperatureChart(std::span<const ArchiveRecord* const> records,
                                             int sample) {
    std::map<int, ChartSeries> byCell;
    std::set<int> temperatures;
    ChartSpec chart;
    for (const ArchiveRecord* r : records) {
        if (r->kind() != RecordKindSample || r->sampleNumber() != sample || r->temperature() < -49)
            continue;
        const ChartPoint point{double(r->temperature()), double(r->tgD())};
        if (!Drawable(chart, point))
            continue;
        const int cell = r->cellNumber();
        byCell.try_emplace(cell, CellSeries(cell)).first->second.points.push_back(point);
        temperatures.insert(r->temperature());
    }
    if (temperatures.size() < 2)
        return std::nullopt;
    chart.title = "Проба масла " + std::to_string(sample) + ": tgD от температуры";
    chart.xLabel = "Температура, °С";
    chart.yLabel = "tgD";
    for (auto& [cell, series] : byCell)
        chart.series.push_back(std::move(series));
    return chart;
}

} // namespace exports
