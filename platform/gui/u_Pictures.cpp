#include "u_Pictures.h"

#include "u_Text.h"

#include <gdk-pixbuf/gdk-pixbuf.h>

#include <csetjmp>
#include <cstdio>
#include <jpeglib.h>
#include <algorithm>
#include <vector>

namespace {

std::string ExtensionOf(std::string_view fileName) {
    const size_t dot = fileName.rfind('.');
    const size_t slash = fileName.find_last_of("\\/");
    if (dot == std::string_view::npos || (slash != std::string_view::npos && dot < slash)) return {};
    return AnsiLowerCase(std::string(fileName.substr(dot + 1)));
}

// The gdk-pixbuf loader for an extension, or nullptr when libjpeg reads it or nothing does.
const char* PixbufLoaderFor(const std::string& extension) {
    if (extension == "bmp") return "bmp";
    if (extension == "ico") return "ico";
    if (extension == "wmf" || extension == "emf") return "wmf";
    return nullptr;
}

TPixbuf LoadWithPixbufLoader(const char* type, const std::string& data) {
    GError* error = nullptr;
    const TGObjectPtr<GdkPixbufLoader> loader =
        TGObjectPtr<GdkPixbufLoader>::Take(gdk_pixbuf_loader_new_with_type(type, &error));
    if (!loader) {
        const std::string message = error ? error->message : "no picture reader";
        g_clear_error(&error);
        throw EInvalidGraphic(message);
    }
    const bool written =
        gdk_pixbuf_loader_write(loader.get(), reinterpret_cast<const guchar*>(data.data()), data.size(), &error);
    const bool closed = gdk_pixbuf_loader_close(loader.get(), written ? &error : nullptr);
    TPixbuf pixbuf = written && closed ? TPixbuf::Ref(gdk_pixbuf_loader_get_pixbuf(loader.get())) : TPixbuf();
    if (!pixbuf) {
        const std::string message = error ? error->message : "Invalid picture";
        g_clear_error(&error);
        throw EInvalidGraphic(message);
    }
    g_clear_error(&error);
    return pixbuf;
}

struct TJpegError {
    jpeg_error_mgr Manager;
    std::jmp_buf Escape;
    char Message[JMSG_LENGTH_MAX];
};

void JpegErrorExit(j_common_ptr info) {
    auto* error = reinterpret_cast<TJpegError*>(info->err);
    info->err->format_message(info, error->Message);
    std::longjmp(error->Escape, 1);
}

void JpegNoOutput(j_common_ptr) {}

// Decodes into pixels (width * height * 3 RGB bytes). Plain C-style so that the long jump out of
// libjpeg's error handler skips no destructor; false with the reader's message on failure.
bool DecodeJpeg(const std::string& data, std::vector<unsigned char>& pixels, int& width, int& height,
                char* message) {
    jpeg_decompress_struct info;
    TJpegError error;
    info.err = jpeg_std_error(&error.Manager);
    error.Manager.error_exit = JpegErrorExit;
    error.Manager.output_message = JpegNoOutput;
    if (setjmp(error.Escape)) {
        std::snprintf(message, JMSG_LENGTH_MAX, "%s", error.Message);
        jpeg_destroy_decompress(&info);
        return false;
    }
    jpeg_create_decompress(&info);
    jpeg_mem_src(&info, reinterpret_cast<const unsigned char*>(data.data()), data.size());
    jpeg_read_header(&info, TRUE);
    info.out_color_space =
        info.jpeg_color_space == JCS_CMYK || info.jpeg_color_space == JCS_YCCK ? JCS_CMYK : JCS_RGB;
    jpeg_start_decompress(&info);
    width = static_cast<int>(info.output_width);
    height = static_cast<int>(info.output_height);
    const int components = info.output_components;
    pixels.resize(static_cast<size_t>(width) * height * 3);
    // The row buffer lives in the decoder's own pool, so it goes with the decoder on every path.
    JSAMPARRAY rows = (*info.mem->alloc_sarray)(reinterpret_cast<j_common_ptr>(&info), JPOOL_IMAGE,
                                                info.output_width * components, 1);
    while (info.output_scanline < info.output_height) {
        const size_t y = info.output_scanline;
        jpeg_read_scanlines(&info, rows, 1);
        const unsigned char* row = rows[0];
        unsigned char* target = pixels.data() + y * width * 3;
        for (int x = 0; x < width; ++x) {
            const unsigned char* s = row + x * components;
            if (components == 4) { // Adobe's inverted CMYK
                target[x * 3 + 0] = static_cast<unsigned char>(s[0] * s[3] / 255);
                target[x * 3 + 1] = static_cast<unsigned char>(s[1] * s[3] / 255);
                target[x * 3 + 2] = static_cast<unsigned char>(s[2] * s[3] / 255);
            } else {
                target[x * 3 + 0] = s[0];
                target[x * 3 + 1] = s[1];
                target[x * 3 + 2] = s[2];
            }
        }
    }
    jpeg_finish_decompress(&info);
    jpeg_destroy_decompress(&info);
    return true;
}

} // namespace

