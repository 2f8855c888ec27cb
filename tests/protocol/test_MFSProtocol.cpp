#include "ProtocolTestSupport.h"

#include "u_MFSProtocol.h"

namespace {

void AddFile(TMFS& archive, const std::string& path, const std::string& data) {
    archive.Session()->ForceFolders(TMFS::ExtractFilePath(TMFS::NormalizePath(path)));
    archive.Session()->CreateFile(path, faArchive, true)->Data = data;
}

class MFSProtocol : public ProtocolTest {
  protected:
    void SetUp() override {
        ProtocolTest::SetUp();
        AddFile(Pages, "\\pages\\a.htm", "page a %{title}");
        AddFile(Pages, "\\pages\\Sub Dir\\b.htm", "page b");
        AddFile(Pages, "\\root.htm", "root");
        AddFile(System, "\\System.xml", "<system/>");
    }

    std::string Combine(const std::u16string& base, const std::u16string& relative) {
        auto protocol = NewProtocol();
        TComPtr<IInternetProtocolInfo> info;
        protocol->QueryInterface(IID_IInternetProtocolInfo, info.PutVoid());
        char16_t result[300];
        DWORD length = 0;
        EXPECT_EQ(info->CombineUrl(base.c_str(), relative.c_str(), 0, result, 300, &length, 0), S_OK);
        return WideToAnsi(result);
    }

    // The content of url taken in one piece, as the WebKit side takes it.
    static TByteString TakeWhole(const std::u16string& url) {
        auto protocol = NewProtocol();
        auto sink = TComPtr<TRecordingSink>(new TRecordingSink);
        EXPECT_EQ(protocol->Start(url.c_str(), sink.Get(), nullptr, 0, 0), S_OK);
        TComPtr<IInternetProtocolContent> whole;
        EXPECT_EQ(protocol->QueryInterface(IID_IInternetProtocolContent, whole.PutVoid()), S_OK);
        TByteString content;
        EXPECT_EQ(whole->TakeContent(content), S_OK);
        // Nothing is left to read afterwards.
        char buffer[16];
        ULONG n = 99;
        EXPECT_EQ(protocol->Read(buffer, sizeof buffer, &n), S_FALSE);
        EXPECT_EQ(n, 0u);
        return content;
    }

