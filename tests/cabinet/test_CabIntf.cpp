// The FDI entry points over libmspack, driven with callbacks over a small in-memory file table.
#include "CabFixtures.h"
#include "CabIntf.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <map>
#include <memory>
#include <string>
#include <vector>

using namespace cabfixtures;

namespace {

struct OpenFile {
    std::string* Data;
    size_t Position = 0;
};

// The callbacks' world: named files, open handles and what happened.
struct TWorld {
    std::map<std::string, std::string> Files;
    std::map<INT_PTR, OpenFile> Handles;
    INT_PTR NextHandle = 100;
    std::vector<std::string> Opened;
    int Allocations = 0;
    bool FailWrites = false;
    // Notification answers.
    std::string Wanted = "info.mfs";
    INT_PTR AnswerFor[6] = {0, 0, 0, 0, 0, 0};
    std::vector<FDINOTIFICATION> Notifications;
    std::vector<std::string> Names, Names2, Names3; // psz1, psz2 and psz3 of each notification
    std::vector<std::string> Extracted;
};
TWorld* W = nullptr;

void* Alloc(uint32_t cb) {
    ++W->Allocations;
    return std::calloc(cb ? cb : 1, 1);
}
void Free(void* p) {
    --W->Allocations;
    std::free(p);
}
INT_PTR Open(const char* name, int, int) {
    W->Opened.push_back(name);
    auto it = W->Files.find(name);
    if (it == W->Files.end()) return -1;
    W->Handles[W->NextHandle] = OpenFile{&it->second};
    return W->NextHandle++;
}
uint32_t Read(INT_PTR hf, void* pv, uint32_t cb) {
    OpenFile& f = W->Handles.at(hf);
    const size_t n = std::min<size_t>(cb, f.Data->size() - std::min(f.Position, f.Data->size()));
    std::memcpy(pv, f.Data->data() + f.Position, n);
    f.Position += n;
    return static_cast<uint32_t>(n);
}
uint32_t Write(INT_PTR hf, void* pv, uint32_t cb) {
    if (W->FailWrites) return static_cast<uint32_t>(-1);
    OpenFile& f = W->Handles.at(hf);
    f.Data->replace(f.Position, cb, static_cast<const char*>(pv), cb);
    f.Position += cb;
    return cb;
}
int Close(INT_PTR hf) {
    return W->Handles.erase(hf) ? 0 : -1;
}
int32_t Seek(INT_PTR hf, int32_t dist, int type) {
    OpenFile& f = W->Handles.at(hf);
    const int64_t base = type == 0   ? 0
                         : type == 1 ? static_cast<int64_t>(f.Position)
                                     : static_cast<int64_t>(f.Data->size());
    f.Position = static_cast<size_t>(std::max<int64_t>(0, base + dist));
    return static_cast<int32_t>(f.Position);
}
INT_PTR Notify(FDINOTIFICATIONTYPE type, PFDINOTIFICATION n) {
    W->Notifications.push_back(*n);
    W->Names.push_back(n->psz1 ? n->psz1 : "");
    W->Names2.push_back(n->psz2 ? n->psz2 : "");
    W->Names3.push_back(n->psz3 ? n->psz3 : "");
    if (type == fdintCOPY_FILE) {
        if (n->psz1 != W->Wanted || W->AnswerFor[type] != 0) return W->AnswerFor[type];
        std::string& target = W->Files["out:" + std::string(n->psz1)];
        target.clear();
        W->Handles[W->NextHandle] = OpenFile{&target};
        return W->NextHandle++;
    }
    if (type == fdintCLOSE_FILE_INFO) {
        W->Extracted.push_back(n->psz1);
        Close(n->hf);
        return W->AnswerFor[type] ? W->AnswerFor[type] : 1;
    }
    return W->AnswerFor[type];
}

class FDI : public ::testing::Test {
  protected:
    void SetUp() override {
        W = &World;
        Context = FDICreate(Alloc, Free, Open, Read, Write, Close, Seek, cpuUNKNOWN, &Erf);
        ASSERT_NE(Context, nullptr);
    }
    void TearDown() override {
        EXPECT_TRUE(FDIDestroy(Context));
        EXPECT_EQ(World.Allocations, 0) << "every block allocated through the callbacks is freed";
        EXPECT_TRUE(World.Handles.empty()) << "every handle is closed";
        W = nullptr;
    }
    bool Copy(const std::string& cabinet) {
        World.Files["dir/book.cab"] = cabinet;
        return FDICopy(Context, "book.cab", "dir/", 0, Notify, nullptr, &World) != 0;
    }
    TWorld World;
    ERF Erf{};
    HFDI Context = nullptr;
};

const std::vector<TCabEntry> ThreeFiles = {
    {"readme.txt", "first file", 0x5A215C2E, 0x21},
    {"info.mfs", NoisyText(100000), 0x4C9E7BBD, 0xA7},
    {"tail.bin", std::string(70000, 'z'), 0x00210000, 0x20},
};

TEST_F(FDI, IsCabinetReportsSizeAndCountsAndKeepsTheHandleOpen) {
    const std::string cab = WriteCabinet(ThreeFiles);
    World.Files["c"] = cab;
    const INT_PTR hf = Open("c", 0, 0);
    FDICABINETINFO info{};
    ASSERT_TRUE(FDIIsCabinet(Context, hf, &info));
    EXPECT_EQ(info.cbCabinet, static_cast<int32_t>(cab.size()));
    EXPECT_EQ(info.cFiles, 3);
    EXPECT_EQ(info.cFolders, 1);
    EXPECT_FALSE(info.hasprev);
    EXPECT_FALSE(info.hasnext);
    EXPECT_EQ(World.Handles.count(hf), 1u);
    EXPECT_EQ(Close(hf), 0);

    for (const std::string& bytes :
         {std::string(), std::string("MZ not a cabinet at all, just bytes"), cab.substr(0, 20)}) {
        World.Files["c"] = bytes;
        const INT_PTR h = Open("c", 0, 0);
        EXPECT_FALSE(FDIIsCabinet(Context, h, &info)) << bytes.size();
        EXPECT_EQ(Erf.erfOper, FDIERROR_NOT_A_CABINET);
        EXPECT_TRUE(Erf.fError);
        Close(h);
    }
}

TEST_F(FDI, CopyOffersEveryFileAndDecompressesOnlyTheWantedOne) {
    ASSERT_TRUE(Copy(WriteCabinet(ThreeFiles)));
    ASSERT_EQ(World.Notifications.size(), 5u);
    EXPECT_THAT(World.Names, ::testing::ElementsAre("", "readme.txt", "info.mfs", "info.mfs", "tail.bin"));
    EXPECT_EQ(World.Names3[0], "dir/");
    const FDINOTIFICATION& copy = World.Notifications[2];
    EXPECT_EQ(copy.cb, 100000);
    EXPECT_EQ(copy.date, 0x4C9E);
    EXPECT_EQ(copy.time, 0x7BBD);
    EXPECT_EQ(copy.attribs, 0xA7);
    EXPECT_EQ(copy.pv, &World);
    const FDINOTIFICATION& close = World.Notifications[3];
    EXPECT_EQ(close.date, 0x4C9E);
    EXPECT_EQ(close.time, 0x7BBD);
    EXPECT_EQ(close.attribs, 0xA7);
    EXPECT_EQ(close.cb, 0) << "no run-after-extract bit";
    EXPECT_EQ(World.Files["out:info.mfs"], ThreeFiles[1].Data);
    EXPECT_THAT(World.Extracted, ::testing::ElementsAre("info.mfs"));
    // Only the cabinet is ever opened through the open callback.
    for (const std::string& name : World.Opened)
        EXPECT_EQ(name, "dir/book.cab");
}

TEST_F(FDI, FailuresMapToTheirCodes) {
    const std::string cab = WriteCabinet(ThreeFiles);

    EXPECT_FALSE(FDICopy(Context, "missing.cab", "dir/", 0, Notify, nullptr, &World));
    EXPECT_EQ(Erf.erfOper, FDIERROR_CABINET_NOT_FOUND);

    EXPECT_FALSE(Copy("this is no cabinet, only some text long enough to hold a header"));
    EXPECT_EQ(Erf.erfOper, FDIERROR_NOT_A_CABINET);

    std::string damaged = cab;
    damaged[damaged.size() - 100] ^= 0x55; // inside the last data block
    EXPECT_FALSE(Copy(damaged));
    EXPECT_EQ(Erf.erfOper, FDIERROR_MDI_FAIL);

    std::string truncated = cab.substr(0, cab.size() / 2);
    World.Wanted = "tail.bin";
    EXPECT_FALSE(Copy(truncated));
    EXPECT_EQ(Erf.erfOper, FDIERROR_CORRUPT_CABINET);
    World.Wanted = "info.mfs";

    std::string unknownMethod = cab;
    unknownMethod[36 + 6] = 0x0F; // the folder's compression type
    EXPECT_FALSE(Copy(unknownMethod));
    EXPECT_EQ(Erf.erfOper, FDIERROR_BAD_COMPR_TYPE);

    World.FailWrites = true;
    EXPECT_FALSE(Copy(cab));
    EXPECT_EQ(Erf.erfOper, FDIERROR_TARGET_FILE);
    World.FailWrites = false;

    World.AnswerFor[fdintCOPY_FILE] = -1;
    EXPECT_FALSE(Copy(cab));
    EXPECT_EQ(Erf.erfOper, FDIERROR_USER_ABORT);
    EXPECT_TRUE(Erf.fError);
    World.AnswerFor[fdintCOPY_FILE] = 0;

    World.AnswerFor[fdintCLOSE_FILE_INFO] = -1;
    EXPECT_FALSE(Copy(cab));
    EXPECT_EQ(Erf.erfOper, FDIERROR_USER_ABORT);
}

TEST_F(FDI, CabinetsOfASetAnnounceTheirContinuations) {
    World.AnswerFor[fdintPARTIAL_FILE] = -1;
    EXPECT_FALSE(Copy(SpannedCabinet(true)));
    EXPECT_EQ(Erf.erfOper, FDIERROR_USER_ABORT);
    ASSERT_EQ(World.Notifications.size(), 2u);
    EXPECT_EQ(World.Notifications[0].setID, 0x1234);
    EXPECT_EQ(World.Notifications[0].iCabinet, 1);
    EXPECT_EQ(World.Names[1], "info.mfs");
    EXPECT_EQ(World.Names2[1], "prev.cab");
    EXPECT_EQ(World.Names3[1], "disk1");

    World.Notifications.clear();
    World.Names.clear();
    World.Names2.clear();
    World.Names3.clear();
    World.AnswerFor[fdintPARTIAL_FILE] = 0;
    EXPECT_TRUE(Copy(SpannedCabinet(true))) << "a partial file the caller lets go is skipped";
    EXPECT_TRUE(World.Extracted.empty());

    World.Notifications.clear();
    World.Names.clear();
    World.Names2.clear();
    World.Names3.clear();
    World.AnswerFor[fdintNEXT_CABINET] = -1;
    EXPECT_FALSE(Copy(SpannedCabinet(false)));
    EXPECT_EQ(Erf.erfOper, FDIERROR_USER_ABORT);
    ASSERT_EQ(World.Notifications.size(), 2u);
    EXPECT_EQ(World.Names[0], "next.cab");
    EXPECT_EQ(World.Names[1], "next.cab");
    EXPECT_EQ(World.Names2[1], "disk2");
    EXPECT_EQ(World.Names3[1], "dir/");

    World.AnswerFor[fdintNEXT_CABINET] = 0;
    EXPECT_FALSE(Copy(SpannedCabinet(false)));
    EXPECT_EQ(Erf.erfOper, FDIERROR_WRONG_CABINET) << "sets are never followed";
}

} // namespace
