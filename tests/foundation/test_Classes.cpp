#include "u_Classes.h"
#include "u_SysUtils.h"

#include <gtest/gtest.h>

namespace {

TEST(Streams, ReadBufferAndWriteBufferFailWithTheStreamErrors) {
    TMemoryStream stream;
    stream.WriteUInt32(0x11223344);
    stream.WriteByte(0x55);
    EXPECT_EQ(stream.DataString(), std::string("\x44\x33\x22\x11\x55", 5));
    stream.SetPosition(0);
    EXPECT_EQ(stream.ReadUInt32(), 0x11223344u);
    EXPECT_EQ(stream.ReadByte(), 0x55);
    try {
        stream.ReadByte();
        FAIL();
    } catch (const EReadError& e) {
        EXPECT_STREQ(e.what(), "Stream read error");
    }
    TReadOnlyMemoryStream readOnly("abc");
    try {
        readOnly.WriteBuffer("x", 1);
        FAIL();
    } catch (const EWriteError& e) {
        EXPECT_STREQ(e.what(), "Stream write error");
    }
    EXPECT_EQ(readOnly.Seek(10, soFromBeginning), 3);
    EXPECT_EQ(readOnly.GetSize(), 3);
}

TEST(Streams, ExceptionMessageTextOfAnyThrownValue) {
    try {
        throw EMFSError("boom");
    } catch (...) {
        EXPECT_EQ(ExceptionMessageText(), "boom");
    }
    try {
        throw 42;
    } catch (...) {
        EXPECT_EQ(ExceptionMessageText(), "Exception of type int raised");
    }
    EXPECT_EQ(Format("%s on line %d", "x", 3), "x on line 3");
}

} // namespace
