// The cabinet reader over an archive, its messages, and loading archives from cabinets.
#include "CabConsts.h"
#include "CabFixtures.h"
#include "FailingAllocation.h"
#include "u_Loader.h"
#include "u_MFS.h"
#include "u_MFSCab.h"
#include "u_ResourceWriter.h"
#include "u_Resources.h"

#include <gtest/gtest.h>

#include <atomic>
#include <filesystem>
#include <functional>
#include <fstream>
#include <string>
#include <thread>

using namespace cabfixtures;

namespace {

std::string ImageOf(const std::vector<std::pair<std::string, std::string>>& files) {
    TMFS archive;
    for (const auto& [path, data] : files) {
        archive.Session()->ForceFolders(TMFS::ExtractFilePath(path));
        TMFSFile* file = archive.Session()->CreateFile(path, faArchive, false);
        file->Data = data;
        file->DateTime = 0x5A215C2E;
    }
    return archive.SaveToString();
}

// The message LoadArchiveFromCabinet fails with, or "" when it succeeds.
std::string LoadFailure(const std::string& cabinet) {
    TMFS target;
    try {
        LoadArchiveFromCabinet(target, cabinet);
    } catch (const Exception& e) {
        return e.Message();
    }
    return "";
}

class Reader : public ::testing::Test {
  protected:
    void PutCabinet(const std::string& bytes) {
        Archive.Session()->CreateFile("\\books\\info.cab", 0, true)->Data = bytes;
    }
    TMFS Archive;
};

TEST_F(Reader, ExtractsTheWantedEntryWithItsDateTimeAndMaskedAttributes) {
    Archive.Session()->ForceFolders("\\books");
    PutCabinet(WriteCabinet({{"first.txt", "skip me", 0x5A215C2E, 0x20},
                             {"INFO.MFS", "the image bytes", 0x4C9E7BBD, 0xE1},
                             {"last.txt", "skip me too", 0x5A215C2E, 0x20}}));
    Archive.Session()->ChangeFolder("\\books");
    TMFSCabReader reader(Archive.Session(), "info.cab");
    EXPECT_EQ(reader.CabinetPath, "\\books\\info.cab");
    EXPECT_EQ(reader.FileCount, 3);
    EXPECT_EQ(reader.CabinetSize, Archive.Session()->GetFile("info.cab")->Data.size());
    reader.Extract("info.mfs", "out\\deep\\info.mfs");

    TMFSFile* out = Archive.Session()->GetFile("\\books\\out\\deep\\info.mfs");
    EXPECT_EQ(out->Data, "the image bytes");
    EXPECT_EQ(out->DateTime, 0x4C9E7BBDu);
    EXPECT_EQ(out->Attributes, 0x21u) << "attributes masked with 0x3F";
    // The other entries were never created anywhere.
    EXPECT_EQ(Archive.Session()->GetItem("\\books")->Owner, &Archive);
    auto* books = static_cast<TMFSFolder*>(Archive.Session()->GetItem("\\books"));
    EXPECT_EQ(books->Children.Count(), 2) << "info.cab and out";
    EXPECT_TRUE(out->OpenStreams.empty()) << "the extracted file's stream is closed";
    EXPECT_EQ(CurrentCabReader, nullptr);
    EXPECT_TRUE(CabinetLock.try_lock()) << "the lock is released";
    CabinetLock.unlock();
}

// Whether some file of the folder's tree still has a stream open over it.
bool AnyStreamOpen(TMFSFolder* folder) {
    bool open = false;
    folder->Children.ForEach([&](const std::string&, TMFSItem* child) {
        if (auto* sub = dynamic_cast<TMFSFolder*>(child)) open = open || AnyStreamOpen(sub);
        if (auto* file = dynamic_cast<TMFSFile*>(child)) open = open || !file->OpenStreams.empty();
    });
    return open;
}

TEST_F(Reader, RunningOutOfMemoryAnywhereLeavesNoStreamOpen) {
    // An entry extracted, and a cabinet of a set (whose entry table is read a second time): every
    // allocation on the way fails once, and each stream opened before the failure is closed.
    Archive.Session()->ForceFolders("\\books");
    for (const std::string& cabinet :
         {WriteCabinet({{"x.txt", "skip"}, {"info.mfs", NoisyText(70000)}}), SpannedCabinet(false)}) {
        PutCabinet(cabinet);
        const size_t allocations = ForEachFailingAllocation(
            [&] {
                try {
                    TMFSCabReader reader(Archive.Session(), "\\books\\info.cab");
                    reader.Extract("info.mfs", "\\out\\info.mfs");
                } catch (const EMFSCabError&) {
                }
            },
            [&] {
                EXPECT_FALSE(AnyStreamOpen(Archive.Root()));
                EXPECT_EQ(CurrentCabReader, nullptr);
            });
        EXPECT_GT(allocations, 10u);
    }
    EXPECT_EQ(Archive.Session()->GetFile("\\out\\info.mfs")->Data, NoisyText(70000));
}

TEST_F(Reader, AClaimedSizeReservesNoMoreThanTheCabinetCouldHold) {
    // The entry claims sixty times the cabinet's bytes: the extraction fails, and what the
    // destination had reserved for the claim stays within a few times the cabinet.
    Archive.Session()->ForceFolders("\\books");
    std::string cabinet = WriteCabinet({{"info.mfs", NoisyText(20000)}}, false);
    const uint32_t files = static_cast<uint8_t>(cabinet[16]) | static_cast<uint8_t>(cabinet[17]) << 8;
    std::string claim;
    PutU32(claim, static_cast<uint32_t>(cabinet.size() * 60));
    cabinet.replace(files, 4, claim);
    PutCabinet(cabinet);
    TMFSCabReader reader(Archive.Session(), "\\books\\info.cab");
    EXPECT_THROW(reader.Extract("info.mfs", "\\out.mfs"), EMFSCabSystemError);
    EXPECT_LE(Archive.Session()->GetFile("\\out.mfs")->Data.Take().capacity(), cabinet.size() * 16);
}

TEST_F(Reader, ExtractingOverALongerFileLeavesExactlyTheEntrysBytes) {
    Archive.Session()->ForceFolders("\\books");
    PutCabinet(WriteCabinet({{"info.mfs", "short"}}));
    Archive.Session()->CreateFile("\\info.mfs", 0, false)->Data = "a much longer file that was here before";
    TMFSCabReader reader(Archive.Session(), "\\books\\info.cab");
    reader.Extract("info.mfs", "\\info.mfs");
    EXPECT_EQ(Archive.Session()->GetFile("\\info.mfs")->Data, "short");
}

TEST_F(Reader, RefusesWhatIsNotACabinetWithThePathAsGiven) {
    Archive.Session()->ForceFolders("\\books");
    for (const std::string& bytes : {std::string(), std::string("plain text, not a cabinet")}) {
        PutCabinet(bytes);
        Archive.Session()->ChangeFolder("\\books");
        try {
            TMFSCabReader reader(Archive.Session(), "info.cab");
            FAIL();
        } catch (const EMFSCabReaderError& e) {
            EXPECT_STREQ(e.what(), "File \"info.cab\" is not a cabinet");
        }
        EXPECT_EQ(CurrentCabReader, nullptr);
        EXPECT_TRUE(CabinetLock.try_lock());
        CabinetLock.unlock();
    }
    // A cabinet that is not there at all fails to open as the archive reports it.
    EXPECT_THROW(TMFSCabReader(Archive.Session(), "\\nothing.cab"), EMFSError);
}

TEST(CabinetMessages, SystemErrorText) {
    EXPECT_EQ(EMFSCabSystemError(ERF{7, 0, 1}, "ignored").Message(),
              "Failure decompressing data from a cabinet file [0x0007]");
    EXPECT_EQ(EMFSCabSystemError(ERF{11, -1, 1}, "why").Message(), "FDI aborted [0x000B].\r\nwhy");
    EXPECT_EQ(EMFSCabSystemError(ERF{0x12345, 0, 1}, "").Message(), "FDI error [0x12345]");
    const EMFSCabSystemError clear(ERF{7, -1, 0}, "why");
    EXPECT_EQ(clear.Message(), "FDI error") << "fError clear, whatever the code";
    EXPECT_EQ(clear.ErfOper, 7);
    EXPECT_EQ(clear.ErfType, -1);
    EXPECT_FALSE(clear.FError);
    EXPECT_EQ(FDIErrorText(0), "No error");
    EXPECT_EQ(FDIErrorText(10), "Cabinet returned on fdintNEXT_CABINET is incorrect");
    EXPECT_EQ(FDIErrorText(12), "FDI error");
    EXPECT_EQ(FDIErrorText(-1), "FDI error");
}

TEST(CabinetOpenFlags, DispositionsAndStreamFlags) {
    EXPECT_EQ(CabOpenDisposition(_O_EXCL | _O_CREAT | _O_TRUNC), CREATE_NEW);
    EXPECT_EQ(CabOpenDisposition(_O_TRUNC | _O_CREAT), CREATE_ALWAYS);
    EXPECT_EQ(CabOpenDisposition(_O_TRUNC), TRUNCATE_EXISTING);
    EXPECT_EQ(CabOpenDisposition(_O_CREAT | _O_WRONLY), OPEN_ALWAYS);
    EXPECT_EQ(CabOpenDisposition(_O_EXCL), OPEN_EXISTING);
    EXPECT_EQ(CabOpenDisposition(_O_BINARY), OPEN_EXISTING);
    EXPECT_EQ(CabOpenStreamFlags(_O_BINARY), 0x80u);
    EXPECT_EQ(CabOpenStreamFlags(_O_SHORT_LIVED), 0x80u);
    EXPECT_EQ(CabOpenStreamFlags(_O_SHORT_LIVED | _O_CREAT), 0x100u);
    EXPECT_EQ(CabOpenStreamFlags(0x8121), 0x08000080u);
    EXPECT_EQ(CabOpenStreamFlags(_O_RANDOM | _O_TEMPORARY | _O_CREAT), 0x14000080u);
    EXPECT_EQ(CabOpenStreamFlags(_O_TEMPORARY), 0x80u);
}

TEST(CabinetCallbacks, FailuresStayInsideAndAreRemembered) {
    TMFS archive;
    archive.Session()->CreateFile("\\a.txt", 0, false)->Data = "abcdef";
    TMFSCabReader* none = nullptr;
    EXPECT_EQ(CurrentCabReader, none);
    EXPECT_EQ(CabOpen("\\a.txt", _O_BINARY, 0), -1) << "no reader, no action";

    archive.Session()->CreateFile("\\c.cab", 0, false)->Data = WriteCabinet({{"info.mfs", "x"}});
    TMFSCabReader reader(archive.Session(), "\\c.cab");
    std::lock_guard<std::mutex> lock(CabinetLock);
    CurrentCabReader = &reader;
    const INT_PTR missing = CabOpen("\\missing.txt", _O_BINARY, 0);
    EXPECT_EQ(missing, -1);
    EXPECT_EQ(reader.CallbackError, -1);
    EXPECT_EQ(reader.LastExceptionMessage, "File \"\\missing.txt\" not found");

    const INT_PTR appended = CabOpen("\\a.txt", _O_BINARY | _O_APPEND | _O_WRONLY, 0);
    ASSERT_NE(appended, -1);
    EXPECT_EQ(reader.CallbackError, 0);
    EXPECT_EQ(CabSeek(appended, 0, 1), 6) << "append starts at the end";
    char buffer[4] = {};
    EXPECT_EQ(CabSeek(appended, 1, 0), 1);
    EXPECT_EQ(CabRead(appended, buffer, 3), 3u);
    EXPECT_EQ(std::string(buffer, 3), "bcd");
    EXPECT_EQ(CabClose(appended), 0);
    EXPECT_EQ(CabClose(-1), 0) << "the failure handle is accepted";

    const INT_PTR created = CabOpen("\\new\\file.txt", _O_CREAT | _O_WRONLY, 0);
    EXPECT_EQ(created, -1) << "the folder does not exist";
    EXPECT_EQ(reader.CallbackError, -1);
    CurrentCabReader = nullptr;
}

TEST(LoadArchiveFromCabinet, LoadsTheImageOfAnInfoMfsEntry) {
    const std::string image =
        ImageOf({{"\\index.htm", "<html>home</html>"}, {"\\ch1\\p1.htm", NoisyText(200000)}});
    TMFS target;
    LoadArchiveFromCabinet(target, WriteCabinet({{"readme", "x"}, {"Info.Mfs", image}}));
    EXPECT_EQ(target.SaveToString(), image);
    EXPECT_EQ(target.Session()->GetFile("\\ch1\\p1.htm")->Data, NoisyText(200000));
    // The tree keeps the extracted image's bytes rather than a copy of them.
    EXPECT_TRUE(target.Session()->GetFile("\\ch1\\p1.htm")->Data.Shared());
}

TEST(LoadArchiveFromCabinet, FailureMessages) {
    const std::string image = ImageOf({{"\\p.htm", NoisyText(150000)}});
    EXPECT_EQ(LoadFailure(""), "File \"\\info.cab\" is not a cabinet");
    EXPECT_EQ(LoadFailure("MZ\x90\x00 an executable, say"), "File \"\\info.cab\" is not a cabinet");
    EXPECT_EQ(LoadFailure(WriteCabinet({{"other.mfs", image}})), "File \"\\info.mfs\" not found");

    std::string damaged = WriteCabinet({{"info.mfs", image}});
    damaged[damaged.size() - 200] ^= 0x41;
    EXPECT_EQ(LoadFailure(damaged), "Failure decompressing data from a cabinet file [0x0007]");

    EXPECT_EQ(LoadFailure(SpannedCabinet(true)),
              "FDI aborted [0x000B].\r\nSpanned cabinets are unsupported now");
    EXPECT_EQ(LoadFailure(SpannedCabinet(false)),
              "FDI aborted [0x000B].\r\nSpanned cabinets are unsupported now");

    // A stored image that is not an archive image fails as the archive reports it.
    EXPECT_EQ(LoadFailure(WriteCabinet({{"info.mfs", "MFS but nothing else"}})),
              "Incorrect serialized format");
    EXPECT_EQ(CurrentCabReader, nullptr);
}

// An executable carrying the two cabinets as its resources, removed with the object.
class TPackedFile {
  public:
    TPackedFile(const std::string& systemCabinet, const std::string& pageCabinet)
        : Path(std::filesystem::temp_directory_path() /
               ("tv-loader-" + std::to_string(::getpid()) + "-" + std::to_string(++Count))) {
        const std::string program = "program bytes";
        const std::string bytes =
            program + BuildResourceSection(program.size(), {{"RCDATA", "SYSTEM_MFS", systemCabinet},
                                                            {"RCDATA", "FILES_MFS", pageCabinet}});
        std::ofstream(Path, std::ios::binary).write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    }
    ~TPackedFile() { std::filesystem::remove(Path); }
    const std::filesystem::path Path;

