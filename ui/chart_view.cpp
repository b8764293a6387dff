#include "ui/chart_view.h"

#include <QImage>
#include <QPainter>

#include <cairo.h>

#include "exports/text_painter.h"

ChartView::~ChartView() {
    exports::ReleaseFontMap(); // the fonts the chart loaded go with the window
}

void ChartView::SetChart(std::optional<exports::ChartSpec> chart, const QString& szWhyNone) {
    m_chart = std::move(chart);
    m_szWhyNone = szWhyNone;
    update();
}

void ChartView::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.fillRect(rect(), Qt::white);
    if (!m_chart) {
        painter.setPen(palette().color(QPalette::PlaceholderText));
        painter.drawText(rect().adjusted(8, 8, -8, -8), Qt::AlignCenter | Qt::TextWordWrap,
                         m_szWhyNone);
        return;
    }
    // cairo draws into the image's own pixels; the device pixel ratio keeps
    // the lines sharp on a scaled screen.
    const qreal ratio = devicePixelRatioF();
    QImage image(size() * ratio, QImage::Format_ARGB32_Premultiplied);
    image.setDevicePixelRatio(ratio);
    image.fill(Qt::white);
    cairo_surface_t* surface =
        cairo_image_surface_create_for_data(image.bits(), CAIRO_FORMAT_ARGB32, image.width(),
                                            image.height(), static_cast<int>(image.bytesPerLine()));
    cairo_t* cr = cairo_create(surface);
    cairo_scale(cr, ratio, ratio);
    exports::DrawChart(cr, {6, 6, width() - 12.0, height() - 12.0}, *m_chart);
    cairo_destroy(cr);
    cairo_surface_finish(surface);
    cairo_surface_destroy(surface);
    painter.drawImage(0, 0, image);
}
