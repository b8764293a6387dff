#include "exports/pdf_report.h"

#include <cairo-pdf.h>
#include <cairo.h>
#include <cmath>
#include <map>
#include <optional>

#include "archive/results_format.h"
#include "exports/chart.h"
#include "exports/text_painter.h"

namespace exports {

namespace {

constexpr double PAGE_WIDTH = 595.28, PAGE_HEIGHT = 841.89; // A4 in points
constexpr double MARGIN = 50, BOTTOM = PAGE_HEIGHT - 60;
constexpr double BODY_WIDTH = PAGE_WIDTH - 2 * MARGIN;
constexpr double ROW = 13, HEADING = 24, CHART = 230, FONT = 8.5;

struct Column {
    const char* header;
    double width;
    Align align;
};
constexpr Column RECORD_COLUMNS[] = {
    {"Дата и время", 92, Align::Left}, {"Nя", 30, Align::Right},
    {"Темп., °С", 62, Align::Right},   {"U, В", 60, Align::Right},
    {"F, Гц", 52, Align::Right},       {"Ex / Co, пФ", 109, Align::Right},
    {"tgD", 90, Align::Right},
};
constexpr Column CELL_COLUMNS[] = {
    {"Nя", 60, Align::Right}, {"Co, пФ", 120, Align::Right}, {"tgDo", 120, Align::Right}};

// Numbers as the text report writes them: a decimal comma, whatever the locale.
// One far beyond what the instrument measures (a damaged record: Ex 3.4e38)
// is shown with an exponent, which its column has room for.
std::string Number(double value, int decimals) {
    if (std::isnan(value))
        return "не число";
    if (std::isinf(value))
        return value > 0 ? "+∞" : "−∞";
    std::string text = std::fabs(value) < 1e7 ? FormatClassic("%.*f", decimals, value)
                                              : FormatClassic("%.4e", value);
    ReplaceDots(text, ',', 1);
    return text;
}

std::string ClockText(const ArchiveRecord& r) {
    const auto clock = DecodeClock(r);
    if (!clock)
        return RawClockText(r);
    return FormatClassic("%02d.%02d.%04d %02d:%02d", clock->day, clock->month, clock->year,
                         clock->hour, clock->minute);
}

std::vector<std::string> RecordCells(const ArchiveRecord& r) {
    const auto degrees = Temperature(r);
    const bool emptyCell = r.kind() == RecordKindEmptyCell;
    return {ClockText(r),
            std::to_string(r.cellNumber()),
            degrees ? std::to_string(*degrees) : "нет датчика",
            Number(r.voltage(), 1),
            Number(r.frequency(), 1),
            emptyCell ? "Co=" + Number(r.exOrCo(), 4) : "Ex=" + Number(r.exOrCo(), 5),
            (emptyCell ? "tgDo=" : "tgDx=") + Number(r.tgD(), 5)};
}

// Records of one oil sample, or the empty-cell measurements (sample < 0).
struct Group {
    int sample;
    std::vector<const ArchiveRecord*> records;
};

std::vector<Group> GroupBySample(const std::vector<const ArchiveRecord*>& records) {
    std::vector<Group> groups;
    std::map<int, std::size_t> index;
    Group emptyCells{-1, {}};
    for (const ArchiveRecord* r : records) {
        if (r->kind() == RecordKindEmptyCell) {
            emptyCells.records.push_back(r);
            continue;
        }
        auto [it, added] = index.try_emplace(r->sampleNumber(), groups.size());
        if (added)
            groups.push_back({r->sampleNumber(), {}});
        groups[it->second].records.push_back(r);
    }
    if (!emptyCells.records.empty())
        groups.push_back(std::move(emptyCells));
    return groups;
}

// Lays the report out page by page. Without a cairo context it only counts
// the pages, so that the real pass can print "стр. N из M".
class ReportPages {
public:
    ReportPages(cairo_t* cr, int totalPages) : m_cr(cr), m_totalPages(totalPages) {
        if (cr != nullptr)
            m_text.emplace(cr);
    }

    int Pages() const { return m_page; }

    // Starts a new page when height does not fit below y; true if it did.
    bool Need(double height) {
        if (m_y + height <= BOTTOM)
            return false;
        EndPage();
        ++m_page;
        m_y = MARGIN;
        return true;
    }
    void EndPage() {
        if (!m_text)
            return;
        m_text->SetFont(FONT);
        cairo_set_source_rgb(m_cr, 0.3, 0.3, 0.3);
        m_text->Draw("стр. " + std::to_string(m_page) + " из " + std::to_string(m_totalPages),
                     PAGE_WIDTH / 2, PAGE_HEIGHT - 40, Align::Center);
        cairo_show_page(m_cr);
    }

    void Line(const std::string& text, double size, bool bold, double height) {
        Need(height);
        if (m_text) {
            m_text->SetFont(size, bold);
            cairo_set_source_rgb(m_cr, 0, 0, 0);
            m_text->Draw(text, MARGIN, m_y);
        }
        m_y += height;
    }

    template <std::size_t N>
    void Row(const Column (&columns)[N], const std::vector<std::string>& cells, bool header) {
        if (m_text) {
            m_text->SetFont(FONT, header);
            cairo_set_source_rgb(m_cr, 0, 0, 0);
            double x = MARGIN;
            for (std::size_t i = 0; i < N; ++i) {
                Cell(columns[i], x, header ? columns[i].header : cells[i], header);
                x += columns[i].width;
            }
            if (header) {
                cairo_set_line_width(m_cr, 0.6);
                cairo_move_to(m_cr, MARGIN, m_y + ROW);
                cairo_line_to(m_cr, x, m_y + ROW);
                cairo_stroke(m_cr);
            }
        }
        m_y += ROW;
    }