    TMFS Pages;
    TMFS System;
};

TEST_F(MFSProtocol, ServesFilesByPathInAnySeparatorAndCase) {
    TMFSInternetProtocol mfs("mfs", &Pages);
    TMFSInternetProtocol system("system", &System);
    EXPECT_EQ(Fetch(u"mfs:\\pages\\a.htm"), "page a %{title}");
    EXPECT_EQ(Fetch(u"mfs:/pages/a.htm"), "page a %{title}");
    EXPECT_EQ(Fetch(u"MFS:\\PAGES/A.HTM"), "page a %{title}");
    EXPECT_EQ(Fetch(u"mfs:pages\\a.htm"), "page a %{title}") << "relative to the session's current folder";
    EXPECT_EQ(Fetch(u"mfs:\\pages\\Sub%20Dir\\..\\..\\root.htm"), "root");
    EXPECT_EQ(Fetch(u"mfs:mfs:\\root.htm"), "root") << "a doubled scheme prefix is tolerated";
    EXPECT_EQ(Fetch(u"system:\\system.xml"), "<system/>");
    EXPECT_NE(Fetch(u"system:\\root.htm").find("File \"\\root.htm\" not found"), std::string::npos);
}

TEST_F(MFSProtocol, MissingFilesAndFoldersGiveTheErrorPage) {
    TMFSInternetProtocol mfs("mfs", &Pages);
    HRESULT hr = E_FAIL;
    EXPECT_EQ(Fetch(u"mfs:", &hr),
              "<html><pre><p>An exception occured during attempt to get data</p><p>URL: <b></b></p>"
              "<p>Exception: <b>File \"\" not found</b></p></html>");
    EXPECT_EQ(hr, S_OK);
    EXPECT_NE(Fetch(u"mfs:\\pages\\").find("File \"\\pages\\\" not found"), std::string::npos);
    EXPECT_NE(Fetch(u"mfs:\\pages").find("File \"\\pages\" not found"), std::string::npos);
    EXPECT_NE(Fetch(u"mfs:\\nowhere\\x.htm").find("Exception: <b>Path"), std::string::npos);
    EXPECT_NE(Fetch(u"mfs:\\..\\x.htm").find("Exception: <b>"), std::string::npos);
}

TEST_F(MFSProtocol, AfterGetDataRewritesServedFilesButNotTheErrorPage) {
    TMFSInternetProtocol mfs("mfs", &Pages);
    std::vector<std::string> seen;
    mfs.OnAfterGetData = [&](TMFSInternetProtocol* sender, const std::string& url, TByteString& data) {
        EXPECT_EQ(sender, &mfs);
        seen.push_back(url);
        std::string text = data.Take();
        for (size_t at; (at = text.find("%{title}")) != std::string::npos;)
            text.replace(at, 8, "Moby");
        data = std::move(text);
    };
    EXPECT_EQ(Fetch(u"mfs:mfs:/pages/a.htm"), "page a Moby");
    EXPECT_EQ(seen, std::vector<std::string>{"/pages/a.htm"});
    const std::string page = Fetch(u"mfs:\\%{title}.htm");
    EXPECT_NE(page.find("File \"\\%{title}.htm\" not found"), std::string::npos);
    EXPECT_EQ(seen.size(), 1u);
}

TEST_F(MFSProtocol, CombinesRelativeLinksWithinTheArchive) {
    TMFSInternetProtocol mfs("mfs", &Pages);
    EXPECT_EQ(Combine(u"mfs:\\pages\\a.htm", u"b.htm"), "mfs:\\pages\\b.htm");
    EXPECT_EQ(Combine(u"mfs:/pages/a.htm", u"sub/b.htm"), "mfs:\\pages\\sub\\b.htm");
    EXPECT_EQ(Combine(u"mfs:\\pages\\a.htm", u"..\\img\\x.png"), "mfs:\\pages\\..\\img\\x.png");
    EXPECT_EQ(Combine(u"mfs:\\pages\\a.htm", u"\\root.htm"), "mfs:\\root.htm");
    EXPECT_EQ(Combine(u"mfs:\\pages\\a.htm", u"/root.htm"), "mfs:\\root.htm");
    EXPECT_EQ(Combine(u"mfs:a.htm", u"b.htm"), "mfs:b.htm");
    EXPECT_EQ(Combine(u"mfs:\\pages\\a.htm", u"Sub Dir\\b.htm"), "mfs:\\pages\\Sub%20Dir\\b.htm");
    EXPECT_EQ(Combine(u"mfs:\\pages\\a.htm", u"http://example.org/a b"), "http://example.org/a%20b");
    // What a combined link names is served: the blank's escape is undone by Start.
    EXPECT_EQ(Fetch(AnsiToWide(Combine(u"mfs:\\pages\\a.htm", u"Sub Dir\\b.htm"))), "page b");
    EXPECT_EQ(Fetch(AnsiToWide(Combine(u"mfs:\\pages\\Sub Dir\\b.htm", u"..\\a.htm"))), "page a %{title}");
}

TEST_F(MFSProtocol, RegisteredExactlyWhileItExists) {
    {
        TMFSInternetProtocol mfs("mfs", &Pages);
        EXPECT_EQ(ProtocolSupportSession().FindProtocol(u"mfs"), &mfs.Support());
        EXPECT_TRUE(mfs.Support().Active());
        EXPECT_THROW(TMFSInternetProtocol("MFS", &System), EDictionaryError);
    }
    EXPECT_EQ(ProtocolSupportSession().FindProtocol(u"mfs"), nullptr);
    EXPECT_THROW(TMFSInternetProtocol("", &Pages), EInternetProtocolSupportError);
}

} // namespace

namespace {

TEST_F(MFSProtocol, ServedFilesShareTheArchivesBytesUntilRewritten) {
    TMFSInternetProtocol mfs("mfs", &Pages);
    const TByteString page = TakeWhole(u"mfs:\\root.htm");
    EXPECT_EQ(page, "root");
    EXPECT_EQ(page.data(), Pages.Session()->GetFile("\\root.htm")->Data.data()) << "served without a copy";

    // The bytes stay what was served when the file changes and when the archive goes.
    auto stream = Pages.Session()->GetFile("\\root.htm")->CreateStream();
    stream->WriteBuffer("ROOT", 4);
    stream.reset();
    EXPECT_EQ(Pages.Session()->GetFile("\\root.htm")->Data, "ROOT");
    {
        TMFS gone;
        AddFile(gone, "\\x.htm", std::string(10000, 'x'));
        TMFSInternetProtocol other("other", &gone);
        const TByteString kept = TakeWhole(u"other:\\x.htm");
        gone.LoadFromString(TMFS().SaveToString());
        EXPECT_EQ(kept, std::string(10000, 'x'));
    }
    EXPECT_EQ(page, "root");

    // A rewriting handler's content is served as it left it; the error page too.
    mfs.OnAfterGetData = [](TMFSInternetProtocol*, const std::string&, TByteString& data) {
        data = data.str() + "!";
    };
    EXPECT_EQ(TakeWhole(u"mfs:\\pages\\Sub Dir\\b.htm"), "page b!");
    EXPECT_NE(TakeWhole(u"mfs:\\missing.htm").View().find("File \"\\missing.htm\" not found"),
              std::string_view::npos);
}

} // namespace
