#include "card/card_drawing.h"
#include "card/card_picture.h"
#include "platform/error.h"

#include "card_test_images.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>

namespace quorva {
namespace {

using testkit::at;
using testkit::cardPicture;
using testkit::isLabelBlue;
using testkit::Rgb;
using testkit::similar;

// A white top-down 24-bit surface with a memory device context to draw on.
class Canvas {
public:
    Canvas(int width, int height)
        : width_(width), height_(height), dib_(createDib24(width, -height)), dc_(nullptr),
          selected_(dc_.get(), dib_.bitmap.get()) {
        PatBlt(dc_.get(), 0, 0, width, height, WHITENESS);
    }
    HDC dc() const { return dc_.get(); }
    int width() const { return width_; }
    int height() const { return height_; }

    Rgb at(int x, int y) const {
        GdiFlush();
        const size_t stride = (static_cast<size_t>(width_) * 3 + 3) & ~size_t{3};
        const auto* p = static_cast<const std::uint8_t*>(dib_.bits) +
                        static_cast<size_t>(y) * stride + static_cast<size_t>(x) * 3;
        return {p[2], p[1], p[0]};
    }

private:
    int width_, height_;
    Dib24 dib_;
    MemoryDc dc_;
    SelectedObject selected_;
};

constexpr Rgb kWhite{255, 255, 255};
constexpr Rgb kGrey{128, 128, 128};
constexpr Rgb kRed{200, 30, 30};

RgbImage paint(int width, int height, const std::function<Rgb(int x, int y)>& colourAt) {
    RgbImage image{width, height, {}};
    image.pixels.reserve(size_t(width) * size_t(height) * 3);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) {
            const Rgb c = colourAt(x, y);
            image.pixels.insert(image.pixels.end(),
                                {std::uint8_t(c.red), std::uint8_t(c.green), std::uint8_t(c.blue)});
        }
    return image;
}

// Copies a bitmap unscaled onto a canvas, as the card tab's picture area paints it.
void blit(const Canvas& canvas, HBITMAP bitmap) {
    MemoryDc source(canvas.dc());
    SelectedObject selected(source.get(), bitmap);
    BitBlt(canvas.dc(), 0, 0, canvas.width(), canvas.height(), source.get(), 0, 0, SRCCOPY);
}

int mismatches(const Canvas& canvas, const RgbImage& expected, int tolerance) {
    int count = 0;
    for (int y = 0; y < canvas.height(); ++y)
        for (int x = 0; x < canvas.width(); ++x)
            count += similar(canvas.at(x, y), at(expected, x, y), tolerance) ? 0 : 1;
    return count;
}

// The smallest rectangle holding the label-blue pixels of a region; empty when there are none.
RECT blueBounds(const Canvas& canvas, const RECT& region) {
    RECT box{region.right, region.bottom, region.left, region.top};
    for (int y = region.top; y < region.bottom; ++y)
        for (int x = region.left; x < region.right; ++x)
            if (isLabelBlue(canvas.at(x, y))) {
                box.left = std::min<LONG>(box.left, x);
                box.top = std::min<LONG>(box.top, y);
                box.right = std::max<LONG>(box.right, x + 1);
                box.bottom = std::max<LONG>(box.bottom, y + 1);
            }
    return box;
}

TEST(CardPicture, ResourceHoldsTheCardPicture) {
    const Bitmap bitmap = loadCardPicture();
    BITMAP info{};
    ASSERT_EQ(GetObjectW(bitmap.get(), sizeof info, &info), int(sizeof info));
    EXPECT_EQ(info.bmWidth, 1012);
    EXPECT_EQ(info.bmHeight, 638);
    EXPECT_EQ(info.bmBitsPixel, 24);

    Canvas canvas(1012, 638);
    blit(canvas, bitmap.get());
    // The navy band at the top, the gold rule under it, white where the labels stand.
    EXPECT_TRUE(similar(canvas.at(500, 10), {43, 65, 112}, 12));
    EXPECT_TRUE(similar(canvas.at(500, 174), {203, 162, 74}, 12));
    EXPECT_TRUE(similar(canvas.at(800, 590), kWhite, 6));
    // Every pixel as the decoder gives it: no row or channel mix-up.
    EXPECT_EQ(mismatches(canvas, cardPicture(), 0), 0);
}

TEST(CardPicture, ModuleWithoutThePictureIsAnError) {
    EXPECT_THROW(loadCardPicture(GetModuleHandleA("kernel32.dll")), Error);
}

TEST(CardPicture, RowsArePaddedAndChannelsKept) {
    // Three pixels a row: 9 bytes of data padded to 12 in the DIB.
    const RgbImage image = paint(3, 2, [](int x, int y) {
        return Rgb{x * 100, y * 200, 50 + x * 10 + y};
    });
    const Bitmap bitmap = bitmapFromImage(image);
    Canvas canvas(3, 2);
    blit(canvas, bitmap.get());
    EXPECT_EQ(mismatches(canvas, image, 0), 0);
}

TEST(makeCardLabelFont, IsCambriaOrItsMetricTwin) {
    const Font font = makeCardLabelFont();
    MemoryDc dc(nullptr);
    SelectedObject selected(dc.get(), font.get());
    char face[LF_FACESIZE] = {};
    GetTextFaceA(dc.get(), LF_FACESIZE, face);
    EXPECT_TRUE(std::string(face) == "Cambria" || std::string(face) == "Caladea") << face;
    // The font file really selected: its naming table (UTF-16 big-endian names) carries the
    // family, so a fallback face that merely reports the requested name is caught.
    const DWORD nameTable = 'n' | 'a' << 8 | 'm' << 16 | DWORD('e') << 24;
    std::vector<char> names(GetFontData(dc.get(), nameTable, 0, nullptr, 0));
    ASSERT_FALSE(names.empty());
    GetFontData(dc.get(), nameTable, 0, names.data(), DWORD(names.size()));
    const auto holds = [&](const std::string& family) {
        std::string wide;
        for (const char c : family)
            wide += {'\0', c};
        return std::search(names.begin(), names.end(), wide.begin(), wide.end()) != names.end();
    };
    EXPECT_TRUE(holds("Cambria") || holds("Caladea"));

    TEXTMETRICA metrics{};
    ASSERT_TRUE(GetTextMetricsA(dc.get(), &metrics));
    EXPECT_EQ(metrics.tmHeight - metrics.tmInternalLeading, 53);
    EXPECT_EQ(metrics.tmWeight, FW_NORMAL);
    EXPECT_FALSE(metrics.tmItalic);
}

TEST(drawCard, NaturalSizeShowsThePictureClippedOrWhiteBeyondIt) {
    // The card picture is larger than the area by one column and four rows.
    const RgbImage pictures[] = {cardPicture(), paint(500, 300, [](int, int) { return kRed; })};
    for (const RgbImage& picture : pictures) {
        const Bitmap bitmap = bitmapFromImage(picture);
        Canvas canvas(kCardAreaSize.cx, kCardAreaSize.cy);
        drawCard(canvas.dc(), {0, 0, kCardAreaSize.cx, kCardAreaSize.cy}, bitmap.get(), {});
        const RgbImage expected = paint(kCardAreaSize.cx, kCardAreaSize.cy, [&](int x, int y) {
            return x < picture.width && y < picture.height ? at(picture, x, y) : kWhite;
        });
        EXPECT_EQ(mismatches(canvas, expected, 0), 0) << picture.width << "x" << picture.height;
    }
}

TEST(drawCard, LabelsStandAtTheirPlacesOnWhite) {
    // A grey picture shows each label's white background; the card sits at (40, 30).
    const Bitmap grey = bitmapFromImage(paint(1012, 638, [](int, int) { return kGrey; }));
    const POINT origin{40, 30};
    const Font font = makeCardLabelFont();
    MemoryDc measure(nullptr);
    SelectedObject selected(measure.get(), font.get());

    const struct {
        CardLabels labels;
        POINT at;
        std::string text;
    } cases[] = {{{"DUPONT Jean", "", "", ""}, kCustomerAt, "DUPONT Jean"},
                 {{"", "AB-123-CD", "", ""}, kRegistrationAt, "AB-123-CD"},
                 {{"", "", "VF1RJA00123456789", ""}, kChassisAt, "VF1RJA00123456789"},
                 {{"", "", "", "11/03/2015"}, kValidityAt, "11/03/2015"}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text);
        Canvas canvas(1100, 700);
        drawCard(canvas.dc(),
                 {origin.x, origin.y, origin.x + kCardAreaSize.cx, origin.y + kCardAreaSize.cy},
                 grey.get(), c.labels);
        SIZE extent{};
        GetTextExtentPoint32A(measure.get(), c.text.data(), int(c.text.size()), &extent);
        const RECT cell{origin.x + c.at.x, origin.y + c.at.y, origin.x + c.at.x + extent.cx,
                        origin.y + c.at.y + extent.cy};
        // The label's cell, as large as its text: white corners inside, grey right outside.
        EXPECT_TRUE(similar(canvas.at(cell.left, cell.top), kWhite, 0));
        EXPECT_TRUE(similar(canvas.at(cell.right - 1, cell.bottom - 1), kWhite, 0));
        EXPECT_TRUE(similar(canvas.at(cell.left - 1, cell.top), kGrey, 0));
        EXPECT_TRUE(similar(canvas.at(cell.left, cell.top - 1), kGrey, 0));
        EXPECT_TRUE(similar(canvas.at(cell.right, cell.bottom - 1), kGrey, 0));
        EXPECT_TRUE(similar(canvas.at(cell.right - 1, cell.bottom), kGrey, 0));
        // The text in the labels' blue, within the cell, one line.
        const RECT ink = blueBounds(canvas, {0, 0, canvas.width(), canvas.height()});
        EXPECT_GE(ink.left, cell.left);
        EXPECT_LE(ink.right, cell.right);
        EXPECT_GE(ink.top, cell.top);
        EXPECT_LE(ink.bottom, cell.bottom);
        EXPECT_GT(ink.right - ink.left, extent.cx * 3 / 4);
        EXPECT_GT(ink.bottom - ink.top, 53 / 2);
    }
}