bool IsPictureFileName(std::string_view fileName) {
    const std::string extension = ExtensionOf(fileName);
    return PixbufLoaderFor(extension) || extension == "jpg" || extension == "jpeg";
}

TPixbuf LoadJpeg(const std::string& data) {
    std::vector<unsigned char> pixels;
    int width = 0, height = 0;
    char message[JMSG_LENGTH_MAX] = "";
    if (data.empty()) throw EInvalidGraphic("Empty JPEG image");
    if (!DecodeJpeg(data, pixels, width, height, message)) throw EInvalidGraphic(message);
    if (width <= 0 || height <= 0) throw EInvalidGraphic("Empty JPEG image");
    TPixbuf pixbuf = TPixbuf::Take(gdk_pixbuf_new(GDK_COLORSPACE_RGB, false, 8, width, height));
    if (!pixbuf) throw EInvalidGraphic("Out of memory for a JPEG image");
    guchar* target = gdk_pixbuf_get_pixels(pixbuf.get());
    const size_t stride = gdk_pixbuf_get_rowstride(pixbuf.get());
    for (int y = 0; y < height; ++y)
        std::copy_n(pixels.data() + static_cast<size_t>(y) * width * 3, static_cast<size_t>(width) * 3,
                    target + y * stride);
    return pixbuf;
}

TPixbuf LoadPicture(std::string_view fileName, const std::string& data) {
    const std::string extension = ExtensionOf(fileName);
    if (extension == "jpg" || extension == "jpeg") return LoadJpeg(data);
    if (const char* loader = PixbufLoaderFor(extension)) return LoadWithPixbufLoader(loader, data);
    throw EInvalidGraphic("Unknown picture file extension (." + extension + ")");
}

int32_t PixelColor(const TPixbuf& picture, int x, int y) {
    if (!picture || x < 0 || y < 0 || x >= gdk_pixbuf_get_width(picture.get()) ||
        y >= gdk_pixbuf_get_height(picture.get()))
        return -1;
    const guint8* p = gdk_pixbuf_read_pixels(picture.get()) +
                      static_cast<size_t>(y) * gdk_pixbuf_get_rowstride(picture.get()) +
                      static_cast<size_t>(x) * gdk_pixbuf_get_n_channels(picture.get());
    return static_cast<int32_t>(p[0] | p[1] << 8 | p[2] << 16);
}

TPixbuf WithTransparentColor(const TPixbuf& picture, int32_t color) {
    if (!picture || color == -1) return picture;
    // add_alpha replaces the colour only in a picture without alpha; one that has it is copied and
    // the colour cleared by hand, so that both kinds behave alike.
    if (!gdk_pixbuf_get_has_alpha(picture.get()))
        return TPixbuf::Take(gdk_pixbuf_add_alpha(picture.get(), true, static_cast<guchar>(color & 0xFF),
                                                  static_cast<guchar>(color >> 8 & 0xFF),
                                                  static_cast<guchar>(color >> 16 & 0xFF)));
    TPixbuf copy = TPixbuf::Take(gdk_pixbuf_copy(picture.get()));
    for (int y = 0; y < gdk_pixbuf_get_height(copy.get()); ++y) {
        guint8* row = gdk_pixbuf_get_pixels(copy.get()) + static_cast<size_t>(y) * gdk_pixbuf_get_rowstride(copy.get());
        for (int x = 0; x < gdk_pixbuf_get_width(copy.get()); ++x) {
            guint8* p = row + static_cast<size_t>(x) * 4;
            if ((p[0] | p[1] << 8 | p[2] << 16) == (color & 0xFFFFFF)) p[3] = 0;
        }
    }
    return copy;
}

int32_t BitmapTransparentColor(const TPixbuf& picture) {
    return picture ? PixelColor(picture, 0, gdk_pixbuf_get_height(picture.get()) - 1) : -1;
}
