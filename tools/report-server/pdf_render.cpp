#include "report-server/pdf_render.h"

#include <cairo-pdf.h>
#include <cairo.h>

#include <algorithm>
#include <memory>
#include <stdexcept>

namespace quorva::report {

namespace {

constexpr double pageWidth = 595.276; // A4 in points
constexpr double pageHeight = 841.890;
constexpr double marginX = 36.0;
constexpr double marginY = 28.0;
constexpr double linePitch = (pageHeight - 2 * marginY) / static_cast<double>(linesPerPage);
constexpr double preferredFontSize = 9.5;
constexpr const char* fontFamily = "DejaVu Sans Mono";

struct SurfaceDeleter {
    void operator()(cairo_surface_t* s) const { cairo_surface_destroy(s); }
};
struct ContextDeleter {
    void operator()(cairo_t* c) const { cairo_destroy(c); }
};

cairo_status_t appendToString(void* closure, const unsigned char* data, unsigned int length) {
    static_cast<std::string*>(closure)->append(reinterpret_cast<const char*>(data), length);
    return CAIRO_STATUS_SUCCESS;
}

std::size_t codePointCount(const std::string& utf8) {
    return static_cast<std::size_t>(std::count_if(utf8.begin(), utf8.end(), [](char c) {
        return (static_cast<unsigned char>(c) & 0xC0) != 0x80;
    }));
}

std::size_t widestLine(const std::vector<Page>& pages) {
    std::size_t widest = 0;
    for (const Page& page : pages)
        for (const std::string& line : page)
            widest = std::max(widest, codePointCount(line));
    return widest;
}

// The preferred size, or the size at which the widest line exactly fits between the margins.
double fontSizeFor(cairo_t* cr, std::size_t columns) {
    cairo_set_font_size(cr, preferredFontSize);
    cairo_text_extents_t extents;
    cairo_text_extents(cr, "M", &extents);
    const double width = extents.x_advance * static_cast<double>(columns);
    const double available = pageWidth - 2 * marginX;
    return width <= available ? preferredFontSize : preferredFontSize * available / width;
}

void check(cairo_status_t status) {
    if (status != CAIRO_STATUS_SUCCESS)
        throw std::runtime_error(std::string("PDF rendering failed: ") +
                                 cairo_status_to_string(status));
}

} // namespace

std::string renderPdf(const std::vector<Page>& pages, const std::string& title) {
    std::string pdf;
    std::unique_ptr<cairo_surface_t, SurfaceDeleter> surface(
        cairo_pdf_surface_create_for_stream(appendToString, &pdf, pageWidth, pageHeight));
    check(cairo_surface_status(surface.get()));
    cairo_pdf_surface_set_metadata(surface.get(), CAIRO_PDF_METADATA_TITLE, title.c_str());
    cairo_pdf_surface_set_metadata(surface.get(), CAIRO_PDF_METADATA_CREATOR,
                                   "quorva-report-server");
    {
        std::unique_ptr<cairo_t, ContextDeleter> cr(cairo_create(surface.get()));
        cairo_select_font_face(cr.get(), fontFamily, CAIRO_FONT_SLANT_NORMAL,
                               CAIRO_FONT_WEIGHT_NORMAL);
        cairo_set_font_size(cr.get(), fontSizeFor(cr.get(), widestLine(pages)));
        cairo_font_extents_t font;
        cairo_font_extents(cr.get(), &font);
        cairo_set_source_rgb(cr.get(), 0, 0, 0);
        for (const Page& page : pages) {
            double baseline = marginY + font.ascent;
            for (const std::string& line : page) {
                cairo_move_to(cr.get(), marginX, baseline);
                cairo_show_text(cr.get(), line.c_str());
                baseline += linePitch;
            }
            cairo_show_page(cr.get());
        }
        check(cairo_status(cr.get()));
    }
    cairo_surface_finish(surface.get());
    check(cairo_surface_status(surface.get()));
    return pdf;
}

} // namespace quorva::report
