#include "report-server/pdf_render.h"

#include "desk_client.h"
#include "support/temp_dir.h"

#include <gtest/gtest.h>

#include <sstream>

// Fontconfig, loaded by cairo's font selection, keeps its configuration until the process
// ends; the leak checker of sanitizer builds should not count that.
extern "C" const char* __lsan_default_suppressions() {
    return "leak:libfontconfig.so\n";
}

namespace quorva::report {
namespace {

using quorva::testkit::commandOutput;
using quorva::testkit::TempDir;

TEST(PdfRenderTest, PagesTitleAndTextSurviveInThePdf) {
    TempDir dir;
    const std::string pdf =
        renderPdf(layoutPages("FACTURE N\xF8 12\r\nM. H\x82l\x8Ane Lef\x8Avre\f2e page\f3e page"),
                  "Facture 12");
    ASSERT_TRUE(pdf.starts_with("%PDF-"));
    const std::string path = dir.write("f.pdf", pdf);

    const std::string info = commandOutput("pdfinfo " + path);
    EXPECT_NE(info.find("Pages:           3"), std::string::npos) << info;
    EXPECT_NE(info.find("Title:           Facture 12"), std::string::npos) << info;
    EXPECT_NE(info.find("595.276 x 841.89 pts (A4)"), std::string::npos) << info;

    const std::string text = commandOutput("pdftotext -layout " + path + " -");
    EXPECT_NE(text.find("FACTURE N\u00B0 12"), std::string::npos) << text;
    EXPECT_NE(text.find("M. H\u00E9l\u00E8ne Lef\u00E8vre"), std::string::npos) << text;
    EXPECT_LT(text.find("2e page"), text.find("3e page"));
}

TEST(PdfRenderTest, WideLinesAreShrunkToFitThePage) {
    TempDir dir;
    const std::string wide = std::string(150, 'W') + " END";
    const std::string path = dir.write("f.pdf", renderPdf(layoutPages(wide), "Facture 1"));
    // Each word with its box; the last word must end inside the page width.
    const std::string boxes = commandOutput("pdftotext -bbox " + path + " -");
    const std::size_t end = boxes.find(">END<");
    ASSERT_NE(end, std::string::npos) << boxes;
    const std::string tag =
        boxes.substr(boxes.rfind("<word", end), end - boxes.rfind("<word", end));
    const std::size_t xMax = tag.find("xMax=\"");
    ASSERT_NE(xMax, std::string::npos) << tag;
    EXPECT_LT(std::stod(tag.substr(xMax + 6)), 595.0) << tag;
}

} // namespace
} // namespace quorva::report
