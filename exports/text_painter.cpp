#include "exports/text_painter.h"

#include <chrono>
#include <condition_variable>
#include <mutex>

#include <fontconfig/fontconfig.h>
#include <pango/pangocairo.h>

namespace exports {

namespace {

// The font maps that laid out text and are not finalized yet. pango's font
// thread holds a font map for a moment after each font lookup, so the last
// reference can go there, and the font map frees its cairo fonts on that
// thread: cairo's caches may go only after every font map is gone.
struct LiveFontMaps {
    std::mutex mutex;
    std::condition_variable gone;
    int count = 0;
};

// Never destroyed: a thread's font map may be finalized as late as its exit.
LiveFontMaps& FontMaps() {
    static LiveFontMaps* const maps = new LiveFontMaps;
    return *maps;
}

void OnFontMapFinalized(gpointer) {
    LiveFontMaps& maps = FontMaps();
    std::lock_guard lock(maps.mutex);
    --maps.count;
    maps.gone.notify_all();
}

// Counts a font map until it is finalized (each font map belongs to one thread).
void WatchFontMap(PangoLayout* layout) {
    static const GQuark watched = g_quark_from_static_string("tarvex-font-map-watched");
    GObject* map = G_OBJECT(pango_context_get_font_map(pango_layout_get_context(layout)));
    if (g_object_get_qdata(map, watched) != nullptr)
        return;
    {
        LiveFontMaps& maps = FontMaps();
        std::lock_guard lock(maps.mutex);
        ++maps.count;
    }
    // User data is freed at the very end of finalizing, after the fonts.
    g_object_set_qdata_full(map, watched, map, OnFontMapFinalized);
}

} // namespace

TextPainter::TextPainter(cairo_t* cr)
    : m_cr(cr), m_layout(pango_cairo_create_layout(cr)),
      m_font(pango_font_description_from_string("DejaVu Sans 9")) {
    WatchFontMap(m_layout);
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
    {
        // A font map still held (a layout not freed, a thread still drawing)
        // keeps the caches: resetting cairo under a live font would abort.
        LiveFontMaps& maps = FontMaps();
        std::unique_lock lock(maps.mutex);
        if (!maps.gone.wait_for(lock, std::chrono::seconds(10), [&] { return maps.count == 0; }))
            return;
    }
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
