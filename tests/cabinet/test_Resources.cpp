// The resource trailer: written by the packer's writer, read back by the viewer's reader, and
// every kind of damage read as "no resources".
#include "u_Loader.h"
#include "u_ResourceWriter.h"
#include "u_Resources.h"
#include "u_SysUtils.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

namespace {

class ResourceTrailer : public ::testing::Test {
  protected:
    void SetUp() override {
        Path = std::filesystem::temp_directory_path() /
               ("tv-res-" + std::to_string(::getpid()) + "-" +
                ::testing::UnitTest::GetInstance()->current_test_info()->name());
    }
    void TearDown() override { std::filesystem::remove(Path); }
    void Write(const std::string& bytes) {
        std::ofstream(Path, std::ios::binary).write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    }
    std::string Packed() const {
        return Program +
               BuildResourceSection(Program.size(), {{"RCDATA", "SYSTEM_MFS", "system bytes"},
                                                     {"RCDATA", "FILES_MFS", std::string("p\0ges", 5)},
                                                     {"OTHER", "FILES_MFS", "wrong type"}});
    }

    std::filesystem::path Path;
    const std::string Program = std::string("\x7f"
                                            "ELF program bytes\0\0",
                                            20);
};

TEST_F(ResourceTrailer, ResourcesReadBackByTypeAndNameIgnoringCase) {
    Write(Packed());
    EXPECT_EQ(LoadRCDataResource("SYSTEM_MFS", Path), "system bytes");
    EXPECT_EQ(LoadRCDataResource("files_mfs", Path), std::string("p\0ges", 5));
    EXPECT_EQ(LoadRCDataResource("MISSING", Path), "");
    const TResourceFile file(Path);
    EXPECT_EQ(file.ProgramSize(), Program.size());
    ASSERT_EQ(file.Entries().size(), 3u);
    EXPECT_EQ(file.Load("other", "files_mfs"), "wrong type");

    // A program without resources, and the test program itself.
    Write(Program);
    EXPECT_EQ(LoadRCDataResource("SYSTEM_MFS", Path), "");
    EXPECT_EQ(TResourceFile(Path).ProgramSize(), Program.size());
    EXPECT_EQ(LoadRCDataResource("SYSTEM_MFS"), "");
}

TEST_F(ResourceTrailer, MappedResourcesHoldTheSameBytes) {
    Write(Packed());
    EXPECT_EQ(MapRCDataResource("SYSTEM_MFS", Path), "system bytes");
    const TByteString pages = MapRCDataResource("files_mfs", Path);
    EXPECT_TRUE(pages.Shared());
    EXPECT_EQ(pages, std::string("p\0ges", 5));
    EXPECT_EQ(MapRCDataResource("MISSING", Path), "");
    // The mapping outlives the file's name.
    std::filesystem::remove(Path);
    EXPECT_EQ(pages, std::string("p\0ges", 5));
}

TEST_F(ResourceTrailer, DamageReadsAsNoResources) {
    const std::string good = Packed();
    const size_t trailer = good.size() - 32;
    auto damaged = [&](size_t at, char value) {
        std::string bytes = good;
        bytes[at] = value;
        return bytes;
    };
    const std::vector<std::string> cases = {
        good.substr(0, good.size() - 1),               // trailer cut short
        damaged(trailer, 'X'),                         // magic
        damaged(trailer + 8 + 7, '\x7f'),              // start of the resources far beyond the file
        damaged(trailer + 16, good[trailer + 16] + 1), // directory offset
        damaged(trailer + 24, good[trailer + 24] + 1), // directory size
        damaged(trailer - 1, '\x7f'),                  // last entry's size runs past the directory
        damaged(Program.size() + 27 + 3, '\x7f'),      // directory: count
        "TVRSRC01",                                    // shorter than a trailer
        std::string(32, '\0'),
    };
    for (size_t i = 0; i < cases.size(); ++i) {
        Write(cases[i]);
        EXPECT_EQ(LoadRCDataResource("SYSTEM_MFS", Path), "") << "case " << i;
        EXPECT_TRUE(TResourceFile(Path).Entries().empty()) << "case " << i;
    }
}

TEST_F(ResourceTrailer, UnreadableFileIsAnOSError) {
    try {
        LoadRCDataResource("SYSTEM_MFS", (Path / "missing").string());
        FAIL();
    } catch (const EOSError& e) {
        EXPECT_EQ(e.Message(), "System Error.  Code: 2.\r\nNo such file or directory");
    }
}

} // namespace
