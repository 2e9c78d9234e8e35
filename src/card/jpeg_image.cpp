// libjpeg reports errors through a callback that must not return. The callback jumps back with
// longjmp into the step that started the library call. Each step below is a small function whose
// frame holds only plain data, so the jump skips no destructor; the caller then turns the
// failure into an exception, outside any libjpeg frame.

#include "card/jpeg_image.h"

#include "platform/error.h"

#include <csetjmp>
#include <cstdio>
#include <limits>
#include <string>

#include <jpeglib.h>

namespace quorva {

namespace {

// Larger pictures are refused rather than allocated: the card picture is about 2 MB decoded.
constexpr std::uint64_t kMaxPixelBytes = 256u * 1024u * 1024u;

struct ErrorManager {
    jpeg_error_mgr base;
    std::jmp_buf jump;
    char message[JMSG_LENGTH_MAX];
};

extern "C" void failJpeg(j_common_ptr cinfo) {
    auto* manager = reinterpret_cast<ErrorManager*>(cinfo->err);
    (*cinfo->err->format_message)(cinfo, manager->message);
    std::longjmp(manager->jump, 1);
}

// Warnings (level -1) flag damaged data that libjpeg would otherwise paper over; trace messages
// (levels 0 and above) are ignored.
extern "C" void onJpegMessage(j_common_ptr cinfo, int level) {
    if (level < 0)
        failJpeg(cinfo);
}

// One decompression, released on every path.
struct Decoder {
    jpeg_decompress_struct cinfo{};
    ErrorManager errors{};

    Decoder() {
        cinfo.err = jpeg_std_error(&errors.base);
        errors.base.error_exit = failJpeg;
        errors.base.emit_message = onJpegMessage;
    }
    ~Decoder() { jpeg_destroy_decompress(&cinfo); }
    Decoder(const Decoder&) = delete;
    Decoder& operator=(const Decoder&) = delete;
};

bool startDecoding(Decoder& decoder, const unsigned char* data, unsigned long size) {
    if (setjmp(decoder.errors.jump) != 0)
        return false;
    jpeg_create_decompress(&decoder.cinfo);
    jpeg_mem_src(&decoder.cinfo, data, size);
    jpeg_read_header(&decoder.cinfo, TRUE);
    decoder.cinfo.out_color_space = JCS_RGB;
    jpeg_start_decompress(&decoder.cinfo);
    return true;
}

bool readRows(Decoder& decoder, unsigned char* pixels, size_t rowBytes) {
    if (setjmp(decoder.errors.jump) != 0)
        return false;
    while (decoder.cinfo.output_scanline < decoder.cinfo.output_height) {
        JSAMPROW row = pixels + decoder.cinfo.output_scanline * rowBytes;
        jpeg_read_scanlines(&decoder.cinfo, &row, 1);
    }
    jpeg_finish_decompress(&decoder.cinfo);
    return true;
}

[[noreturn]] void fail(const Decoder& decoder) {
    throw Error(std::string("Image JPEG incorrecte : ") + decoder.errors.message);
}

} // namespace

RgbImage decodeJpeg(std::span<const std::uint8_t> data) {
    if (data.size() > std::numeric_limits<unsigned long>::max())
        throw Error("Image JPEG incorrecte : trop grande");
    Decoder decoder;
    if (!startDecoding(decoder, data.data(), static_cast<unsigned long>(data.size())))
        fail(decoder);

    const std::uint64_t rowBytes = std::uint64_t{decoder.cinfo.output_width} * 3u;
    if (decoder.cinfo.output_components != 3 ||
        rowBytes * decoder.cinfo.output_height > kMaxPixelBytes)
        throw Error("Image JPEG incorrecte : format non pris en charge");

    RgbImage image;
    image.width = static_cast<int>(decoder.cinfo.output_width);
    image.height = static_cast<int>(decoder.cinfo.output_height);
    image.pixels.resize(static_cast<size_t>(rowBytes * decoder.cinfo.output_height));
    if (!readRows(decoder, image.pixels.data(), static_cast<size_t>(rowBytes)))
        fail(decoder);
    return image;
}

} // namespace quorva
