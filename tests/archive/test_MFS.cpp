#include "FailingAllocation.h"
#include "u_MFS.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <functional>
#include <sstream>

namespace {

// Little builder for archive images, written byte by byte as the format lays them out.
struct TImageWriter {
    std::string Body;
    void U32(uint32_t v) {
        for (int i = 0; i < 4; ++i)
            Body += static_cast<char>(v >> (8 * i));
    }
    void Record(const std::string& name, uint32_t attributes, uint32_t sizeOrCount, uint32_t dateTime = 0) {
        U32(static_cast<uint32_t>(name.size()));
        Body += name;
        U32(dateTime);
        U32(attributes);
        U32(sizeOrCount);
    }
    void File(const std::string& name, const std::string& data) {
        Body += 'F';
        Record(name, 0x20, static_cast<uint32_t>(data.size()));
        Body += data;
    }
    std::string Image() const { return "MFS" + Format("%08X", StringChecksum(Body)) + Body; }
};

const std::string ExampleImage = std::string("MFS59ACC98F"
                                             "\x00\x00\x00\x00"
                                             "\x00\x00\x00\x00"
                                             "\x10\x00\x00\x00"
                                             "\x01\x00\x00\x00"
                                             "F"
                                             "\x05\x00\x00\x00"
                                             "a.txt"
                                             "\x00\x00\x00\x00"
                                             "\x20\x00\x00\x00"
                                             "\x02\x00\x00\x00"
                                             "hi",
                                             51);

template <class E> std::string MessageOf(const std::function<void()>& action) {
    try {
        action();
    } catch (const E& e) {
        return e.what();
    }
    return "<no exception>";
}

TEST(MFSImage, ChecksumValues) {
    EXPECT_EQ(StringChecksum("abc"), 0x40C6C4C2u);
    EXPECT_EQ(StringChecksum(""), 0u);
}

TEST(MFSImage, ExampleLoadsAndWritesBackByteForByte) {
    TMFS mfs;
    mfs.LoadFromString(ExampleImage);
    auto* file = dynamic_cast<TMFSFile*>(mfs.Root()->Child("A.TXT"));
    ASSERT_NE(file, nullptr);
    EXPECT_EQ(file->Data, "hi");
    EXPECT_EQ(file->Attributes, 0x20u);
    EXPECT_EQ(file->DateTime, 0u);
    EXPECT_EQ(file->Parent, mfs.Root());
    EXPECT_EQ(mfs.SaveToString(), ExampleImage);
}

TEST(MFSImage, EmptyRootLoads) {
    TImageWriter w;
    w.Record("", 0x10, 0);
    TMFS mfs;
    TMFSSession* session = mfs.Session();
    mfs.LoadFromString(w.Image());
    EXPECT_EQ(mfs.Root()->Children.Count(), 0);
    EXPECT_EQ(session->CurrentFolder, mfs.Root()); // the default session follows the new root
}

TEST(MFSImage, HeaderFailuresKeepThePreviousTree) {
    TMFS mfs;
    mfs.LoadFromString(ExampleImage);
    std::string lower = ExampleImage;
    lower.replace(3, 8, "59acc98f");
    for (const std::string& bad :
         {lower, std::string("MFS59ACC9"), std::string("XFS") + ExampleImage.substr(3), std::string()}) {
        EXPECT_EQ(MessageOf<EMFSError>([&] { mfs.LoadFromString(bad); }), "Incorrect serialized format");
        EXPECT_NE(mfs.Root()->Child("a.txt"), nullptr);
    }
}

TEST(MFSImage, ImageHeldByAFileOfTheSameArchiveLoads) {
    // The image is the Data of a file of the tree that the load replaces: it must be read whole
    // before that tree goes (the sanitizer build sees any read of freed bytes).
    TImageWriter inner;
    inner.Record("", 0x10, 1);
    inner.File("b.txt", std::string(4096, 'x'));
    TMFS mfs;
    mfs.LoadFromString(ExampleImage);
    TMFSFile* holder = mfs.Session()->GetFile("a.txt");
    holder->Data = inner.Image();
    mfs.LoadFromString(holder->Data);
    EXPECT_EQ(mfs.Root()->Child("a.txt"), nullptr);
    auto* file = dynamic_cast<TMFSFile*>(mfs.Root()->Child("b.txt"));
    ASSERT_NE(file, nullptr);
    EXPECT_EQ(file->Data, std::string(4096, 'x'));
    // A failing load from such an image leaves the new partial tree, and the old one is gone.
    TImageWriter bad;
    bad.Record("", 0x10, 2);
    bad.File("b.txt", std::string(4096, 'y'));
    bad.Body += 'D';
    file->Data = bad.Image();
    EXPECT_EQ(MessageOf<EReadError>([&] { mfs.LoadFromString(file->Data); }), "Stream read error");
    EXPECT_NE(mfs.Root()->Child("b.txt"), nullptr);
}

TEST(MFSImage, ImageTakenOverKeepsTheFilesBytesInPlace) {
    TImageWriter w;
    w.Record("", 0x10, 2);
    w.File("a.htm", std::string(5000, 'a'));
    w.File("b.htm", std::string(5000, 'b'));
    std::string image = w.Image();
    const std::string_view whole(image);
    TMFS mfs;
    mfs.LoadFromImage(std::move(image));
    TMFSFile* a = mfs.Session()->GetFile("a.htm");
    TMFSFile* b = mfs.Session()->GetFile("b.htm");
    // No copy: the bytes are those of the image itself.
    EXPECT_TRUE(a->Data.Shared());
    EXPECT_GE(a->Data.data(), whole.data());
    EXPECT_LE(b->Data.data() + b->Data.size(), whole.data() + whole.size());
    EXPECT_EQ(a->Data, std::string(5000, 'a'));

    // Writing one file through a stream leaves its neighbour as it was.
    auto stream = a->CreateStream();
    stream->Seek(0, soFromEnd);
    stream->WriteBuffer("bbbb", 4);
    stream.reset();
    EXPECT_EQ(a->Data, std::string(5000, 'a') + "bbbb");
    EXPECT_EQ(b->Data, std::string(5000, 'b'));

    // Bytes handed out keep the image alive after the archive has gone.
    TByteString kept = b->Data.Share();
    mfs.LoadFromString(ExampleImage);
    EXPECT_EQ(kept, std::string(5000, 'b'));
}

TEST(MFSImage, ImageTakenOverFailsLikeACopiedOne) {
    TMFS mfs;
    mfs.LoadFromImage(ExampleImage);
    std::string lower = ExampleImage;
    lower.replace(3, 8, "59acc98f");
    EXPECT_EQ(MessageOf<EMFSError>([&] { mfs.LoadFromImage(lower); }), "Incorrect serialized format");
    EXPECT_NE(mfs.Root()->Child("a.txt"), nullptr);
    TImageWriter w;
    w.Record("", 0x10, 1);
    w.Body += 'F';
    w.Record("long.htm", 0x20, 100);
    w.Body += "short";
    EXPECT_EQ(MessageOf<EReadError>([&] { mfs.LoadFromImage(w.Image()); }), "Stream read error");
    EXPECT_EQ(mfs.Root()->Children.Count(), 0);
}

// Every folder's children know it as their parent and the archive as their owner.
bool SoundTree(const TMFSFolder* folder, const TMFS* owner) {
    bool sound = folder->Owner == owner;
    folder->Children.ForEach([&](const std::string&, TMFSItem* child) {
        sound = sound && child->Parent == folder && child->Owner == owner;
        if (const auto* sub = dynamic_cast<const TMFSFolder*>(child)) sound = sound && SoundTree(sub, owner);
    });
    return sound;
}

TEST(MFSImage, RunningOutOfMemoryAnywhereInALoadLeavesASoundArchive) {
    // A load that fails at any allocation leaves a root (the old one, or the new one with the
    // entries read completely), sessions that work, and nothing leaked (the sanitizer build
    // checks that).
    TImageWriter w;
    w.Record("", 0x10, 3);
    w.File("a.htm", "first");
    w.Body += 'D';
    w.Record("sub", 0x10, 2);
    w.File("b.htm", std::string(300, 'b'));
    w.File("B.HTM", "replaces b");
    w.File("c.htm", "last");
    const std::string image = w.Image();
    TMFS mfs;
    mfs.LoadFromString(ExampleImage);
    const auto session = mfs.CreateSession();
    const size_t allocations = ForEachFailingAllocation(
        [&] {
            mfs.LoadFromString(ExampleImage);
            mfs.LoadFromString(image);
        },
        [&] {
            ASSERT_NE(mfs.Root(), nullptr);
            EXPECT_TRUE(SoundTree(mfs.Root(), &mfs));
            EXPECT_EQ(session->CurrentFolder, mfs.Root());
            TMFS again;
            again.LoadFromString(mfs.SaveToString());
        });
    EXPECT_GT(allocations, 10u);
    EXPECT_EQ(mfs.Session()->GetFile("\\sub\\b.htm")->Data, "replaces b");
}

TEST(MFSImage, UnknownKindKeepsChildrenReadBefore) {
    TImageWriter w;
    w.Record("", 0x10, 3);
    w.File("first.htm", "1");
    w.Body += 'f';
    w.Record("x", 0x20, 0);
    TMFS mfs;
    EXPECT_EQ(MessageOf<EMFSError>([&] { mfs.LoadFromString(w.Image()); }), "Incorrect serialized format");
    EXPECT_EQ(mfs.Root()->Children.Count(), 1);
    EXPECT_NE(mfs.Root()->Child("first.htm"), nullptr);
}

TEST(MFSImage, TruncatedAndOverlongLengthsFailWithReadError) {
    TImageWriter w;
    w.Record("", 0x10, 1);
    w.Body += 'F';
    w.Record("big", 0x20, 0xFFFFFFF0u); // data length far past the end: must not be allocated
    w.Body += "abc";
    TMFS mfs;
    EXPECT_EQ(MessageOf<EReadError>([&] { mfs.LoadFromString(w.Image()); }), "Stream read error");
    EXPECT_EQ(mfs.Root()->Children.Count(), 0);

    std::string truncated = ExampleImage.substr(0, 40);
    truncated.replace(3, 8, Format("%08X", StringChecksum(truncated.substr(11))));
    EXPECT_EQ(MessageOf<EReadError>([&] { mfs.LoadFromString(truncated); }), "Stream read error");
}

TEST(MFSImage, EqualSiblingNamesLastWinsAndTrailingBytesIgnored) {
    TImageWriter w;
    w.Record("", 0x10, 2);
    w.File("System.xml", "first");
    w.File("SYSTEM.XML", "second");
    w.Body += "trailing garbage";
    TMFS mfs;
    mfs.LoadFromString(w.Image());
    ASSERT_EQ(mfs.Root()->Children.Count(), 1);
    auto* file = dynamic_cast<TMFSFile*>(mfs.Root()->Child("system.xml"));
    ASSERT_NE(file, nullptr);
    EXPECT_EQ(file->Name, "SYSTEM.XML");
    EXPECT_EQ(file->Data, "second");
}

TEST(MFSImage, NegativeChildCountMeansNoChildren) {
    TImageWriter w;
    w.Record("", 0x10, 0x80000001u);
    TMFS mfs;
    mfs.LoadFromString(w.Image());
    EXPECT_EQ(mfs.Root()->Children.Count(), 0);
}

TEST(MFSImage, SavingSortsChildrenAndCountsDirectChildrenOnly) {
    TImageWriter w;
    w.Record("", 0x10, 3);
    w.File("b", "");
    w.Body += 'D';
    w.Record("A", 0x10, 1);
    w.File("inner", "x");
    w.File("c", "");
    TMFS mfs;
    mfs.LoadFromString(w.Image());
    TImageWriter expected;
    expected.Record("", 0x10, 3);
    expected.Body += 'D';
    expected.Record("A", 0x10, 1);
    expected.File("inner", "x");
    expected.File("b", "");
    expected.File("c", "");
    EXPECT_EQ(mfs.SaveToString(), expected.Image());
}

TEST(MFSItems, CreatingAFileReplacesAFolderOfTheSameName) {
    TMFS mfs;
    auto* folder = new TMFSFolder("STORY.XML", &mfs, mfs.Root());
    new TMFSFile("deep.htm", &mfs, folder);
    auto* file = new TMFSFile("Story.xml", &mfs, mfs.Root());
    EXPECT_EQ(mfs.Root()->Children.Count(), 1);
    EXPECT_EQ(mfs.Root()->Child("story.xml"), file);
    EXPECT_EQ(file->Attributes, 0x20u);
    EXPECT_NE(file->DateTime, 0u);
}

TEST(MFSItems, ThousandsOfChildrenFoundByAnyCaseVariant) {
    TMFS mfs;
    for (int i = 0; i < 5000; ++i)
        new TMFSFile(Format("Page%04d.htm", i), &mfs, mfs.Root());
    EXPECT_EQ(mfs.Root()->Children.Count(), 5000);
    for (int i = 0; i < 5000; i += 7) {
        EXPECT_NE(mfs.Root()->Child(Format("PAGE%04d.HTM", i)), nullptr);
        EXPECT_NE(mfs.Root()->Child(Format("page%04d.htm", i)), nullptr);
        EXPECT_NE(mfs.Session()->GetFile(Format("\\pAgE%04d.Htm", i)), nullptr);
    }
    // The image round-trips.
    TMFS copy;
    copy.LoadFromString(mfs.SaveToString());
    EXPECT_EQ(copy.SaveToString(), mfs.SaveToString());
}

class MFSDisk : public ::testing::Test {
  protected:
    void SetUp() override {
        Dir = std::filesystem::temp_directory_path() /
              ("tv-disk-" + std::to_string(::testing::UnitTest::GetInstance()->random_seed()) + "-" +
               ::testing::UnitTest::GetInstance()->current_test_info()->name());
        std::filesystem::remove_all(Dir);
    }
    void TearDown() override { std::filesystem::remove_all(Dir); }
    std::filesystem::path Dir;
};

TEST_F(MFSDisk, SavesTheTreeToDisk) {
    TMFS mfs;
    TMFSSession* s = mfs.Session();
    s->CreateFile("\\top.txt", 0, false)->Data = "top";
    s->ForceFolders("\\a\\b");
    s->CreateFile("\\a\\b\\deep.txt", 0, false)->Data = "deep";
    mfs.Root()->SaveToDisk(Dir.string());
    std::ifstream deep(Dir / "a" / "b" / "deep.txt");
    std::stringstream text;
    text << deep.rdbuf();
    EXPECT_EQ(text.str(), "deep");
    EXPECT_TRUE(std::filesystem::exists(Dir / "top.txt"));
}

TEST_F(MFSDisk, RefusesStoredNamesThatWouldLeaveTheTargetFolder) {
    for (const std::string& name : {std::string("..\\evil"), std::string("../evil"), std::string(".."),
                                    std::string("."), std::string("")}) {
        TImageWriter w;
        w.Record("", 0x10, 1);
        w.File(name, "payload");
        TMFS mfs;
        mfs.LoadFromString(w.Image());
        EXPECT_EQ(MessageOf<EMFSError>([&] { mfs.Root()->SaveToDisk((Dir / "inner").string()); }),
                  Format("File name \"%s\" is incorrect", name.c_str()));
        EXPECT_FALSE(std::filesystem::exists(Dir / "evil"));
        EXPECT_FALSE(std::filesystem::exists(Dir / "inner" / "evil"));
    }
}

} // namespace

