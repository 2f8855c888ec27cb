#include "u_WebURLSession.h"

#include <gtest/gtest.h>

namespace {

std::string Html(std::string text) {
    ForwardSlashLinksInHtml(text);
    return text;
}

std::string Css(std::string text) {
    ForwardSlashUrlsInCss(text);
    return text;
}

TEST(LinkSlashes, HtmlLinksTakeForwardSlashes) {
    EXPECT_EQ(Html(R"~(<a href="sub\c.htm">x\y</a>)~"), R"~(<a href="sub/c.htm">x\y</a>)~");
    EXPECT_EQ(Html(R"~(<LINK rel=stylesheet HREF='..\style\book.css'><img SRC=..\img\x.png alt="a\b">)~"),
              R"~(<LINK rel=stylesheet HREF='../style/book.css'><img SRC=../img/x.png alt="a\b">)~");
    EXPECT_EQ(Html(R"~(<a data-href="a\b" href = "c\d">)~"), R"~(<a data-href="a\b" href = "c/d">)~");
    EXPECT_EQ(Html(R"~(<a href="javascript:alert('a\nb')">)~"), R"~(<a href="javascript:alert('a\nb')">)~");
    // Scripts, style elements and comments keep every byte.
    const std::string kept =
        R"~(<script>var s = "<a href='x\y'>";</script><style>p { content: "\2014"; }</style>)~"
        R"~(<!-- <a href="c\d"> --><p>C:\dir</p>)~";
    EXPECT_EQ(Html(kept + R"~(<a href="e\f">)~"), kept + R"~(<a href="e/f">)~");
    // Unfinished markup at the end is left as it is, without reading past the text.
    EXPECT_EQ(Html(R"~(<a href="unclosed\x)~"), R"~(<a href="unclosed/x)~");
    EXPECT_EQ(Html("<a href=\\"), "<a href=/");
    EXPECT_EQ(Html("<\\"), "<\\");
}

TEST(LinkSlashes, CssUrlsAndImportsTakeForwardSlashes) {
    EXPECT_EQ(Css(R"~(h1 { background: URL(img\mark.png) } @import "parts\a.css"; p { content: "\2014" })~"),
              R"~(h1 { background: URL(img/mark.png) } @import "parts/a.css"; p { content: "\2014" })~");
    EXPECT_EQ(Css(R"~(x { background: url( 'a\b.png' ) })~"), R"~(x { background: url( 'a/b.png' ) })~");
    EXPECT_EQ(Css(R"~(x { background: url("a\b)~"), R"~(x { background: url("a/b)~");
}

} // namespace
