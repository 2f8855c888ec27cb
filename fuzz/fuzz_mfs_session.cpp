// Session path operations and file streams driven by arbitrary bytes: every failure is one of
// the archive's own errors, and no sequence of operations corrupts memory.
#include "u_MFS.h"

#include <fuzzer/FuzzedDataProvider.h>

#include <memory>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    FuzzedDataProvider in(data, size);
    TMFS mfs;
    TMFSSession* s = mfs.Session();
    s->ForceFolders("\\Forms\\Sub");
    s->CreateFile("\\Story.xml", 0, false)->Data = "story";
    s->CreateFile("\\Forms\\About.html", 0, false)->Data = "about";
    std::vector<std::unique_ptr<TMFSFileStream>> streams;
    char buffer[512];

    for (int step = 0; step < 64 && in.remaining_bytes() > 0; ++step) {
        const int op = in.ConsumeIntegralInRange(0, 13);
        const std::string path = in.ConsumeRandomLengthString(64);
        try {
            switch (op) {
            case 0:
                s->GetItem(path);
                break;
            case 1:
                s->GetFile(path);
                break;
            case 2:
                s->CreateFile(path, in.ConsumeIntegral<uint32_t>(), in.ConsumeBool());
                break;
            case 3:
                s->ForceFolders(path);
                break;
            case 4:
                s->ExpandFileName(path);
                break;
            case 5:
                s->ChangeFolder(path);
                break;
            case 6:
                s->Exists(path);
                break;
            case 7:
                if (streams.size() < 8)
                    streams.push_back(s->CreateFileStream(path, in.ConsumeIntegralInRange(0, 6),
                                                          in.ConsumeIntegral<uint32_t>()));
                break;
            case 8: // destroy an entry, possibly under open streams or the current folder
            {
                TMFSItem* item = s->GetItem(TMFS::NormalizePath(path));
                if (item != mfs.Root() && item->Parent) {
                    for (TMFSFolder* f = s->CurrentFolder; f; f = f->Parent)
                        if (f == item) s->CurrentFolder = mfs.Root(); // keep the session on a live folder
                    item->Parent->Children.Delete(item->Name);
                }
                break;
            }
            default: {
                if (streams.empty()) break;
                auto& stream = streams[in.ConsumeIntegralInRange<size_t>(0, streams.size() - 1)];
                switch (op) {
                case 9:
                    stream->Read(buffer, in.ConsumeIntegralInRange(0, 512));
                    break;
                case 10:
                    stream->Write(buffer, in.ConsumeIntegralInRange(0, 512));
                    break;
                case 11:
                    stream->Seek(in.ConsumeIntegral<int32_t>(), in.ConsumeIntegralInRange(0, 3));
                    break;
                case 12:
                    stream->SetSize(in.ConsumeIntegralInRange(0, 1 << 16));
                    break;
                case 13:
                    streams.erase(streams.begin());
                    break;
                }
            }
            }
        } catch (const Exception&) {
            // The archive's own errors (EMFSError, EReadError, EWriteError) are expected.
        }
    }
    streams.clear();
    TMFS copy;
    copy.LoadFromString(mfs.SaveToString());
    return 0;
}
