#include "u_MFS.h"

#include <gtest/gtest.h>

#include <functional>

namespace {

std::string MFSMessage(const std::function<void()>& action) {
    try {
        action();
    } catch (const EMFSError& e) {
        return e.what();
    }
    return "<no exception>";
}

// \Story.xml, \System.xml, \Forms\About.html, \Forms\Sub\x.htm
class MFSSession : public ::testing::Test {
  protected:
    void SetUp() override {
        S = mfs.Session();
        S->CreateFile("\\Story.xml", 0, false)->Data = "story";
        S->CreateFile("\\System.xml", 0, false)->Data = "system";
        S->ForceFolders("\\Forms\\Sub");
        S->CreateFile("\\Forms\\About.html", 0, false)->Data = "about";
        S->CreateFile("\\Forms\\Sub\\x.htm", 0, false);
    }
    TMFS mfs;
    TMFSSession* S = nullptr;
};

TEST(MFSPaths, ClassFunctions) {
    EXPECT_EQ(TMFS::NormalizePath("a/b\\c/"), "a\\b\\c\\");
    EXPECT_EQ(TMFS::IncludeTrailingBackslash(""), "");
    EXPECT_EQ(TMFS::IncludeTrailingBackslash("a"), "a\\");
    EXPECT_EQ(TMFS::IncludeTrailingBackslash("a\\"), "a\\");
    EXPECT_EQ(TMFS::ExcludeTrailingBackslash("a\\"), "a");
    EXPECT_EQ(TMFS::ExtractFilePath("\\a\\b.htm"), "\\a\\");
    EXPECT_EQ(TMFS::ExtractFilePath("b.htm"), "");
    EXPECT_EQ(TMFS::ExtractFileName("\\a\\b.htm"), "b.htm");
    EXPECT_EQ(TMFS::ExtractFileExt("\\a.d\\b.HTM"), ".HTM");
    EXPECT_EQ(TMFS::ExtractFileExt("\\a.d\\b"), "");
}

TEST_F(MFSSession, ChangeFolderAcceptsBothSlashesAndRelativePaths) {
    S->ChangeFolder("/Forms");
    EXPECT_EQ(S->CurrentFolder->Name, "Forms");
    S->ChangeFolder("");
    EXPECT_EQ(S->CurrentFolder->Name, "Forms");
    EXPECT_EQ(S->GetFile("About.html")->Data, "about");
    EXPECT_EQ(S->GetFile("..\\Story.xml")->Data, "story");
    S->ChangeFolder("\\");
    S->ChangeFolder("Forms");
    EXPECT_EQ(S->CurrentFolder->Name, "Forms");
    EXPECT_EQ(MFSMessage([&] { S->ChangeFolder("About.html"); }), "Path \"About.html\\\" not found");
}

TEST_F(MFSSession, GetItemAndGetFile) {
    EXPECT_EQ(S->GetItem("\\Story.xml"), mfs.Root()->Child("Story.xml"));
    EXPECT_EQ(MFSMessage([&] { S->GetItem("\\Story.xml\\"); }), "Path \"\\Story.xml\\\" not found");
    EXPECT_EQ(MFSMessage([&] { S->GetItem("\\.."); }), "Path \"\\..\" not found");
    EXPECT_EQ(MFSMessage([&] { S->GetItem("\\Forms\\\\About.html"); }),
              "Path \"\\Forms\\\\About.html\" not found");
    EXPECT_EQ(S->GetItem("\\Forms\\.\\Sub\\..\\About.html"), S->GetFile("\\forms\\about.html"));
    EXPECT_EQ(S->GetFile("system.xml")->Data, "system");
    EXPECT_EQ(MFSMessage([&] { S->GetFile("\\Forms"); }), "File \"\\Forms\" not found");
    EXPECT_EQ(MFSMessage([&] { S->GetFile("\\No\\x.htm"); }), "Path \"\\No\\\" not found");
    EXPECT_EQ(MFSMessage([&] { S->GetFile("/Forms/.."); }), "File \"/Forms/..\" not found");
    EXPECT_EQ(MFSMessage([&] { S->GetFile("\\Forms\\"); }), "File \"\\Forms\\\" not found");
}

TEST_F(MFSSession, Exists) {
    EXPECT_TRUE(S->Exists(""));
    EXPECT_TRUE(S->Exists("\\"));
    EXPECT_TRUE(S->Exists("/forms/about.html"));
    EXPECT_FALSE(S->Exists("\\no\\such"));
    EXPECT_FALSE(S->Exists("\\Story.xml\\"));
}

TEST_F(MFSSession, CreateFileRules) {
    TMFSFile* b = S->CreateFile("\\Forms/b.txt", 0x41, false);
    EXPECT_EQ(b->Parent->Name, "Forms");
    EXPECT_EQ(b->Attributes, 0x21u); // only the low six bits are added
    EXPECT_EQ(S->CreateFile("\\forms\\B.TXT", 0, true), b);
    EXPECT_EQ(MFSMessage([&] { S->CreateFile("\\Forms\\b.txt", 0, false); }),
              "File \"\\Forms\\b.txt\" already exists");
    EXPECT_EQ(MFSMessage([&] { S->CreateFile("\\forms", 0, true); }), "Folder \"\\forms\" already exists");
    EXPECT_EQ(MFSMessage([&] { S->CreateFile("\\Forms\\..", 0, true); }),
              "Folder \"\\Forms\\..\" already exists");
    EXPECT_EQ(MFSMessage([&] { S->CreateFile("\\x\\y.txt", 0, false); }), "Path \"\\x\\\" not found");
    EXPECT_FALSE(S->Exists("\\x"));
    // Names no path could reach are refused.
    EXPECT_EQ(MFSMessage([&] { S->CreateFile("\\Forms\\", 0, false); }),
              "File name \"\\Forms\\\" is incorrect");
    EXPECT_EQ(MFSMessage([&] { S->CreateFile("\\..", 0, false); }), "File name \"\\..\" is incorrect");
}

TEST_F(MFSSession, ForceFolders) {
    const int before = mfs.Root()->Children.Count();
    TMFSFolder* c = S->ForceFolders("\\a\\b\\c");
    EXPECT_EQ(c->Name, "c");
    EXPECT_EQ(c->Parent->Name, "b");
    EXPECT_EQ(S->ForceFolders("/A/B/C/"), c);
    EXPECT_EQ(mfs.Root()->Children.Count(), before + 1);
    EXPECT_EQ(S->ForceFolders(""), mfs.Root());
    EXPECT_EQ(S->ForceFolders("\\"), mfs.Root());
    // Through a file: the levels before it stay.
    EXPECT_EQ(MFSMessage([&] { S->ForceFolders("\\Story.xml\\z"); }),
              "File \"\\Story.xml\\\" already exists");
    EXPECT_EQ(MFSMessage([&] { S->ForceFolders("\\Story.xml"); }), "File \"\\Story.xml\" already exists");
    S->ChangeFolder("\\Forms");
    EXPECT_EQ(S->ForceFolders("rel")->Parent->Name, "Forms");
}

TEST_F(MFSSession, ExpandFileName) {
    S->ChangeFolder("\\Forms");
    EXPECT_EQ(S->ExpandFileName("About.html"), "\\Forms\\About.html");
    EXPECT_EQ(S->ExpandFileName("..\\Story.xml"), "\\Story.xml");
    EXPECT_EQ(S->ExpandFileName("\\a\\.\\b\\..\\c\\"), "\\a\\c\\");
    EXPECT_EQ(S->ExpandFileName("\\a\\\\b"), "\\a\\\\b");
    EXPECT_EQ(S->ExpandFileName("/x/y"), "\\x\\y");
    EXPECT_EQ(S->ExpandFileName("\\"), "\\");
    EXPECT_EQ(MFSMessage([&] { S->ExpandFileName("\\.."); }), "File name \"\\..\" is incorrect");
    EXPECT_EQ(MFSMessage([&] { S->ExpandFileName("..\\..\\x"); }),
              "File name \"\\Forms\\..\\..\\x\" is incorrect");
}

TEST_F(MFSSession, CreateFileStreamDispositions) {
    TMFSFile* f = S->CreateFile("\\ten.bin", 0, false);
    f->Data = "0123456789";
    EXPECT_EQ(S->CreateFileStream("\\ten.bin", OPEN_EXISTING, 0)->GetSize(), 10);
    EXPECT_EQ(S->CreateFileStream("\\ten.bin", CREATE_ALWAYS, 0)->GetSize(), 0);
    f->Data = "0123456789";
    EXPECT_EQ(S->CreateFileStream("\\ten.bin", TRUNCATE_EXISTING, 0)->GetSize(), 0);
    EXPECT_EQ(MFSMessage([&] { S->CreateFileStream("\\ten.bin", CREATE_NEW, 0); }),
              "File \"\\ten.bin\" already exists");
    EXPECT_EQ(MFSMessage([&] { S->CreateFileStream("\\new.bin", TRUNCATE_EXISTING, 0); }),
              "File \"\\new.bin\" not found");
    EXPECT_NE(S->CreateFileStream("\\new.bin", OPEN_ALWAYS, 0x02), nullptr);
    EXPECT_EQ(S->GetFile("\\new.bin")->Attributes, 0x22u);
    for (int bad : {0, 6, -1})
        EXPECT_EQ(MFSMessage([&] { S->CreateFileStream("\\ten.bin", bad, 0); }),
                  "Incorrect parameters in method \"TMFSSession.CreateFileStream\"");
}

TEST_F(MFSSession, DeleteOnCloseRemovesTheFileWithItsLastStream) {
    auto first = S->CreateFileStream("\\tmp.bin", CREATE_NEW, FILE_FLAG_DELETE_ON_CLOSE);
    auto second = S->CreateFileStream("\\tmp.bin", OPEN_EXISTING, 0);
    first.reset();
    EXPECT_TRUE(S->Exists("\\tmp.bin"));
    second.reset();
    EXPECT_FALSE(S->Exists("\\tmp.bin"));
}

TEST_F(MFSSession, StreamPositionsAndSizes) {
    TMFSFile* f = S->CreateFile("\\s.bin", 0, false);
    f->Data = "0123456789";
    auto stream = f->CreateStream();
    EXPECT_EQ(stream->Seek(3, 2), 7);
    EXPECT_EQ(stream->Seek(-3, 2), 10);
    EXPECT_EQ(stream->Seek(20, 0), 10);
    stream->Seek(2, 0);
    EXPECT_EQ(stream->Seek(-5, 1), 0);
    stream->Seek(7, 0);
    char buffer[8];
    EXPECT_EQ(stream->Read(buffer, 8), 3);
    EXPECT_EQ(std::string(buffer, 3), "789");
    stream->Seek(8, 0);
    EXPECT_EQ(stream->Write("abcd", 4), 4);
    EXPECT_EQ(f->Data, "01234567abcd");
    // Another stream sees the write at once.
    auto other = f->CreateStream();
    EXPECT_EQ(other->GetSize(), 12);
    stream->Seek(7, 0);
    stream->SetSize(4);
    EXPECT_EQ(f->Data, "0123");
    EXPECT_EQ(stream->GetPosition(), 4);
    stream->SetSize(6);
    EXPECT_EQ(f->Data, std::string("0123\0\0", 6)); // growth is zero-filled
}

TEST_F(MFSSession, StreamOverADestroyedFileFailsCleanly) {
    auto stream = S->GetFile("\\Story.xml")->CreateStream();
    mfs.Root()->Children.Delete("Story.xml");
    EXPECT_EQ(stream->File(), nullptr);
    const std::string gone = "File \"Story.xml\" of this stream no longer exists";
    char buffer[4];
    EXPECT_EQ(MFSMessage([&] { stream->Read(buffer, 4); }), gone);
    EXPECT_EQ(MFSMessage([&] { stream->Write("x", 1); }), gone);
    EXPECT_EQ(MFSMessage([&] { stream->Seek(0, 0); }), gone);
    EXPECT_EQ(MFSMessage([&] { stream->SetSize(0); }), gone);
}

TEST(MFSSessionLife, SessionsFollowLoadsAndOutliveTheirArchiveSafely) {
    auto mfs = std::make_unique<TMFS>();
    mfs->Session()->CreateFile("\\a.txt", 0, false)->Data = "a";
    const std::string image = mfs->SaveToString();
    auto own = mfs->CreateSession();
    mfs->LoadFromString(image);
    EXPECT_EQ(own->CurrentFolder, mfs->Root());
    EXPECT_EQ(own->GetFile("a.txt")->Data, "a");
    mfs.reset();
    EXPECT_EQ(MFSMessage([&] { own->GetFile("a.txt"); }), "The archive of this session no longer exists");
    EXPECT_FALSE(own->Exists(""));
}

} // namespace
