// Picture readers chosen by extension: bitmaps, icons, JPEG through libjpeg, metafiles.
#include "u_Pictures.h"

#include "ViewerTestSupport.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <vector>

namespace {

TEST(Pictures, ReadersByExtensionInAnyCase) {
    const std::string bmp = MakeBitmap(7, 5);
    auto picture = LoadPicture("Logo.BMP", bmp);
    EXPECT_EQ(gdk_pixbuf_get_width(picture.get()), 7);
    EXPECT_EQ(gdk_pixbuf_get_height(picture.get()), 5);

    picture = LoadPicture("icon.Ico", MakeBitmap(16, 16, "ico"));
    EXPECT_EQ(gdk_pixbuf_get_width(picture.get()), 16);

    const std::string jpeg = MakeBitmap(33, 17, "jpeg");
    for (const char* name : {"a.jpg", "b.JPEG"}) {
        picture = LoadPicture(name, jpeg);
        EXPECT_EQ(gdk_pixbuf_get_width(picture.get()), 33);
        EXPECT_EQ(gdk_pixbuf_get_height(picture.get()), 17);
        // The fill colour survives the lossy round trip closely.
        const guint8* p = gdk_pixbuf_read_pixels(picture.get());
        EXPECT_NEAR(p[0], 0x33, 6);
        EXPECT_NEAR(p[1], 0x66, 6);
        EXPECT_NEAR(p[2], 0xcc, 6);
    }
    EXPECT_TRUE(IsPictureFileName("x.wmf"));
    EXPECT_TRUE(IsPictureFileName("x.EMF"));
    EXPECT_FALSE(IsPictureFileName("x.png"));
    EXPECT_FALSE(IsPictureFileName("bmp"));
    EXPECT_FALSE(IsPictureFileName("dir.bmp\\file"));
}

// A placeable Windows metafile of one filled rectangle, 100 x 50 units at 1440 units per inch.
std::string MakeMetafile() {
    std::string wmf;
    auto word = [&](int v) {
        wmf += static_cast<char>(v & 0xFF);
        wmf += static_cast<char>((v >> 8) & 0xFF);
    };
    const int placeable[] = {0xCDD7, 0x9AC6, 0, 0, 0, 1440, 720, 1440, 0, 0};
    int checksum = 0;
    for (int w : placeable)
        checksum ^= w;
    for (int w : placeable)
        word(w);
    word(checksum);
    const std::vector<std::vector<int>> records = {
        {0x020B, 0, 0},              // SetWindowOrg
        {0x020C, 720, 1440},         // SetWindowExt
        {0x041B, 700, 1400, 20, 20}, // Rectangle bottom, right, top, left
        {0x0000},                    // end of file
    };
    int total = 9, largest = 0;
    for (const auto& r : records) {
        total += 3 + static_cast<int>(r.size()) - 1;
        largest = std::max(largest, 3 + static_cast<int>(r.size()) - 1);
    }
    for (int w : {1, 9, 0x300, total & 0xFFFF, total >> 16, 0, largest, 0, 0})
        word(w);
    for (const auto& r : records) {
        const int size = 3 + static_cast<int>(r.size()) - 1;
        word(size & 0xFFFF);
        word(size >> 16);
        for (int w : r)
            word(w);
    }
    return wmf;
}

TEST(Pictures, MetafileThroughThePixbufLoader) {
    // libwmf reads nothing without the PostScript base fonts (Debian: fonts-urw-base35).
    if (!std::filesystem::exists("/usr/share/fonts/type1/urw-base35"))
        GTEST_SKIP() << "fonts-urw-base35 is not installed; the metafile loader cannot work";
    auto picture = LoadPicture("Splash.WMF", MakeMetafile());
    EXPECT_GT(gdk_pixbuf_get_width(picture.get()), 0);
    EXPECT_GT(gdk_pixbuf_get_height(picture.get()), 0);
    EXPECT_GT(gdk_pixbuf_get_width(picture.get()), gdk_pixbuf_get_height(picture.get())); // twice as wide as high
}

TEST(Pictures, WrongBytesAndUnknownExtensionsRaise) {
    EXPECT_THROW(LoadPicture("a.png", MakeBitmap(2, 2, "png")), EInvalidGraphic);
    EXPECT_THROW(LoadPicture("a.bmp", "not a bitmap"), EInvalidGraphic);
    EXPECT_THROW(LoadPicture("a.jpg", ""), EInvalidGraphic);
    EXPECT_THROW(LoadPicture("a.jpg", MakeBitmap(4, 4, "bmp")), EInvalidGraphic);
    // A JPEG cut short in its header.
    const std::string jpeg = MakeBitmap(20, 20, "jpeg");
    EXPECT_THROW(LoadPicture("a.jpg", jpeg.substr(0, 40)), EInvalidGraphic);
    EXPECT_THROW(LoadPicture("a.wmf", "garbage"), EInvalidGraphic);
}

} // namespace