  private:
    static inline int Count = 0;
};

std::string TakeFailure(const std::function<void()>& take) {
    try {
        take();
    } catch (const Exception& e) {
        return e.Message();
    }
    return "";
}

TEST(BookArchiveLoader, DecodesBothArchivesOnItsWorker) {
    const std::string pages = ImageOf({{"\\ch1\\p1.htm", NoisyText(300000)}});
    const TPackedFile file(WriteCabinet({{"info.mfs", ImageOf({{"\\System.xml", "<System/>"}})}}),
                           WriteCabinet({{"info.mfs", pages}}));
    std::atomic<int> done = 0;
    std::unique_ptr<TMFS> system, page;
    {
        TBookArchiveLoader loader(file.Path, [&] { ++done; });
        system = loader.TakeSystemArchive();
        while (!loader.PageArchiveDone())
            std::this_thread::yield();
        page = loader.TakePageArchive();
    }
    EXPECT_EQ(done, 2) << "each archive announces itself";
    EXPECT_EQ(system->Session()->GetFile("\\System.xml")->Data, "<System/>");
    EXPECT_EQ(page->SaveToString(), pages);
}

TEST(BookArchiveLoader, EachArchiveFailsWithItsOwnErrorWhenTaken) {
    // A damaged page cabinet: the system archive arrives, the page archive raises what loading
    // it on this thread raises, with the same class and message.
    std::string damaged = WriteCabinet({{"info.mfs", ImageOf({{"\\p.htm", NoisyText(150000)}})}});
    damaged[damaged.size() - 200] ^= 0x41;
    const std::string systemCabinet = WriteCabinet({{"info.mfs", ImageOf({{"\\System.xml", "<System/>"}})}});
    {
        const TPackedFile file(systemCabinet, damaged);
        TBookArchiveLoader loader(file.Path);
        EXPECT_NE(loader.TakeSystemArchive(), nullptr);
        EXPECT_THROW(loader.TakePageArchive(), EMFSCabSystemError);
    }
    {
        const TPackedFile file(systemCabinet, damaged);
        TBookArchiveLoader loader(file.Path);
        loader.TakeSystemArchive();
        EXPECT_EQ(TakeFailure([&] { loader.TakePageArchive(); }), LoadFailure(damaged));
        EXPECT_EQ(LoadFailure(damaged), "Failure decompressing data from a cabinet file [0x0007]");
    }
    // A missing system cabinet ends it there: the page archive is not decoded and reports the
    // same failure.
    {
        const TPackedFile file("", WriteCabinet({{"info.mfs", ImageOf({{"\\p.htm", "page"}})}}));
        TBookArchiveLoader loader(file.Path);
        EXPECT_EQ(TakeFailure([&] { loader.TakeSystemArchive(); }), "File \"\\info.cab\" is not a cabinet");
        EXPECT_EQ(TakeFailure([&] { loader.TakePageArchive(); }), "File \"\\info.cab\" is not a cabinet");
    }
    // A loader nobody takes from is waited for when it goes.
    {
        const TPackedFile file(systemCabinet, damaged);
        TBookArchiveLoader loader(file.Path);
    }
    EXPECT_EQ(CurrentCabReader, nullptr);
}

TEST(BookArchiveLoader, AFailingAnnouncementReachesTheTakerInsteadOfEndingTheProgram) {
    // The callback that announces an archive throws on the worker thread: the program goes on,
    // and taking the page archive raises that failure (after the system archive's announcement
    // the page archive is not decoded at all).
    const std::string systemCabinet = WriteCabinet({{"info.mfs", ImageOf({{"\\System.xml", "<System/>"}})}});
    const TPackedFile file(systemCabinet, WriteCabinet({{"info.mfs", ImageOf({{"\\p.htm", "page"}})}}));
    for (const int failing : {1, 2}) {
        std::atomic<int> calls = 0;
        TBookArchiveLoader loader(file.Path, [&] {
            if (++calls == failing) throw EMFSError("cannot wake the main loop");
        });
        EXPECT_NE(loader.TakeSystemArchive(), nullptr);
        while (!loader.PageArchiveDone())
            std::this_thread::yield();
        EXPECT_EQ(TakeFailure([&] { loader.TakePageArchive(); }), "cannot wake the main loop");
        EXPECT_EQ(calls, failing);
    }
}

} // namespace