namespace {

// An image whose folders nest levels deep, one folder per level.
std::string NestedImage(int levels) {
    TImageWriter w;
    w.Record("", 0x10, 1);
    for (int i = 0; i < levels; ++i) {
        w.Body += 'D';
        w.Record("d", 0x10, i + 1 < levels ? 1 : 0);
    }
    return w.Image();
}

TEST(MFSLimits, FolderNestingIsBoundedOnLoadAndThroughSessions) {
    TMFS mfs;
    mfs.LoadFromString(NestedImage(MaxFolderDepth));
    EXPECT_EQ(mfs.SaveToString(), NestedImage(MaxFolderDepth));
    // Far deeper than any book: refused instead of recursing towards a stack overflow.
    EXPECT_EQ(MessageOf<EMFSError>([&] { mfs.LoadFromString(NestedImage(MaxFolderDepth + 1)); }),
              "Incorrect serialized format");
    EXPECT_EQ(MessageOf<EMFSError>([&] { mfs.LoadFromString(NestedImage(200000)); }),
              "Incorrect serialized format");

    TMFS other;
    std::string path;
    for (int i = 0; i < MaxFolderDepth; ++i)
        path += "\\d";
    EXPECT_EQ(other.Session()->ForceFolders(path)->Depth(), MaxFolderDepth);
    EXPECT_EQ(MessageOf<EMFSError>([&] { other.Session()->ForceFolders(path + "\\x\\y"); }),
              Format("Path \"%s\\x\\\" is nested too deeply", path.c_str()));
}

} // namespace
