#include "exports/text_painter.h"

#include <fontconfig/fontconfig.h>
#include <pango/pangocairo.h>

namespace exports {

TextPainter::TextPainter(cairo_t* cr)
    : m_cr(cr), m_layout(pango_cairo_create_layout(cr)),
      m_font(pango_font_description_from_string("DejaVu Sans 9")) {
    pango_layout_set_font_description(m_layout, m_font);
}

TextPainter::~TextPainter() {
    pango_font_description_free(m_font);
    g_object_unref(m_layout);
}

void TextPainter::SetFont(double size, bool bold) {
    pango_font_description_set_absolute_size(m_font, size * PANGO_SCALE);
    pango_font_description_set_weight(m_font, bold ? PANGO_WEIGHT_BOLD : PANGO_WEIGHT_NORMAL);
    pango_layout_set_font_description(m_layout, m_font);
}

double TextPainter::Width(std::string_view text) {
    pango_layout_set_text(m_layout, text.data(), static_cast<int>(text.size()));
    int width = 0, height = 0;
    pango_layout_get_size(m_layout, &width, &height);
    return double(width) / PANGO_SCALE;
}

double TextPainter::Height() {
    pango_layout_set_text(m_layout, "Ag", 2);
    int width = 0, height = 0;
    pango_layout_get_size(m_layout, &width, &height);
    return double(height) / PANGO_SCALE;
}

void TextPainter::Draw(std::string_view text, double x, double y, Align align) {
    const double width = align == Align::Left ? 0 : Width(text);
    if (align == Align::Left)
        pango_layout_set_text(m_layout, text.data(), static_cast<int>(text.size()));
    const double left = align == Align::Left     ? x
                        : align == Align::Center ? x - width / 2
                                                 : x - width;
    cairo_move_to(m_cr, left, y);
    pango_cairo_update_layout(m_cr, m_layout);
    pango_cairo_show_layout(m_cr, m_layout);
}

void ReleaseFontMap() {
    pango_cairo_font_map_set_default(nullptr);
}

void ReleaseFontCaches() {
    ReleaseFontMap();
    cairo_debug_reset_static_data();
    FcFini();
}

void TextPainter::DrawUpwards(std::string_view text, double x, double y) {
    const double width = Width(text);
    cairo_save(m_cr);
    cairo_translate(m_cr, x, y + width / 2);
    cairo_rotate(m_cr, -G_PI / 2);
    cairo_move_to(m_cr, 0, 0);
    pango_cairo_update_layout(m_cr, m_layout);
    pango_cairo_show_layout(m_cr, m_layout);
    cairo_restore(m_cr);
}

} // namespace exports