namespace {

// Damaged cabinets of every kind end in one of the loader's errors, never in a crash or a hang
// (run under the sanitizers in CI). Mutations favour the headers, where the parsing is.
TEST(LoadArchiveFromCabinet, MutatedCabinetsFailCleanly) {
    const std::string image = ImageOf({{"\\a.htm", NoisyText(40000)}, {"\\b\\c.htm", "small"}});
    const std::vector<std::string> seeds = {
        WriteCabinet({{"x.txt", "first"}, {"info.mfs", image}}),
        WriteCabinet({{"info.mfs", image}}, false),
        SpannedCabinet(true),
        SpannedCabinet(false),
    };
    uint32_t random = 12345;
    auto next = [&](uint32_t bound) {
        random = random * 1103515245u + 12345u;
        return (random >> 8) % bound;
    };
    int loaded = 0;
    for (int round = 0; round < 3000; ++round) {
        std::string cabinet = seeds[next(static_cast<uint32_t>(seeds.size()))];
        const uint32_t flips = 1 + next(4);
        for (uint32_t i = 0; i < flips; ++i) {
            const uint32_t span = next(4) == 0 ? static_cast<uint32_t>(cabinet.size()) : 120;
            cabinet[next(std::min<uint32_t>(span, static_cast<uint32_t>(cabinet.size())))] =
                static_cast<char>(next(256));
        }
        if (next(8) == 0) cabinet.resize(next(static_cast<uint32_t>(cabinet.size())));
        TMFS target;
        try {
            LoadArchiveFromCabinet(target, cabinet);
            ++loaded;
        } catch (const Exception&) {
        }
        ASSERT_EQ(CurrentCabReader, nullptr);
    }
    EXPECT_GT(loaded, 0) << "some mutations are harmless";
}

} // namespace
