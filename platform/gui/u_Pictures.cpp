#include "u_Pictures.h"

#include "u_Text.h"

#include <gdk-pixbuf/gdk-pixbuf.h>
#include <gdkmm/wrap_init.h>
#include <glibmm/init.h>

#include <csetjmp>
#include <cstdio>
#include <jpeglib.h>
#include <algorithm>
#include <vector>

namespace {

// Pixel buffers reach the callers as gdkmm objects. A windowed program has the wrappers set up by
// GTK's initialisation; a program without windows (the book packer) gets them here.
void InitWrappers() {
    static const bool done = [] {
        Glib::init();
        Gdk::wrap_init();
        return true;
    }();
    (void)done;
}

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

Glib::RefPtr<Gdk::Pixbuf> LoadWithPixbufLoader(const char* type, const std::string& data) {
    GError* error = nullptr;
    GdkPixbufLoader* loader = gdk_pixbuf_loader_new_with_type(type, &error);
    if (!loader) {
        const std::string message = error ? error->message : "no picture reader";
        g_clear_error(&error);
        throw EInvalidGraphic(message);
    }
    const bool written =
        gdk_pixbuf_loader_write(loader, reinterpret_cast<const guchar*>(data.data()), data.size(), &error);
    const bool closed = gdk_pixbuf_loader_close(loader, written ? &error : nullptr);
    GdkPixbuf* pixbuf = written && closed ? gdk_pixbuf_loader_get_pixbuf(loader) : nullptr;
    if (pixbuf) g_object_ref(pixbuf);
    g_object_unref(loader);
    if (!pixbuf) {
        const std::string message = error ? error->message : "Invalid picture";
        g_clear_error(&error);
        throw EInvalidGraphic(message);
    }
    g_clear_error(&error);
    InitWrappers();
    return Glib::wrap(pixbuf);
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

Glib::RefPtr<Gdk::Pixbuf> LoadJpeg(const std::string& data) {
    std::vector<unsigned char> pixels;
    int width = 0, height = 0;
    char message[JMSG_LENGTH_MAX] = "";
    if (data.empty()) throw EInvalidGraphic("Empty JPEG image");
    if (!DecodeJpeg(data, pixels, width, height, message)) throw EInvalidGraphic(message);
    if (width <= 0 || height <= 0) throw EInvalidGraphic("Empty JPEG image");
    InitWrappers();
    auto pixbuf = Gdk::Pixbuf::create(Gdk::COLORSPACE_RGB, false, 8, width, height);
    for (int y = 0; y < height; ++y)
        std::copy_n(pixels.data() + static_cast<size_t>(y) * width * 3, static_cast<size_t>(width) * 3,
                    pixbuf->get_pixels() + static_cast<size_t>(y) * pixbuf->get_rowstride());
    return pixbuf;
}

Glib::RefPtr<Gdk::Pixbuf> LoadPicture(std::string_view fileName, const std::string& data) {
    const std::string extension = ExtensionOf(fileName);
    if (extension == "jpg" || extension == "jpeg") return LoadJpeg(data);
    if (const char* loader = PixbufLoaderFor(extension)) return LoadWithPixbufLoader(loader, data);
    throw EInvalidGraphic("Unknown picture file extension (." + extension + ")");
}

int32_t PixelColor(const Glib::RefPtr<Gdk::Pixbuf>& picture, int x, int y) {
    if (!picture || x < 0 || y < 0 || x >= picture->get_width() || y >= picture->get_height()) return -1;
    const guint8* p = picture->get_pixels() + static_cast<size_t>(y) * picture->get_rowstride() +
                      static_cast<size_t>(x) * picture->get_n_channels();
    return static_cast<int32_t>(p[0] | p[1] << 8 | p[2] << 16);
}

Glib::RefPtr<Gdk::Pixbuf> WithTransparentColor(const Glib::RefPtr<Gdk::Pixbuf>& picture, int32_t color) {
    if (!picture || color == -1) return picture;
    // add_alpha replaces the colour only in a picture without alpha; one that has it is copied and
    // the colour cleared by hand, so that both kinds behave alike.
    if (!picture->get_has_alpha())
        return picture->add_alpha(true, static_cast<guint8>(color & 0xFF),
                                  static_cast<guint8>(color >> 8 & 0xFF),
                                  static_cast<guint8>(color >> 16 & 0xFF));
    Glib::RefPtr<Gdk::Pixbuf> copy = picture->copy();
    for (int y = 0; y < copy->get_height(); ++y) {
        guint8* row = copy->get_pixels() + static_cast<size_t>(y) * copy->get_rowstride();
        for (int x = 0; x < copy->get_width(); ++x) {
            guint8* p = row + static_cast<size_t>(x) * 4;
            if ((p[0] | p[1] << 8 | p[2] << 16) == (color & 0xFFFFFF)) p[3] = 0;
        }
    }
    return copy;
}

int32_t BitmapTransparentColor(const Glib::RefPtr<Gdk::Pixbuf>& picture) {
    return picture ? PixelColor(picture, 0, picture->get_height() - 1) : -1;
}
