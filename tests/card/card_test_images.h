#pragma once

// Pictures for the card tests: files read whole, the card picture decoded, and colour
// comparisons.

#include "card/jpeg_image.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <utility>
#include <vector>

namespace quorva::testkit {

struct Rgb {
    int red, green, blue;
};

inline Rgb at(const RgbImage& image, int x, int y) {
    const std::uint8_t* p = image.pixel(x, y);
    return {p[0], p[1], p[2]};
}

inline bool similar(Rgb a, Rgb b, int tolerance) {
    return std::abs(a.red - b.red) <= tolerance && std::abs(a.green - b.green) <= tolerance &&
           std::abs(a.blue - b.blue) <= tolerance;
}

// The labels' blue, RGB(0, 0, 160), give or take anti-aliasing and compression.
inline bool isLabelBlue(Rgb c) {
    return c.blue > 110 && c.red < 70 && c.green < 70;
}

inline std::vector<std::uint8_t> readFile(const std::string& path) {
    std::vector<std::uint8_t> bytes;
    std::FILE* file = std::fopen(path.c_str(), "rb");
    if (file == nullptr)
        return bytes;
    std::uint8_t buffer[65536];
    size_t n = 0;
    while ((n = std::fread(buffer, 1, sizeof buffer, file)) > 0)
        bytes.insert(bytes.end(), buffer, buffer + n);
    std::fclose(file);
    return bytes;
}

// The card picture file of the source tree (QUORVA_CARD_PICTURE is set at build time; under
// Wine a Unix absolute path opens on drive Z:), and the picture decoded.
inline std::vector<std::uint8_t> cardPictureFile() {
    return readFile(QUORVA_CARD_PICTURE);
}
inline RgbImage cardPicture() {
    return decodeJpeg(cardPictureFile());
}

// Places of the card picture where its colour is flat (the navy band, the gold rule, the red and
// green discs, white): a copy of the picture, scaled or rendered, shows the same colour there.
inline constexpr std::pair<int, int> kFlatCardPlaces[] = {{500, 10},   {600, 100}, {900, 30},
                                                          {500, 174},  {760, 240}, {890, 280},
                                                          {1000, 400}, {800, 470}, {300, 300}};

} // namespace quorva::testkit
