#include "ProtocolTestSupport.h"

#include "u_WinInet.h"

#include <gmock/gmock.h>

#include <memory>

namespace {

// A scheme whose content is whatever the test puts into Content; it records what it was asked.
struct TScheme {
    explicit TScheme(const std::string& name, bool active = true) {
        Support.SetProtocol(name);
        Support.OnGetData = [this](TInternetProtocolSupport*, const std::string& url, TByteString& data) {
            Requested.push_back(url);
            if (Fail) throw EMFSError(Fail);
            data = Content;
        };
        Support.OnCombineURL = [](TInternetProtocolSupport*, const std::string& base,
                                  const std::string& relative,
                                  std::string& result) { result = base + "|" + relative; };
        if (active) Support.SetActive(true);
    }
    TInternetProtocolSupport Support;
    std::string Content = "content";
    const char* Fail = nullptr;
    std::vector<std::string> Requested;
};

using SupportRegistration = ProtocolTest;
using ProtocolStart = ProtocolTest;
using ProtocolRead = ProtocolTest;
using ProtocolUrls = ProtocolTest;

TEST_F(SupportRegistration, ConnectionFollowsTheNumberOfRegisteredSchemes) {
    EXPECT_FALSE(ProtocolSupportSession().Connected());
    const int before = Session->AddRefCalls;
    {
        TScheme mfs("mfs");
        EXPECT_TRUE(ProtocolSupportSession().Connected());
        EXPECT_EQ(Session->AddRefCalls, before + 1);
        {
            TScheme system("system");
            EXPECT_EQ(Session->AddRefCalls, before + 1) << "a second scheme must not reconnect";
        }
        EXPECT_TRUE(ProtocolSupportSession().Connected());
        EXPECT_TRUE(mfs.Support.Active());
    }
    EXPECT_FALSE(ProtocolSupportSession().Connected());
    EXPECT_EQ(Session->Log, (std::vector<std::string>{"register mfs", "register system", "unregister system",
                                                      "unregister mfs"}));
    EXPECT_NE(Session->Factory, nullptr);
}

TEST_F(SupportRegistration, FailuresLeaveTheSupportInactiveAndTheSessionAsItWas) {
    TScheme unnamed("", false);
    try {
        unnamed.Support.SetActive(true);
        FAIL();
    } catch (const EInternetProtocolSupportError& e) {
        EXPECT_STREQ(e.what(), "Protocol not set");
    }
    EXPECT_FALSE(unnamed.Support.Active());
    EXPECT_FALSE(ProtocolSupportSession().Connected());

    Session->FailRegistration = true;
    TScheme refused("mfs", false);
    try {
        refused.Support.SetActive(true);
        FAIL();
    } catch (const EOleSysError& e) {
        EXPECT_EQ(e.ErrorCode, E_FAIL);
    }
    EXPECT_FALSE(refused.Support.Active());
    EXPECT_FALSE(ProtocolSupportSession().Connected());
    EXPECT_EQ(ProtocolSupportSession().FindProtocol(u"mfs"), nullptr);
    Session->FailRegistration = false;

    TScheme first("mfs");
    TScheme duplicate("MFS", false);
    EXPECT_THROW(duplicate.Support.SetActive(true), EDictionaryError);
    EXPECT_FALSE(duplicate.Support.Active());
    EXPECT_EQ(ProtocolSupportSession().FindProtocol(u"Mfs"), &first.Support);
    EXPECT_EQ(Session->Log, std::vector<std::string>{"register mfs"})
        << "the URL session never saw the duplicate";

    first.Support.OnGetData = nullptr;
    first.Support.OnCombineURL = nullptr;
    EXPECT_THAT([&] { first.Support.GetData("x"); },
                ::testing::ThrowsMessage<EInternetProtocolSupportError>("Property OnGetData not assigned"));
    EXPECT_THAT(
        [&] { first.Support.CombineURL("a", "b"); },
        ::testing::ThrowsMessage<EInternetProtocolSupportError>("Property OnCombineURL not assigned"));
}

TEST_F(SupportRegistration, RenamingDeactivatesAndNoSessionMeansAnOleError) {
    TScheme scheme("mfs");
    scheme.Support.SetProtocol("book");
    EXPECT_FALSE(scheme.Support.Active());
    EXPECT_EQ(ProtocolSupportSession().FindProtocol(u"mfs"), nullptr);
    scheme.Support.SetActive(true);
    EXPECT_EQ(ProtocolSupportSession().FindProtocol(u"BOOK"), &scheme.Support);
    scheme.Support.SetActive(false);

    InstallURLSession(nullptr);
    EXPECT_THROW(scheme.Support.SetActive(true), EOleSysError);
    EXPECT_FALSE(scheme.Support.Active());
}

TEST_F(ProtocolStart, ReportsAllContentInOneGo) {
    TScheme scheme("mfs");
    scheme.Content = "0123456789";
    auto protocol = NewProtocol();
    auto sink = TComPtr<TRecordingSink>(new TRecordingSink);
    ASSERT_EQ(protocol->Start(u"MFS:\\a.htm", sink.Get(), nullptr, 0, 0), S_OK);
    ASSERT_EQ(sink->Reports.size(), 2u);
    EXPECT_EQ(sink->Reports[0].What, "data");
    EXPECT_EQ(sink->Reports[0].Flags, 0x0Du);
    EXPECT_EQ(sink->Reports[0].Progress, 10u);
    EXPECT_EQ(sink->Reports[0].ProgressMax, 10u);
    EXPECT_EQ(sink->Reports[1].What, "result");
    EXPECT_EQ(sink->Reports[1].Result, S_OK);
    EXPECT_EQ(sink->Reports[1].Status, HTTP_STATUS_OK);
    EXPECT_EQ(scheme.Requested, std::vector<std::string>{"\\a.htm"}) << "MFS in capitals is served by mfs";

    // Empty content is delivered as one blank.
    scheme.Content.clear();
    sink->Reports.clear();
    ASSERT_EQ(protocol->Start(u"mfs:x", sink.Get(), nullptr, 0, 0), S_OK);
    ASSERT_EQ(sink->Reports.size(), 2u);
    EXPECT_EQ(sink->Reports[0].Progress, 1u);
    EXPECT_EQ(sink->Reports[0].ProgressMax, 1u);
    char c = 0;
    ULONG n = 0;
    EXPECT_EQ(protocol->Read(&c, 1, &n), S_FALSE);
    EXPECT_EQ(c, ' ');
}

TEST_F(ProtocolStart, UnregisteredSchemeIsAnInvalidUrlWithoutReports) {
    TScheme scheme("mfs");
    auto protocol = NewProtocol();
    auto sink = TComPtr<TRecordingSink>(new TRecordingSink);
    EXPECT_EQ(protocol->Start(u"other:\\a.htm", sink.Get(), nullptr, 0, 0), INET_E_INVALID_URL);
    EXPECT_EQ(protocol->Start(u"no colon at all", sink.Get(), nullptr, 0, 0), INET_E_INVALID_URL);
    EXPECT_TRUE(sink->Reports.empty());
    ULONG n = 7;
    char buffer[4];
    EXPECT_EQ(protocol->Read(buffer, 4, &n), S_FALSE);
    EXPECT_EQ(n, 0u);
}

TEST_F(ProtocolStart, RemainderKeepsEscapesButBlanksAndIsCutAt255) {
    TScheme scheme("mfs");
    Fetch(u"mfs:\\a%20b%2520c%41%2541.htm");
    const std::u16string longName(300, u'x');
    Fetch(u"mfs:" + longName);
    Fetch(u"mfs:\\" + AnsiToWide("\xC3\xA9t\xC3\xA9.htm"));
    ASSERT_EQ(scheme.Requested.size(), 3u);
    EXPECT_EQ(scheme.Requested[0], "\\a b%20c%41%2541.htm");
    EXPECT_EQ(scheme.Requested[1], std::string(255, 'x'));
    EXPECT_EQ(scheme.Requested[2], "\\\xC3\xA9t\xC3\xA9.htm");
}

TEST_F(ProtocolStart, ProducerFailureBecomesTheErrorPage) {
    TScheme scheme("mfs");
    scheme.Fail = "File \"\\x.htm\" not found";
    auto protocol = NewProtocol();
    auto sink = TComPtr<TRecordingSink>(new TRecordingSink);
    ASSERT_EQ(protocol->Start(u"mfs:\\x.htm", sink.Get(), nullptr, 0, 0), S_OK);
    ASSERT_EQ(sink->Reports.size(), 2u);
    // The page is delivered as a success, marked as standing in for a file that is not there.
    EXPECT_EQ(sink->Reports[1].Result, S_OK);
    EXPECT_EQ(sink->Reports[1].Status, HTTP_STATUS_NOT_FOUND);
    EXPECT_EQ(Fetch(u"mfs:\\x.htm"),
              "<html><pre><p>An exception occured during attempt to get data</p><p>URL: <b>\\x.htm</b></p>"
              "<p>Exception: <b>File \"\\x.htm\" not found</b></p></html>");

    // Markup in the URL or the message is shown as text.
    scheme.Fail = "bad <name>";
    const std::string page = Fetch(u"mfs:<i>&");
    EXPECT_NE(page.find("URL: <b>&lt;i&gt;&amp;</b>"), std::string::npos);
    EXPECT_NE(page.find("Exception: <b>bad &lt;name&gt;</b>"), std::string::npos);
}

TEST_F(ProtocolRead, AnswersPendingUntilTheLastByte) {
    TScheme scheme("mfs");
    scheme.Content = "0123456789";
    auto protocol = NewProtocol();
    auto sink = TComPtr<TRecordingSink>(new TRecordingSink);
    ASSERT_EQ(protocol->Start(u"mfs:a", sink.Get(), nullptr, 0, 0), S_OK);
    char buffer[4];
    ULONG n = 99;
    EXPECT_EQ(protocol->Read(buffer, 4, &n), E_PENDING);
    EXPECT_EQ(n, 4u);
    EXPECT_EQ(protocol->Read(buffer, 4, &n), E_PENDING);
    EXPECT_EQ(n, 4u);
    EXPECT_EQ(protocol->Read(buffer, 4, &n), S_FALSE);
    EXPECT_EQ(n, 2u);
    EXPECT_EQ(std::string(buffer, 2), "89");
    EXPECT_EQ(protocol->Read(buffer, 4, &n), S_FALSE);
    EXPECT_EQ(n, 0u);
    // Seek is accepted and moves nothing.
    uint64_t position = 42;
    EXPECT_EQ(protocol->Seek(0, STREAM_SEEK_SET, &position), S_OK);
    EXPECT_EQ(position, 42u);
    EXPECT_EQ(protocol->Read(buffer, 4, &n), S_FALSE);
    EXPECT_EQ(n, 0u);
}

TEST_F(ProtocolRead, ASecondStartNeverServesTheFirstContent) {
    TScheme scheme("mfs");
    auto protocol = NewProtocol();
    auto sink = TComPtr<TRecordingSink>(new TRecordingSink);
    ASSERT_EQ(protocol->Start(u"mfs:a", sink.Get(), nullptr, 0, 0), S_OK);
    EXPECT_EQ(protocol->Start(u"nope:a", sink.Get(), nullptr, 0, 0), INET_E_INVALID_URL);
    char buffer[16];
    ULONG n = 0;
    EXPECT_EQ(protocol->Read(buffer, sizeof buffer, &n), S_FALSE);
    EXPECT_EQ(n, 0u);
}

TEST_F(ProtocolUrls, CombineJoinsWithinTheSchemeAndCanonicalises) {
    TScheme scheme("mfs");
    auto info = InfoOf(NewProtocol());
    char16_t result[64];
    DWORD length = 0;
    EXPECT_EQ(info->CombineUrl(u"mfs:\\p\\a.htm", u"b c.htm", 0, result, 64, &length, 0), S_OK);
    EXPECT_EQ(std::u16string(result), u"mfs:\\p\\a.htm|b%20c.htm");
    EXPECT_EQ(length, 22u);
    // The relative URL's scheme, when the same, is dropped before joining.
    EXPECT_EQ(info->CombineUrl(u"mfs:a", u"MFS:b", 0, result, 64, &length, 0), S_OK);
    EXPECT_EQ(std::u16string(result), u"mfs:a|b");

    // Another scheme: the relative URL, canonicalised.
    const std::u16string other = u"http://host/x/../y z.htm";
    const std::u16string canonical = u"http://host/y%20z.htm";
    EXPECT_EQ(info->CombineUrl(u"mfs:\\a.htm", other.c_str(), 0, result, 64, &length, 0), S_OK);
    EXPECT_EQ(std::u16string(result), canonical);
    // One short of the canonical length + 1: S_FALSE and the length needed; then it fits.
    const DWORD needed = static_cast<DWORD>(canonical.size() + 1);
    EXPECT_EQ(info->CombineUrl(u"mfs:\\a.htm", other.c_str(), 0, result, needed - 1, &length, 0), S_FALSE);
    EXPECT_EQ(length, needed);
    EXPECT_EQ(info->CombineUrl(u"mfs:\\a.htm", other.c_str(), 0, result, needed, &length, 0), S_OK);
    EXPECT_EQ(length, needed - 1);
    // Far too small: the canonicaliser's own shortage is reported the same way.
    EXPECT_EQ(info->CombineUrl(u"mfs:\\a.htm", other.c_str(), 0, result, 3, &length, 0), S_FALSE);
    EXPECT_EQ(length, needed);

    // A scheme without a combine event: the platform's default, no exception escapes.
    TScheme bare("bare");
    bare.Support.OnCombineURL = nullptr;
    EXPECT_EQ(info->CombineUrl(u"bare:a", u"b", 0, result, 64, &length, 0), INET_E_DEFAULT_ACTION);
}

TEST_F(ProtocolUrls, CompareIgnoresCaseAndOptionallySlashes) {
    TScheme scheme("mfs");
    auto info = InfoOf(NewProtocol());
    EXPECT_EQ(info->CompareUrl(u"mfs:\\P\\A.htm", u"MFS:/p/a.htm", 1), S_OK);
    EXPECT_EQ(info->CompareUrl(u"mfs:\\P\\A.htm", u"MFS:/p/a.htm", 0), S_FALSE);
    EXPECT_EQ(info->CompareUrl(u"mfs:\\P\\A.htm", u"mfs:\\p\\a.htm", 0), S_OK);
    EXPECT_EQ(info->CompareUrl(u"mfs:a", u"system:a", 1), S_FALSE);
    EXPECT_EQ(info->CompareUrl(u"other:a", u"other:a", 1), S_FALSE);
}

TEST(Canonicaliser, BufferProtocolAndRules) {
    char buffer[64];
    DWORD length = sizeof buffer;
    ASSERT_TRUE(InternetCanonicalizeUrlA("mfs:\\a b\\..\\c\x01.htm", buffer, &length, 0));
    EXPECT_STREQ(buffer, "mfs:\\a%20b\\..\\c%01.htm") << "no dot removal outside hierarchical URLs";
    EXPECT_EQ(length, strlen(buffer));
    length = sizeof buffer;
    ASSERT_TRUE(InternetCanonicalizeUrlA("file:///a/./b/../../../c?x/../y#f", buffer, &length, 0));
    EXPECT_STREQ(buffer, "file:///c?x/../y#f");
    length = sizeof buffer;
    ASSERT_TRUE(InternetCanonicalizeUrlA("mfs:\\\xC3\xA9 %41", buffer, &length, ICU_DECODE));
    EXPECT_STREQ(buffer, "mfs:\\\xC3\xA9%20A");
    length = sizeof buffer;
    ASSERT_TRUE(InternetCanonicalizeUrlA("mfs:a b", buffer, &length, ICU_NO_ENCODE));
    EXPECT_STREQ(buffer, "mfs:a b");

    length = 5; // "mfs:abc" needs 8 bytes
    EXPECT_FALSE(InternetCanonicalizeUrlA("mfs:abc", buffer, &length, 0));
    EXPECT_EQ(GetLastError(), ERROR_INSUFFICIENT_BUFFER);
    EXPECT_EQ(length, 8u);
    length = sizeof buffer;
    EXPECT_FALSE(InternetCanonicalizeUrlA("no scheme", buffer, &length, 0));
    EXPECT_EQ(GetLastError(), ERROR_INTERNET_INVALID_URL);
}

} // namespace
