// tomevane-pack end to end: books packed from folders list back entry for entry through the
// viewer's own loader; damaged and unusual books fail with the loader's messages; failures leave
// no output behind.
#include "CabFixtures.h"
#include "u_BookPacker.h"
#include "u_FolderArchive.h"
#include "u_Loader.h"
#include "u_MFS.h"
#include "u_Resources.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <ctime>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

namespace fs = std::filesystem;

namespace {

struct Outcome {
    int Code;
    std::string Out;
    std::string Err;
};

std::string ReadFile(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

void WriteFile(const fs::path& path, const std::string& data) {
    fs::create_directories(path.parent_path());
    std::ofstream(path, std::ios::binary).write(data.data(), static_cast<std::streamsize>(data.size()));
}

// 2021-05-17 13:45:30 local time, DOS 52B16DAF.
void Stamp(const fs::path& path) {
    std::tm local{};
    local.tm_year = 121;
    local.tm_mon = 4;
    local.tm_mday = 17;
    local.tm_hour = 13;
    local.tm_min = 45;
    local.tm_sec = 30;
    local.tm_isdst = -1;
    const struct timespec times[2] = {{std::mktime(&local), 0}, {std::mktime(&local), 0}};
    ASSERT_EQ(utimensat(AT_FDCWD, path.c_str(), times, 0), 0);
}

class Packer : public ::testing::Test {
  protected:
    void SetUp() override {
        Dir = fs::temp_directory_path() / ("tv-pack-" + std::to_string(::getpid()) + "-" +
                                           ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::remove_all(Dir);
        fs::create_directories(Dir);
        Viewer = Dir / "viewer";
        fs::copy_file("/bin/true", Viewer);
    }
    void TearDown() override { fs::remove_all(Dir); }

    // Runs the packer with SOURCE_DATE_EPOCH unset, whatever the tests' own environment holds,
    // then with the assignments in environment ("NAME=value ...").
    Outcome Run(const std::string& arguments, const std::string& environment = "") {
        const fs::path out = Dir / "stdout", err = Dir / "stderr";
        const std::string command = "env -u SOURCE_DATE_EPOCH " + environment + " " +
                                    std::string(TOMEVANE_PACK) + " " + arguments + " >" + out.string() +
                                    " 2>" + err.string();
        const int status = std::system(command.c_str());
        Outcome outcome{WIFEXITED(status) ? WEXITSTATUS(status) : -1, ReadFile(out), ReadFile(err)};
        fs::remove(out);
        fs::remove(err);
        return outcome;
    }
    std::string Q(const fs::path& path) const { return "'" + path.string() + "'"; }
    // Names in the book folder other than the packer's own temporary files.
    std::vector<std::string> Leftovers() const {
        std::vector<std::string> names;
        for (const auto& entry : fs::directory_iterator(Dir))
            names.push_back(entry.path().filename().string());
        std::sort(names.begin(), names.end());
        return names;
    }

    fs::path Dir;
    fs::path Viewer;
};

TEST_F(Packer, PackedBookListsBackEntryForEntry) {
    const fs::path book = Dir / "book";
    WriteFile(book / "system" / "System.xml", "<System/>");
    WriteFile(book / "system" / "Story.xml", "<Story><item page=\"index.htm\"/></Story>");
    WriteFile(book / "pages" / "index.htm", "<html>home</html>");
    WriteFile(book / "pages" / "Chapter 1" / "page1.htm", cabfixtures::NoisyText(70000));
    WriteFile(book / "pages" / "Chapter 1" / "b.jpg", std::string("\xFF\xD8\xFF\0jpeg", 8));
    WriteFile(book / "pages" / "empty.txt", "");
    fs::create_directories(book / "pages" / "assets" / "none");
    for (const char* p :
         {"system/System.xml", "system/Story.xml", "pages/index.htm", "pages/Chapter 1/page1.htm",
          "pages/Chapter 1/b.jpg", "pages/empty.txt", "pages/assets/none", "pages/assets", "pages/Chapter 1"})
        Stamp(book / p);

    const fs::path output = Dir / "book.run";
    Outcome packed = Run(Q(book) + " -o " + Q(output) + " --viewer " + Q(Viewer));
    ASSERT_EQ(packed.Code, 0) << packed.Err;
    EXPECT_NE(fs::status(output).permissions() & fs::perms::owner_exec, fs::perms::none);
    EXPECT_EQ(std::system(output.c_str()), 0) << "the packed copy still runs as the viewer did";

    Outcome listed = Run("--list " + Q(output));
    ASSERT_EQ(listed.Code, 0) << listed.Err;
    EXPECT_EQ(listed.Out, "[SYSTEM_MFS]\n"
                          "F\t\\Story.xml\t39\t52B16DAF\t20\n"
                          "F\t\\System.xml\t9\t52B16DAF\t20\n"
                          "[FILES_MFS]\n"
                          "D\t\\assets\t0\t52B16DAF\t10\n"
                          "D\t\\assets\\none\t0\t52B16DAF\t10\n"
                          "D\t\\Chapter 1\t0\t52B16DAF\t10\n"
                          "F\t\\Chapter 1\\b.jpg\t8\t52B16DAF\t20\n"
                          "F\t\\Chapter 1\\page1.htm\t70000\t52B16DAF\t20\n"
                          "F\t\\empty.txt\t0\t52B16DAF\t20\n"
                          "F\t\\index.htm\t17\t52B16DAF\t20\n");

    // Packing onto an already packed viewer replaces its resources instead of stacking them.
    const fs::path again = Dir / "again.run";
    ASSERT_EQ(Run(Q(book) + " -o " + Q(again) + " --viewer " + Q(output)).Code, 0);
    EXPECT_EQ(fs::file_size(again), fs::file_size(output));
    EXPECT_EQ(TResourceFile(again.string()).ProgramSize(), fs::file_size(Viewer));
}

// The date-times an executable's archive carries where the disk has none: the image's root and
// the cabinet's info.mfs entry (DOS date in the high half).
struct TInventedTimes {
    uint32_t Root = 0;
    uint32_t Cabinet = 0;
};

TInventedTimes InventedTimes(const fs::path& executable, const char* resource) {
    const std::string cabinet = TResourceFile(executable.string()).Load("RCDATA", resource);
    TMFS archive;
    LoadArchiveFromCabinet(archive, TByteString(cabinet));
    auto half = [&](size_t at) {
        return uint32_t(uint8_t(cabinet.at(at))) | uint32_t(uint8_t(cabinet.at(at + 1))) << 8;
    };
    const size_t files = half(16) | size_t(half(18)) << 16; // the header's offset of the first file
    return {archive.Root()->DateTime, half(files + 10) << 16 | half(files + 12)};
}

TEST_F(Packer, TheSameFilesPackToTheSameBytes) {
    const fs::path book = Dir / "book";
    WriteFile(book / "system" / "System.xml", "<System/>");
    WriteFile(book / "system" / "Story.xml", "<Story><item page=\"index.htm\"/></Story>");
    WriteFile(book / "pages" / "index.htm", "<html>home</html>");
    WriteFile(book / "pages" / "Chapter 1" / "page1.htm", cabfixtures::NoisyText(70000));
    for (const char* p : {"system/System.xml", "system/Story.xml", "pages/index.htm",
                          "pages/Chapter 1/page1.htm", "pages/Chapter 1"})
        Stamp(book / p);
    const fs::path first = Dir / "first.run", second = Dir / "second.run";
    ASSERT_EQ(Run(Q(book) + " -o " + Q(first) + " --viewer " + Q(Viewer)).Code, 0);
    // The second pack comes in a later two-second step of the clock (the date-times' resolution)
    // and after the book's top folders changed their own times: nothing of either may show.
    const std::time_t step = std::time(nullptr) / 2;
    while (std::time(nullptr) / 2 == step)
        usleep(20000);
    WriteFile(book / "pages" / "gone.txt", "x");
    fs::remove(book / "pages" / "gone.txt");
    ASSERT_EQ(Run(Q(book) + " -o " + Q(second) + " --viewer " + Q(Viewer)).Code, 0);
    EXPECT_TRUE(ReadFile(first) == ReadFile(second)) << "packing the same files twice gave different bytes";
    // Without SOURCE_DATE_EPOCH what has no time on disk takes the newest file's.
    for (const char* resource : {"SYSTEM_MFS", "FILES_MFS"}) {
        const TInventedTimes times = InventedTimes(first, resource);
        EXPECT_EQ(times.Root, 0x52B16DAFu) << resource;
        EXPECT_EQ(times.Cabinet, 0x52B16DAFu) << resource;
    }

    // SOURCE_DATE_EPOCH gives that time instead, in UTC: 2023-11-14 22:13:20. What is not a
    // number is no time and is passed over.
    const fs::path dated = Dir / "dated.run", ignored = Dir / "ignored.run";
    ASSERT_EQ(
        Run(Q(book) + " -o " + Q(dated) + " --viewer " + Q(Viewer), "SOURCE_DATE_EPOCH=1700000000").Code, 0);
    ASSERT_EQ(Run(Q(book) + " -o " + Q(ignored) + " --viewer " + Q(Viewer), "SOURCE_DATE_EPOCH=soon").Code,
              0);
    for (const char* resource : {"SYSTEM_MFS", "FILES_MFS"}) {
        const TInventedTimes times = InventedTimes(dated, resource);
        EXPECT_EQ(times.Root, 0x576EB1AAu) << resource;
        EXPECT_EQ(times.Cabinet, 0x576EB1AAu) << resource;
    }
    EXPECT_TRUE(ReadFile(ignored) == ReadFile(first));
}

TEST_F(Packer, FailuresLeaveNoOutput) {
    const fs::path book = Dir / "book";
    WriteFile(book / "system" / "System.xml", "<System/>");
    WriteFile(book / "system" / "Story.xml", "<Story><item page=\"Page.htm\"/></Story>");
    const fs::path output = Dir / "out.run";

    Outcome noPages = Run(Q(book) + " -o " + Q(output) + " --viewer " + Q(Viewer));
    EXPECT_EQ(noPages.Code, 1);
    EXPECT_NE(noPages.Err.find("pages"), std::string::npos) << noPages.Err;

    WriteFile(book / "pages" / "Page.htm", "a");
    WriteFile(book / "pages" / "page.HTM", "b");
    Outcome clash = Run(Q(book) + " -o " + Q(output) + " --viewer " + Q(Viewer));
    EXPECT_EQ(clash.Code, 1);
    EXPECT_NE(clash.Err.find("differ only in letter case"), std::string::npos) << clash.Err;
    fs::remove(book / "pages" / "page.HTM");

    Outcome noViewer = Run(Q(book) + " -o " + Q(output) + " --viewer " + Q(Dir / "no-viewer"));
    EXPECT_EQ(noViewer.Code, 1);
    EXPECT_NE(noViewer.Err.find("no-viewer"), std::string::npos) << noViewer.Err;

    EXPECT_EQ(Leftovers(), (std::vector<std::string>{"book", "viewer"}));

    for (const std::string& usage : {std::string(""), "-o " + Q(output), Q(book), "--embed X -o " + Q(output),
                                     std::string("--list"), Q(book) + " --bogus -o " + Q(output)}) {
        Outcome outcome = Run(usage);
        EXPECT_EQ(outcome.Code, 2) << usage;
        EXPECT_NE(outcome.Err.find("usage:"), std::string::npos) << usage;
    }
    // Every resource takes an --embed of its own.
    EXPECT_NE(Run("").Err.find("--embed NAME=FILE [--embed NAME=FILE ...] -o OUTPUT"), std::string::npos);
    EXPECT_EQ(Leftovers(), (std::vector<std::string>{"book", "viewer"}));
}

TEST_F(Packer, DamagedBooksFailWithTheLoadersMessage) {
    struct Case {
        std::string System;
        std::string Expected;
    } cases[] = {
        {"", "File \"\\info.cab\" is not a cabinet\n"},
        {"#!/bin/sh\necho not a cabinet\n", "File \"\\info.cab\" is not a cabinet\n"},
        {WriteCabinet({{"index.htm", "x"}}), "File \"\\info.mfs\" not found\n"},
        {cabfixtures::SpannedCabinet(true),
         "FDI aborted [0x000B].\r\nSpanned cabinets are unsupported now\n"},
    };
    for (const Case& c : cases) {
        WriteFile(Dir / "system.cab", c.System);
        const fs::path output = Dir / "damaged.run";
        ASSERT_EQ(
            Run("--embed SYSTEM_MFS=" + Q(Dir / "system.cab") + " -o " + Q(output) + " --viewer " + Q(Viewer))
                .Code,
            0);
        Outcome listed = Run("--list " + Q(output));
        EXPECT_EQ(listed.Code, 1);
        EXPECT_EQ(listed.Err, c.Expected);
        EXPECT_EQ(listed.Out, "") << "nothing is listed when a load fails";
    }
    // A viewer with no resources at all reads like an empty resource.
    Outcome bare = Run("--list " + Q(Viewer));
    EXPECT_EQ(bare.Code, 1);
    EXPECT_EQ(bare.Err, "File \"\\info.cab\" is not a cabinet\n");
}

TEST_F(Packer, RunStartsThePackedBookAndRemovesItWhenItEnds) {
    const fs::path book = Dir / "My Book";
    WriteFile(book / "system" / "System.xml", "<System Story=\"Story.xml\"/>");
    WriteFile(book / "system" / "Story.xml", "<Story><item page=\"p.htm\"/></Story>");
    WriteFile(book / "pages" / "p.htm", "<p>p</p>");
    // A script as the viewer: it runs as the packed book, notes where it ran and ends with its own
    // code before the shell ever reads the resources behind it.
    const fs::path ran = Dir / "ran";
    WriteFile(Viewer.string() + ".sh", "#!/bin/sh\nprintf '%s' \"$0\" > '" + ran.string() + "'\nexit 7\n");
    fs::remove(Viewer);
    fs::rename(Viewer.string() + ".sh", Viewer);
    const fs::path temp = Dir / "tmp";
    fs::create_directories(temp);
    const std::string env = "TMPDIR=" + Q(temp) + " ";

    const std::string command = env + TOMEVANE_PACK + " " + Q(book) + " --run --viewer " + Q(Viewer);
    const int status = std::system(command.c_str());
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 7);
    const std::string program = ReadFile(ran);
    EXPECT_EQ(fs::path(program).filename(), "My Book");
    EXPECT_EQ(fs::path(program).parent_path().parent_path(), temp);
    EXPECT_TRUE(fs::is_empty(temp));

    // A book with problems is not run, and nothing is left either; -o makes no sense with --run.
    fs::remove(ran);
    fs::remove(book / "pages" / "p.htm");
    EXPECT_NE(std::system(command.c_str()), 0);
    EXPECT_FALSE(fs::exists(ran));
    EXPECT_TRUE(fs::is_empty(temp));
    EXPECT_EQ(Run(Q(book) + " --run -o " + Q(Dir / "out")).Code, 2);
}

TEST_F(Packer, FolderArchiveFollowsSingleEntries) {
    const fs::path pages = Dir / "pages";
    WriteFile(pages / "a.htm", "one");
    WriteFile(pages / "sub" / "b.htm", "two");
    TMFS archive;
    BuildArchive(pages.string(), archive);
    TMFSSession& session = *archive.Session();

    // Changed, added in a known folder, and removed files are followed one by one.
    WriteFile(pages / "a.htm", "ONE");
    WriteFile(pages / "sub" / "c.htm", "three");
    fs::remove(pages / "sub" / "b.htm");
    EXPECT_TRUE(UpdateArchiveEntry(pages.string(), "a.htm", archive));
    EXPECT_TRUE(UpdateArchiveEntry(pages.string(), "sub/c.htm", archive));
    EXPECT_TRUE(UpdateArchiveEntry(pages.string(), "sub/b.htm", archive));
    EXPECT_TRUE(UpdateArchiveEntry(pages.string(), "sub/gone.tmp", archive)); // came and went
    EXPECT_EQ(std::string(session.GetFile("\\a.htm")->Data.View()), "ONE");
    EXPECT_EQ(std::string(session.GetFile("\\sub\\c.htm")->Data.View()), "three");
    EXPECT_FALSE(session.Exists("\\sub\\b.htm"));
    EXPECT_FALSE(session.Exists("\\sub\\gone.tmp"));
    // Entry for entry what a build of the whole folder gives.
    const auto listing = [](const TMFS& mfs) {
        std::ostringstream out;
        ListArchive(mfs, out);
        return out.str();
    };
    TMFS fresh;
    BuildArchive(pages.string(), fresh);
    EXPECT_EQ(listing(archive), listing(fresh));

    // What one step cannot follow faithfully is left to a build of the whole folder.
    WriteFile(pages / "new" / "d.htm", "four");
    EXPECT_FALSE(UpdateArchiveEntry(pages.string(), "new/d.htm", archive)); // a new folder
    WriteFile(pages / "A.htm", "case");
    EXPECT_FALSE(UpdateArchiveEntry(pages.string(), "A.htm", archive)); // another letter case
    fs::remove(pages / "A.htm");
    fs::create_directories(pages / "x.htm");
    EXPECT_FALSE(UpdateArchiveEntry(pages.string(), "x.htm", archive)); // a folder, not a file
    fs::remove_all(pages / "sub");
    EXPECT_FALSE(UpdateArchiveEntry(pages.string(), "sub", archive)); // a folder that went
    EXPECT_FALSE(UpdateArchiveEntry(pages.string(), "../a.htm", archive));
    EXPECT_EQ(std::string(session.GetFile("\\a.htm")->Data.View()), "ONE");
}

} // namespace
