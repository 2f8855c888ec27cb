// Picture readers chosen by extension: bitmaps, icons, JPEG through libjpeg, metafiles.
#include "u_Pictures.h"

#include "ViewerTestSupport.h"

#include <gtest/gtest.h>

namespace {

TEST(Pictures, ReadersByExtensionInAnyCase) {
    const std::string bmp = MakeBitmap(7, 5);
    auto picture = LoadPicture("Logo.BMP", bmp);
    EXPECT_EQ(picture->get_width(), 7);
    EXPECT_EQ(picture->get_height(), 5);

    picture = LoadPicture("icon.Ico", MakeBitmap(16, 16, "ico"));
    EXPECT_EQ(picture->get_width(), 16);

    const std::string jpeg = MakeBitmap(33, 17, "jpeg");
    for (const char* name : {"a.jpg", "b.JPEG"}) {
        picture = LoadPicture(name, jpeg);
        EXPECT_EQ(picture->get_width(), 33);
        EXPECT_EQ(picture->get_height(), 17);
        // The fill colour survives the lossy round trip closely.
        const guint8* p = picture->get_pixels();
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
