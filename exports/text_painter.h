// Single lines of text on a cairo surface, laid out by pango so any script the
// fonts cover (Cyrillic included) is shaped and measured right. Shared by the
// chart and the PDF report; sizes are in the surface's units.
#pragma once

#include <string_view>

typedef struct _cairo cairo_t;
typedef struct _PangoLayout PangoLayout;
typedef struct _PangoFontDescription PangoFontDescription;

namespace exports {

enum class Align { Left, Center, Right };

class TextPainter {
public:
    explicit TextPainter(cairo_t* cr);
    ~TextPainter();
    TextPainter(const TextPainter&) = delete;
    TextPainter& operator=(const TextPainter&) = delete;

    // Font of the texts that follow: DejaVu Sans (or the nearest fontconfig
    // finds) of this size, bold or regular.
    void SetFont(double size, bool bold = false);
    // Draws text (UTF-8) with its top at y; x is its left edge, middle or
    // right edge as align says.
    void Draw(std::string_view text, double x, double y, Align align = Align::Left);
    // Same, turned a quarter left (for a vertical axis title); x, y is the
    // middle of its left side after turning.
    void DrawUpwards(std::string_view text, double x, double y);
    double Width(std::string_view text);
    double Height(); // of one line in the current font

private:
    cairo_t* m_cr;
    PangoLayout* m_layout;
    PangoFontDescription* m_font;
};

// Drops pango's font map of the calling thread with the fonts it has loaded;
// the next text drawn builds it anew. Safe in a Qt program: a window that
// drew charts calls it when it goes.
void ReleaseFontMap();

// Frees the font caches that pango, cairo and fontconfig keep for the whole
// process, so that a leak checker sees none of them. Only at the very end of
// a program that draws text with nothing else (a Qt program shares fontconfig
// with Qt, which still needs it). Waits until every font map that drew text
// is finalized (pango's font thread may finalize one a moment later); one
// still held after ten seconds leaves the caches as they are.
void ReleaseFontCaches();

} // namespace exports
