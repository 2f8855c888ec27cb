// Picture files for book tests, written as the book's authors' tools write them.
#pragma once

#include <gdk-pixbuf/gdk-pixbuf.h>

#include <cstdint>
#include <string>

// A 24-bit Windows bitmap of one colour (0xRRGGBB); a negative height stores the rows top-down.
// The pixel at the bottom-left corner may be given its own colour.
inline std::string Bitmap(int32_t width, int32_t height, uint32_t rgb = 0x3366CC, int64_t bottomLeft = -1) {
    const int32_t rows = height < 0 ? -height : height;
    const int32_t stride = (width * 3 + 3) / 4 * 4;
    std::string data;
    auto u32 = [&](uint32_t v) {
        for (int i = 0; i < 4; ++i)
            data += static_cast<char>(v >> (8 * i));
    };
    auto u16 = [&](uint32_t v) {
        data += static_cast<char>(v);
        data += static_cast<char>(v >> 8);
    };
    data += "BM";
    u32(static_cast<uint32_t>(54 + stride * rows));
    u32(0);
    u32(54);
    u32(40);
    u32(static_cast<uint32_t>(width));
    u32(static_cast<uint32_t>(height));
    u16(1);
    u16(24);
    u32(0);
    u32(static_cast<uint32_t>(stride * rows));
    u32(2835);
    u32(2835);
    u32(0);
    u32(0);
    for (int32_t row = 0; row < rows; ++row) {
        // The file's first row is the bottom one unless the height is negative.
        const bool bottom = height > 0 ? row == 0 : row == rows - 1;
        for (int32_t x = 0; x < width; ++x) {
            const uint32_t c = bottom && x == 0 && bottomLeft >= 0 ? static_cast<uint32_t>(bottomLeft) : rgb;
            data += static_cast<char>(c & 0xFF);         // blue
            data += static_cast<char>((c >> 8) & 0xFF);  // green
            data += static_cast<char>((c >> 16) & 0xFF); // red
        }
        data += std::string(static_cast<size_t>(stride - width * 3), '\0');
    }
    return data;
}

// A picture of one colour saved by gdk-pixbuf in format ("jpeg", "ico", "png").
inline std::string SavedPicture(int width, int height, const char* format) {
    GdkPixbuf* pixbuf = gdk_pixbuf_new(GDK_COLORSPACE_RGB, format == std::string("ico"), 8, width, height);
    gdk_pixbuf_fill(pixbuf, 0x3366ccff);
    gchar* buffer = nullptr;
    gsize size = 0;
    gdk_pixbuf_save_to_buffer(pixbuf, &buffer, &size, format, nullptr, nullptr);
    std::string bytes(buffer, size);
    g_free(buffer);
    g_object_unref(pixbuf);
    return bytes;
}
