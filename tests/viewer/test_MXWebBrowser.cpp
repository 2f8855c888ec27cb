// The page view: host flag values, the host answers, and the browser operations on the real engine.
#include "u_MXWebBrowser.h"

#include "ViewerTestSupport.h"

#include "u_GObject.h"

#include <gtest/gtest.h>
#include <gtk/gtk.h>
#include <webkit2/webkit2.h>

namespace {

class TMXWebBrowserTest : public TBrowserWindowFixture {
  protected:
    // Loads html and waits until the document is complete.
    void Load(const std::string& html) {
        int completed = 0;
        Browser->OnDocumentComplete = [&](TMXWebBrowser*) { ++completed; };
        Browser->LoadHTML(html, "about:blank");
        ASSERT_TRUE(PumpUntil([&] { return completed > 0; }));
        Browser->OnDocumentComplete = nullptr;
    }
};

TEST(TMXWebBrowserFlags, SumsAreUnionsOfTheMembersValues) {
    EXPECT_EQ(DownloadFlagsOf({}), 0u);
    EXPECT_EQ(HostUIFlagsOf({}), 0u);
    EXPECT_EQ(DownloadFlagsOf({DLCTL_DLIMAGES, DLCTL_VIDEOS, DLCTL_BGSOUNDS}), 0x70u);
    EXPECT_EQ(DownloadFlagsOf({DLCTL_OFFLINE, DLCTL_NO_SCRIPTS}), 0x80000080u);
    EXPECT_EQ(HostUIFlagsOf({TUserInterfaceOption::SCROLL_NO}), 0x8u);
    EXPECT_EQ(HostUIFlagsOf({TUserInterfaceOption::NO3DOUTERBORDER, TUserInterfaceOption::DIALOG}),
              0x200001u);
}

TEST_F(TMXWebBrowserTest, StartsWithImagesVideosSoundsAndNoHostFlags) {
    EXPECT_EQ(Browser->DownloadControlFlags(), 0x70u);
    EXPECT_EQ(Browser->HostUIFlags(), 0u);
    int32_t value = 0;
    EXPECT_EQ(Browser->InvokeAmbient(DISPID_AMBIENT_DLCONTROL, DISPATCH_PROPERTYGET, &value), S_OK);
    EXPECT_EQ(value, 0x70);
    // Only the download-control property is answered, and only as a read.
    EXPECT_NE(Browser->InvokeAmbient(-5501, DISPATCH_PROPERTYGET, &value), S_OK);
    EXPECT_NE(Browser->InvokeAmbient(DISPID_AMBIENT_DLCONTROL, 1, &value), S_OK);
    EXPECT_NE(Browser->InvokeAmbient(DISPID_AMBIENT_DLCONTROL, DISPATCH_PROPERTYGET, nullptr), S_OK);

    Browser->SetDownloadOptions({});
    EXPECT_EQ(Browser->InvokeAmbient(DISPID_AMBIENT_DLCONTROL, DISPATCH_PROPERTYGET, &value), S_OK);
    EXPECT_EQ(value, 0);
}

TEST_F(TMXWebBrowserTest, HostAnswersWithoutAndWithEvents) {
    EXPECT_EQ(Browser->ShowContextMenu(0, {}, nullptr, nullptr), S_FALSE);
    TComPtr<IUnknown> external;
    EXPECT_EQ(Browser->GetExternal(external), S_FALSE);
    EXPECT_FALSE(external);
    EXPECT_TRUE(Browser->CloseQuery());

    Browser->OnShowContextMenu = [](DWORD, const TPoint&, IUnknown*, IUnknown*) { return S_OK; };
    EXPECT_EQ(Browser->ShowContextMenu(0, {}, nullptr, nullptr), S_OK);
    Browser->OnGetExternal = [](TComPtr<IUnknown>&) { return E_UNEXPECTED; };
    EXPECT_EQ(Browser->GetExternal(external), E_UNEXPECTED);
    Browser->OnCloseQuery = [](TMXWebBrowser*, bool& canClose) { canClose = false; };
    EXPECT_FALSE(Browser->CloseQuery());
}

TEST_F(TMXWebBrowserTest, PageCloseRequestReachesOnCloseQuery) {
    int asked = 0;
    Browser->OnCloseQuery = [&](TMXWebBrowser* sender, bool&) {
        EXPECT_EQ(sender, Browser.get());
        ++asked;
    };
    Load("<html><body>x</body></html>");
    Browser->EvaluateScript("window.close(); 1");
    EXPECT_TRUE(PumpUntil([&] { return asked > 0; }, 5000));
}

TEST_F(TMXWebBrowserTest, NavigationEventsReadyStateAndLocation) {
    EXPECT_EQ(Browser->ReadyState(), READYSTATE_UNINITIALIZED);
    EXPECT_EQ(Browser->LocationURL(), "");
    std::vector<std::string> events;
    Browser->OnNavigateComplete2 = [&](TMXWebBrowser* b) {
        events.push_back("navigate " + std::to_string(b->ReadyState()));
    };
    Browser->OnDocumentComplete = [&](TMXWebBrowser* b) {
        events.push_back("complete " + std::to_string(b->ReadyState()));
    };
    Browser->Navigate("about:blank");
    EXPECT_EQ(Browser->ReadyState(), READYSTATE_LOADING);
    ASSERT_TRUE(PumpUntil([&] { return events.size() == 2; }));
    EXPECT_EQ(events[0], "navigate 3");
    EXPECT_EQ(events[1], "complete 4");
    EXPECT_EQ(Browser->LocationURL(), "about:blank");
}

TEST_F(TMXWebBrowserTest, HistoryFailsWithoutEntriesAndHomeIsBlank) {
    EXPECT_EQ(Browser->GoBack(), E_FAIL);
    EXPECT_EQ(Browser->GoForward(), E_FAIL);
    Load("<html><body>first</body></html>");
    Browser->GoHome();
    ASSERT_TRUE(PumpUntil([&] { return Browser->ReadyState() == READYSTATE_COMPLETE; }));
    EXPECT_EQ(Browser->LocationURL(), "about:blank");
}

TEST_F(TMXWebBrowserTest, ExecWBZoomCopyRefreshAndUnknownCommands) {
    Load("<html><body><p id='p'>copy me</p></body></html>");
    EXPECT_EQ(Browser->ExecWB(OLECMDID_ZOOM, OLECMDEXECOPT_DONTPROMPTUSER, 4), S_OK);
    EXPECT_EQ(Browser->ZoomLevel(), 4);
    EXPECT_GT(webkit_web_view_get_zoom_level(Browser->View()), 1.0);
    EXPECT_EQ(Browser->ExecWB(OLECMDID_ZOOM, OLECMDEXECOPT_DONTPROMPTUSER, 5), E_INVALIDARG);
    EXPECT_EQ(Browser->ExecWB(OLECMDID_ZOOM, OLECMDEXECOPT_DONTPROMPTUSER, -1), E_INVALIDARG);
    EXPECT_EQ(Browser->ZoomLevel(), 4);
    EXPECT_EQ(Browser->ExecWB(OLECMDID_ZOOM, OLECMDEXECOPT_DONTPROMPTUSER, 2), S_OK);
    EXPECT_DOUBLE_EQ(webkit_web_view_get_zoom_level(Browser->View()), 1.0);

    GtkClipboard* clipboard = gtk_clipboard_get(GDK_SELECTION_CLIPBOARD);
    gtk_clipboard_set_text(clipboard, "before", -1);
    auto clipboardText = [clipboard] {
        TGlibPtr<char, g_free> text(gtk_clipboard_wait_for_text(clipboard));
        return std::string(text ? text.get() : "");
    };
    Browser->EvaluateScript(
        "var r = document.createRange(); r.selectNodeContents(document.getElementById('p'));"
        "getSelection().removeAllRanges(); getSelection().addRange(r); 1");
    EXPECT_EQ(Browser->ExecWB(OLECMDID_COPY, OLECMDEXECOPT_DONTPROMPTUSER), S_OK);
    EXPECT_TRUE(PumpUntil([&] { return clipboardText() == "copy me"; }, 5000));

    int completed = 0;
    Browser->OnDocumentComplete = [&](TMXWebBrowser*) { ++completed; };
    EXPECT_EQ(Browser->ExecWB(OLECMDID_REFRESH, OLECMDEXECOPT_DONTPROMPTUSER), S_OK);
    EXPECT_TRUE(PumpUntil([&] { return completed > 0; }));
    EXPECT_EQ(Browser->ExecWB(9999, OLECMDEXECOPT_DONTPROMPTUSER), E_NOTIMPL);
}

TEST_F(TMXWebBrowserTest, DocumentElementsInDocumentOrder) {
    Load("<html><head><title>t</title></head><body><div id=\"aPAGE\">one <b>\x1f|\x1e</b></div>"
         "<p>x\\y</p></body></html>");
    auto elements = Browser->DocumentElements();
    ASSERT_TRUE(elements);
    std::vector<std::string> tags;
    for (const auto& e : *elements)
        tags.push_back(e.TagName);
    EXPECT_EQ(tags, (std::vector<std::string>{"HTML", "HEAD", "TITLE", "BODY", "DIV", "B", "P"}));
    EXPECT_EQ((*elements)[4].Id, "aPAGE");
    // Separator characters and backslashes inside the markup survive the trip.
    EXPECT_EQ((*elements)[4].InnerHTML, "one <b>\x1f|\x1e</b>");
    EXPECT_EQ((*elements)[6].InnerHTML, "x\\y");
}

TEST_F(TMXWebBrowserTest, ScrollNoHidesTheScrollBars) {
    Browser->SetUserInterfaceOptions({TUserInterfaceOption::SCROLL_NO});
    EXPECT_EQ(Browser->HostUIFlags(), 0x8u);
    Load("<html><body style='height:5000px'>tall</body></html>");
    EXPECT_EQ(Browser->EvaluateScript("getComputedStyle(document.documentElement).overflow"), "hidden");
    Browser->SetUserInterfaceOptions({});
    Load("<html><body style='height:5000px'>tall</body></html>");
    EXPECT_EQ(Browser->EvaluateScript("getComputedStyle(document.documentElement).overflow"), "visible");
}

} // namespace