TEST(drawCard, StretchesWidthAndHeightIndependently) {
    const RgbImage picture = paint(1012, 638, [](int x, int y) {
        return y < 317 ? (x < 505 ? Rgb{200, 30, 30} : Rgb{30, 200, 30})
                       : (x < 505 ? Rgb{200, 200, 30} : Rgb{30, 160, 160});
    });
    const Bitmap bitmap = bitmapFromImage(picture);
    const CardLabels labels{"DUPONT Jean", "", "", ""};

    Canvas natural(kCardAreaSize.cx, kCardAreaSize.cy);
    drawCard(natural.dc(), {0, 0, kCardAreaSize.cx, kCardAreaSize.cy}, bitmap.get(), labels);
    // Twice as wide, half as high.
    Canvas stretched(2 * kCardAreaSize.cx, kCardAreaSize.cy / 2);
    drawCard(stretched.dc(), {0, 0, stretched.width(), stretched.height()}, bitmap.get(), labels);

    for (const auto& [x, y] : {std::pair{100, 100},
                               {900, 100},
                               {100, 300},
                               {900, 300},
                               {100, 600},
                               {900, 600},
                               {400, 500}})
        EXPECT_TRUE(similar(stretched.at(2 * x, y / 2), at(picture, x, y), 0)) << x << "," << y;

    const RECT region{kCustomerAt.x - 5, kCustomerAt.y - 5, kCustomerAt.x + 500,
                      kCustomerAt.y + 80};
    const RECT ink = blueBounds(natural, region);
    const RECT stretchedInk = blueBounds(
        stretched, {2 * region.left, region.top / 2, 2 * region.right, region.bottom / 2});
    ASSERT_GT(ink.right - ink.left, 100);
    const double scaleX = double(stretchedInk.right - stretchedInk.left) / (ink.right - ink.left);
    const double scaleY = double(stretchedInk.bottom - stretchedInk.top) / (ink.bottom - ink.top);
    EXPECT_NEAR(scaleX, 2.0, 0.15);
    EXPECT_NEAR(scaleY, 0.5, 0.08);
    EXPECT_NEAR(stretchedInk.left, 2 * ink.left, 6);
}

} // namespace
} // namespace quorva
