// The splash picture window: picture, interval clamp, timer, click, release.
#include "frm_Splash.h"

#include "ViewerTestSupport.h"
#include "u_MFS.h"

#include <gtest/gtest.h>

namespace {

class TSplashTest : public ::testing::Test {
  protected:
    TMFSFile* File(const std::string& name, const std::string& data) {
        TMFSFile* file = Archive.Session()->CreateFile(name, faArchive, true);
        file->Data = data;
        return file;
    }
    void TearDown() override { ReleaseAllSplashes(); }

    TMFS Archive;
};

TEST_F(TSplashTest, IntervalIsClampedAndPictureSizesTheWindow) {
    TMFSFile* file = File("SplashS.bmp", MakeBitmap(120, 80));
    TfrmSplash* splash = TfrmSplash::Create();
    splash->LoadPicture(file, 25, false);
    ASSERT_TRUE(splash->Loaded);
    EXPECT_EQ(splash->TimerInterval(), 10000u);
    EXPECT_TRUE(splash->TimerEnabled());
    splash->Show();
    int width = 0, height = 0;
    PumpUntil(
        [&] {
            gtk_window_get_size(splash->Window(), &width, &height);
            return width == 120;
        },
        3000);
    EXPECT_EQ(width, 120);
    EXPECT_EQ(height, 80);
    EXPECT_FALSE(gtk_window_get_decorated(splash->Window()));
    EXPECT_TRUE(splash->CloseOnClick == false);
}

TEST_F(TSplashTest, TimerClosesAfterFinishOnly) {
    TMFSFile* file = File("SplashE.jpg", MakeBitmap(40, 30, "jpeg"));
    SplashDone = false;
    TfrmSplash* splash = TfrmSplash::Create();
    splash->LoadPicture(file, 1, false);
    ASSERT_TRUE(splash->Loaded);
    splash->Show();
    splash->Finish();
    EXPECT_TRUE(splash->CloseOnTimer);
    EXPECT_FALSE(SplashDone);
    EXPECT_TRUE(PumpUntil([] { return SplashDone; }, 5000));
    // The released window is destroyed from the main loop.
    EXPECT_TRUE(PumpUntil([] { return LiveSplashCount() == 0; }, 2000));
}

TEST_F(TSplashTest, ZeroOrNegativeIntervalClosesAtOnce) {
    TMFSFile* file = File("SplashS.bmp", MakeBitmap(10, 10));
    for (int seconds : {0, -3}) {
        SplashDone = false;
        TfrmSplash* splash = TfrmSplash::Create();
        splash->LoadPicture(file, seconds, false);
        ASSERT_TRUE(splash->Loaded);
        EXPECT_EQ(splash->TimerInterval(), 0u);
        EXPECT_FALSE(splash->TimerEnabled());
        splash->Show();
        splash->Finish();
        EXPECT_TRUE(SplashDone) << seconds;
    }
}

TEST_F(TSplashTest, ClickClosesOnlyWhenAllowed) {
    TMFSFile* file = File("SplashS.bmp", MakeBitmap(10, 10));
    SplashDone = false;
    TfrmSplash* stubborn = TfrmSplash::Create();
    stubborn->LoadPicture(file, 10, false);
    stubborn->Show();
    stubborn->Finish();
    EXPECT_FALSE(stubborn->FormClick(nullptr));
    EXPECT_FALSE(SplashDone);
    ReleaseAllSplashes();

    TfrmSplash* polite = TfrmSplash::Create();
    polite->LoadPicture(file, 10, true);
    polite->Show();
    polite->Finish();
    EXPECT_TRUE(polite->FormClick(nullptr));
    EXPECT_TRUE(SplashDone);
    EXPECT_FALSE(gtk_widget_get_visible(GTK_WIDGET(polite->Window())));
}

TEST_F(TSplashTest, UnreadablePictureStaysUnloaded) {
    for (auto [name, data] : {std::pair<std::string, std::string>{"a.png", MakeBitmap(5, 5, "png")},
                              {"b.bmp", "broken"},
                              {"c.txt", "text"}}) {
        TfrmSplash* splash = TfrmSplash::Create();
        splash->LoadPicture(File(name, data), 3, true);
        EXPECT_FALSE(splash->Loaded) << name;
        EXPECT_FALSE(splash->TimerEnabled()) << name;
        SplashDone = false;
        splash->Finish(); // never shown, released at once
        EXPECT_TRUE(SplashDone) << name;
    }
}

} // namespace
