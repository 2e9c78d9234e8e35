#include "card/jpeg_image.h"

#include "platform/error.h"

#include "card_test_images.h"

#include <gtest/gtest.h>

#include <vector>

namespace quorva {
namespace {

using testkit::at;
using testkit::cardPictureFile;
using testkit::Rgb;

TEST(decodeJpeg, CardPicture) {
    const auto bytes = cardPictureFile();
    ASSERT_FALSE(bytes.empty()) << "cannot read " << QUORVA_CARD_PICTURE;

    const RgbImage image = decodeJpeg(bytes);
    EXPECT_EQ(image.width, 1012);
    EXPECT_EQ(image.height, 638);
    ASSERT_EQ(image.pixels.size(), 1012u * 638u * 3u);

    // Top rows: the navy header band; under the labels: white; the gold rule under the header.
    // These tell rows from top to bottom and the channel order apart.
    const Rgb header = at(image, 500, 10);
    EXPECT_LT(header.red, 80);
    EXPECT_GT(header.blue, header.red + 40);
    const Rgb gold = at(image, 500, 174);
    EXPECT_GT(gold.red, 170);
    EXPECT_LT(gold.blue, 120);
    for (const auto& [x, y] : {std::pair{300, 450}, {300, 520}, {300, 580}, {800, 590}}) {
        const Rgb white = at(image, x, y);
        EXPECT_GT(white.red + white.green + white.blue, 3 * 245) << x << "," << y;
    }
}

TEST(decodeJpeg, DamagedDataIsAnError) {
    const auto bytes = cardPictureFile();
    ASSERT_GT(bytes.size(), 1000u);

    const std::vector<std::uint8_t> empty;
    const std::vector<std::uint8_t> notJpeg{'G', 'I', 'F', '8', '9', 'a', 0, 0};
    const std::vector<std::uint8_t> headerOnly(bytes.begin(), bytes.begin() + 200);
    const std::vector<std::uint8_t> truncated(bytes.begin(), bytes.begin() + bytes.size() / 2);
    std::vector<std::uint8_t> scrambled = bytes;
    // Overwrite part of the entropy-coded data with marker-like bytes.
    for (size_t i = bytes.size() / 3; i < bytes.size() / 3 + 64; ++i)
        scrambled[i] = 0xFF;

    const std::vector<std::uint8_t>* cases[] = {&empty, &notJpeg, &headerOnly, &truncated,
                                                &scrambled};
    for (const auto* data : cases) {
        try {
            decodeJpeg(*data);
            ADD_FAILURE() << "no error for " << data->size() << " bytes";
        } catch (const Error& e) {
            EXPECT_EQ(std::string(e.what()).rfind("Image JPEG incorrecte : ", 0), 0u) << e.what();
        }
    }
}

} // namespace
} // namespace quorva
