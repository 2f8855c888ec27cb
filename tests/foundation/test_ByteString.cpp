#include "u_ByteString.h"

#include <gtest/gtest.h>

namespace {

bool Within(const char* p, const std::string& buffer) {
    return p >= buffer.data() && p < buffer.data() + buffer.size();
}

TEST(ByteString, SharedRangesReadTheBufferAndOutliveTheirSource) {
    auto buffer = std::make_shared<const std::string>("header<p>page</p>trailer");
    TByteString page(buffer, std::string_view(*buffer).substr(6, 11));
    const std::string* raw = buffer.get();
    buffer.reset(); // the range alone keeps the buffer
    EXPECT_TRUE(page.Shared());
    EXPECT_TRUE(Within(page.data(), *raw));
    EXPECT_EQ(page, "<p>page</p>");
    TByteString copy = page;
    page = TByteString();
    EXPECT_EQ(copy, "<p>page</p>");
}

TEST(ByteString, WritingSharedBytesCopiesThemAndLeavesTheOtherSharersAlone) {
    auto buffer = std::make_shared<const std::string>("0123456789");
    TByteString a(buffer, std::string_view(*buffer).substr(2, 5)); // "23456"
    TByteString b = a;

    a.write(1, "xy", 2);
    EXPECT_EQ(a, "2xy56");
    EXPECT_FALSE(a.Shared());
    EXPECT_EQ(b, "23456");
    EXPECT_EQ(*buffer, "0123456789");

    b.resize(3);
    EXPECT_EQ(b, "234");
    TByteString c(buffer, *buffer);
    c.resize(12);
    EXPECT_EQ(c, std::string("0123456789\0\0", 12));
    TByteString d(buffer, *buffer);
    d.MutableData()[0] = 'z';
    EXPECT_EQ(d, "z123456789");
    TByteString e(buffer, *buffer);
    e.clear();
    EXPECT_TRUE(e.empty());
    EXPECT_EQ(*buffer, "0123456789");
}

TEST(ByteString, WriteOverwritesAppendsAndFillsAGapWithZeros) {
    TByteString s("abcdef");
    s.write(4, "XYZ", 3); // over the end: two replaced, one appended
    EXPECT_EQ(s, "abcdXYZ");
    s.write(9, "!", 1);
    EXPECT_EQ(s, std::string("abcdXYZ\0\0!", 10));
    s.append("++", 2);
    EXPECT_EQ(s, std::string("abcdXYZ\0\0!++", 12));

    // Appending into reserved room keeps the bytes where they are.
    TByteString grown;
    grown.reserve(1000);
    grown.append("a", 1);
    const char* at = grown.data();
    for (int i = 0; i < 999; ++i)
        grown.append("b", 1);
    EXPECT_EQ(grown.data(), at);
    EXPECT_EQ(grown.size(), 1000u);
}

TEST(ByteString, ShareAndTakeMoveOwnedBytesWithoutCopying) {
    std::string big(100000, 'q');
    const char* bytes = big.data();
    TByteString s(std::move(big));
    TByteString shared = s.Share();
    EXPECT_TRUE(s.Shared());
    EXPECT_EQ(s.data(), bytes);
    EXPECT_EQ(shared.data(), bytes);

    TByteString owned(std::string(100000, 'r'));
    const char* ownBytes = owned.data();
    const std::string taken = owned.Take();
    EXPECT_EQ(taken.data(), ownBytes);
    EXPECT_TRUE(owned.empty());

    // Taking shared bytes copies them and leaves the other sharer its bytes.
    const std::string copy = shared.Take();
    EXPECT_EQ(copy, std::string(100000, 'q'));
    EXPECT_EQ(s.size(), 100000u);
}

} // namespace