    // A text that is wider than its column is set smaller, down to a size
    // still legible, and cut at the column's edges beyond that: it never
    // covers its neighbours.
    void Cell(const Column& c, double x, const std::string& text, bool bold) {
        constexpr double PADDING = 2, SMALLEST = 5;
        const double room = c.width - 2 * PADDING, width = m_text->Width(text);
        const double height = m_text->Height();
        const bool wide = width > room;
        if (wide) {
            m_text->SetFont(std::max(SMALLEST, FONT * room / width), bold);
            cairo_save(m_cr);
            cairo_rectangle(m_cr, x + PADDING, m_y, room, ROW);
            cairo_clip(m_cr);
        }
        const double at = c.align == Align::Left ? x + PADDING : x + c.width - PADDING;
        const double top = m_y + 1.5 + (height - m_text->Height()) / 2; // centred when smaller
        m_text->Draw(text, at, top, c.align);
        if (wide) {
            cairo_restore(m_cr);
            m_text->SetFont(FONT, bold);
        }
    }

    void Chart(const ChartSpec& chart) {
        Need(CHART);
        if (m_cr != nullptr)
            DrawChart(m_cr, {MARGIN, m_y + 6, BODY_WIDTH, CHART - 16}, chart);
        m_y += CHART;
    }

    void Space(double height) { m_y += height; }

private:
    cairo_t* m_cr;
    std::optional<TextPainter> m_text;
    int m_totalPages;
    int m_page = 1;
    double m_y = MARGIN;
};

// The records of one block grouped by sample, then its empty cells; with
// several blocks, led by the instrument and when its records were read.
void LayOutBlock(ReportPages& out, const ExportBlock& block, bool headed) {
    if (headed) {
        out.Need(2 * HEADING + 2 * ROW);
        out.Line("Прибор " + block.instrument + ", считано " +
                     ReadTimeText(block.firstRead, block.lastRead),
                 12, true, HEADING);
    }
    for (const Group& group : GroupBySample(ReportableRecords(block.records))) {
        const std::string heading = group.sample < 0
                                        ? std::string("Измерения пустых ячеек")
                                        : "Проба масла " + std::to_string(group.sample);
        const auto chart =
            group.sample >= 0 ? TgdTemperatureChart(group.records, group.sample) : std::nullopt;
        // A sample's table and chart share a page when they fit on one; a
        // heading never ends a page.
        const double whole = HEADING + ROW * double(group.records.size() + 1) + (chart ? CHART : 0);
        out.Need(whole <= BOTTOM - MARGIN ? whole : HEADING + 2 * ROW);
        out.Line(heading, 12, true, HEADING);
        out.Row(RECORD_COLUMNS, {}, true);
        for (const ArchiveRecord* r : group.records) {
            if (out.Need(ROW)) {
                out.Line(heading + " (продолжение)", 10, true, HEADING - 6);
                out.Row(RECORD_COLUMNS, {}, true);
            }
            out.Row(RECORD_COLUMNS, RecordCells(*r), false);
        }
        if (chart)
            out.Chart(*chart);
        out.Space(8);
    }

    out.Need(HEADING + 7 * ROW);
    out.Line(headed ? "Параметры пустых ячеек прибора " + block.instrument
                    : std::string("Параметры пустых ячеек"),
             12, true, HEADING);
    out.Row(CELL_COLUMNS, {}, true);
    for (int i = 0; i < MeasuringCellCount; ++i)
        out.Row(CELL_COLUMNS,
                {std::to_string(i + 1), Number(EmptyCellPicofarads(block.emptyCells, i), 4),
                 Number(block.emptyCells.tgDo(i), 5)},
                false);
}

void LayOut(ReportPages& out, const ExportContent& content) {
    const TitleBlock& title = content.title;
    out.Line("Протокол испытаний изоляционного масла", 16, true, 26);
    out.Line("Прибор: " + title.instrument, 10, false, 14);
    out.Line("Считано: " + ReadTimeText(title.firstDownloadTime, title.downloadTime), 10, false,
             14);
    out.Line("Порт: " + (title.port.empty() ? std::string("—") : title.port), 10, false, 14);
    out.Line("Число записей: " + std::to_string(ReportableRecords(content.records).size()), 10,
             false, 14);
    out.Space(8);

    const std::vector<ExportBlock> blocks = BlocksOf(content);
    for (std::size_t i = 0; i < blocks.size(); ++i) {
        if (i > 0)
            out.Space(8);
        LayOutBlock(out, blocks[i], blocks.size() > 1);
    }
    out.EndPage();
}

} // namespace

WriteOutcome WritePdfReport(const ExportContent& content, const std::string& path) {
    ReportPages counter(nullptr, 0);
    LayOut(counter, content);

    cairo_surface_t* surface = cairo_pdf_surface_create(path.c_str(), PAGE_WIDTH, PAGE_HEIGHT);
    cairo_pdf_surface_set_metadata(surface, CAIRO_PDF_METADATA_TITLE,
                                   "Протокол испытаний изоляционного масла");
    cairo_pdf_surface_set_metadata(surface, CAIRO_PDF_METADATA_CREATOR, "Tarvex");
    cairo_t* cr = cairo_create(surface);
    {
        ReportPages pages(cr, counter.Pages());
        LayOut(pages, content);
    }
    cairo_destroy(cr);
    cairo_surface_finish(surface);
    const cairo_status_t status = cairo_surface_status(surface);
    cairo_surface_destroy(surface);
    if (status != CAIRO_STATUS_SUCCESS)
        return {false, cairo_status_to_string(status)};
    return {true, {}};
}

bool PdfReportBuilt() {
    return true;
}

} // namespace exports
