// FDI over libmspack. The decompressor's I/O table (mspack_system) forwards every operation to the
// callbacks given to FDICreate:
// - reading a cabinet opens it by name through pfnopen, read-only;
// - FDIIsCabinet hands libmspack a handle that is already open, under a name only this unit uses;
// - the file that fdintCOPY_FILE answers with a handle is given to libmspack as the output file
//   under another such name, so the caller's handle is written to and never opened or closed here;
//   the caller closes it on fdintCLOSE_FILE_INFO, or this unit closes it when extraction fails.
#include "CabIntf.h"

#include <mspack.h>

#include <cstring>
#include <limits>
#include <new>
#include <string>
#include <vector>

namespace {

// Names that stand for handles the caller opened itself.
const char BorrowedCabinetName[] = "<open cabinet>";
const char TargetFileName[] = "<target file>";

struct FDIContext {
    mspack_system System; // libmspack's I/O table (libmspack keeps copies of it)
    PFNALLOC Alloc;
    PFNFREE Free;
    PFNOPEN Open;
    PFNREAD Read;
    PFNWRITE Write;
    PFNCLOSE Close;
    PFNSEEK Seek;
    PERF Erf;
    mscab_decompressor* Decompressor;
    INT_PTR BorrowedHandle; // the handle FDIIsCabinet examines
    INT_PTR TargetHandle;   // the handle of the file being extracted
};

// A file libmspack holds: the caller's handle, and whether closing it is ours to do.
struct FDIFile {
    FDIContext* Context;
    INT_PTR Handle;
    bool Owned;
};

// libmspack hands its memory callbacks a copy of the I/O table (or nothing at all, for free), so
// they cannot find their context through their arguments. Every entry point names its context
// here for the duration of the call; libmspack only allocates inside those calls.
thread_local FDIContext* ActiveContext = nullptr;

class ActiveScope {
  public:
    explicit ActiveScope(FDIContext* context) : FPrevious(ActiveContext) { ActiveContext = context; }
    ActiveScope(const ActiveScope&) = delete;
    ActiveScope& operator=(const ActiveScope&) = delete;
    ~ActiveScope() { ActiveContext = FPrevious; }

  private:
    FDIContext* FPrevious;
};

FDIFile* AsFile(mspack_file* file) {
    return reinterpret_cast<FDIFile*>(file);
}

mspack_file* SysOpen(mspack_system*, const char* filename, int mode) {
    FDIContext* context = ActiveContext;
    if (!context) return nullptr;
    INT_PTR handle = -1;
    bool owned = false;
    if (filename == BorrowedCabinetName && mode == MSPACK_SYS_OPEN_READ) {
        handle = context->BorrowedHandle;
    } else if (filename == TargetFileName && mode == MSPACK_SYS_OPEN_WRITE) {
        handle = context->TargetHandle;
    } else if (mode == MSPACK_SYS_OPEN_READ) {
        handle = context->Open(filename, _O_BINARY | _O_RDONLY, _S_IREAD | _S_IWRITE);
        owned = true;
    }
    if (handle == -1) return nullptr;
    auto* file = new (std::nothrow) FDIFile{context, handle, owned};
    if (!file && owned) context->Close(handle);
    return reinterpret_cast<mspack_file*>(file);
}

void SysClose(mspack_file* file) {
    FDIFile* f = AsFile(file);
    if (!f) return;
    if (f->Owned) f->Context->Close(f->Handle);
    delete f;
}

int SysRead(mspack_file* file, void* buffer, int bytes) {
    FDIFile* f = AsFile(file);
    if (bytes < 0) return -1;
    uint32_t done = f->Context->Read(f->Handle, buffer, static_cast<uint32_t>(bytes));
    return done > static_cast<uint32_t>(bytes) ? -1 : static_cast<int>(done);
}

int SysWrite(mspack_file* file, void* buffer, int bytes) {
    FDIFile* f = AsFile(file);
    if (bytes < 0) return -1;
    uint32_t done = f->Context->Write(f->Handle, buffer, static_cast<uint32_t>(bytes));
    return done > static_cast<uint32_t>(bytes) ? -1 : static_cast<int>(done);
}

int SysSeek(mspack_file* file, off_t offset, int mode) {
    FDIFile* f = AsFile(file);
    if (offset > std::numeric_limits<int32_t>::max() || offset < std::numeric_limits<int32_t>::min())
        return -1;
    return f->Context->Seek(f->Handle, static_cast<int32_t>(offset), mode) == -1 ? -1 : 0;
}

off_t SysTell(mspack_file* file) {
    FDIFile* f = AsFile(file);
    return f->Context->Seek(f->Handle, 0, MSPACK_SYS_SEEK_CUR);
}

void SysMessage(mspack_file*, const char*, ...) {
    // libmspack's warnings are for a human at a console; failures arrive as error codes.
}

void* SysAlloc(mspack_system*, size_t bytes) {
    FDIContext* context = ActiveContext;
    if (!context || bytes > std::numeric_limits<uint32_t>::max()) return nullptr;
    return context->Alloc(static_cast<uint32_t>(bytes));
}

void SysFree(void* block) {
    FDIContext* context = ActiveContext;
    if (block && context) context->Free(block);
}

void SysCopy(void* source, void* destination, size_t bytes) {
    std::memcpy(destination, source, bytes);
}

void SetError(FDIContext* context, FDIERROR code) {
    if (!context->Erf) return;
    context->Erf->erfOper = code;
    context->Erf->erfType = 0;
    context->Erf->fError = 1;
}

// libmspack's error codes as FDI codes. A failed read, seek or a bad structure all mean that the
// cabinet's bytes are not what its headers promise.
FDIERROR MapError(int error) {
    switch (error) {
    case MSPACK_ERR_OPEN:
        return FDIERROR_CABINET_NOT_FOUND;
    case MSPACK_ERR_SIGNATURE:
        return FDIERROR_NOT_A_CABINET;
    case MSPACK_ERR_NOMEMORY:
        return FDIERROR_ALLOC_FAIL;
    case MSPACK_ERR_WRITE:
        return FDIERROR_TARGET_FILE;
    case MSPACK_ERR_CHECKSUM:
    case MSPACK_ERR_DECRUNCH:
        return FDIERROR_MDI_FAIL;
    default:
        return FDIERROR_CORRUPT_CABINET;
    }
}

class CabinetHolder {
  public:
    CabinetHolder(mscab_decompressor* decompressor, mscabd_cabinet* cabinet)
        : FDecompressor(decompressor), FCabinet(cabinet) {}
    CabinetHolder(const CabinetHolder&) = delete;
    CabinetHolder& operator=(const CabinetHolder&) = delete;
    ~CabinetHolder() {
        if (FCabinet) FDecompressor->close(FDecompressor, FCabinet);
    }
    mscabd_cabinet* Get() const { return FCabinet; }

  private:
    mscab_decompressor* FDecompressor;
    mscabd_cabinet* FCabinet;
};

constexpr uint16_t ifoldCONTINUED_FROM_PREV = 0xFFFD;
constexpr uint16_t ifoldCONTINUED_TO_NEXT = 0xFFFE;
constexpr uint16_t ifoldCONTINUED_PREV_AND_NEXT = 0xFFFF;

uint16_t GetU16(const unsigned char* p) {
    return static_cast<uint16_t>(p[0] | p[1] << 8);
}
uint32_t GetU32(const unsigned char* p) {
    return static_cast<uint32_t>(p[0]) | static_cast<uint32_t>(p[1]) << 8 |
           static_cast<uint32_t>(p[2]) << 16 | static_cast<uint32_t>(p[3]) << 24;
}

// Closes a handle the caller's open callback gave when it goes out of scope.
struct HandleCloser {
    HandleCloser(FDIContext* context, INT_PTR handle) : Context(context), Handle(handle) {}
    FDIContext* Context;
    INT_PTR Handle;
    HandleCloser(const HandleCloser&) = delete;
    HandleCloser& operator=(const HandleCloser&) = delete;
    ~HandleCloser() { Context->Close(Handle); }
};

// libmspack does not tell whether an entry is continued from or into a neighbouring cabinet, so
// for a cabinet of a set the folder index of every entry is read from the entry table itself.
// Entries come in table order in libmspack's list too. False when the table cannot be read.
bool ReadFolderIndexes(FDIContext* context, const char* path, uint16_t count,
                       std::vector<uint16_t>& indexes) {
    INT_PTR handle = context->Open(path, _O_BINARY | _O_RDONLY, _S_IREAD | _S_IWRITE);
    if (handle == -1) return false;
    // Closed on every way out, a failure to allocate the table included.
    const HandleCloser closer{context, handle};
    bool ok = false;
    unsigned char header[36];
    if (context->Read(handle, header, sizeof header) == sizeof header) {
        uint32_t tableOffset = GetU32(header + 16);
        std::vector<unsigned char> table(static_cast<size_t>(count) * (16 + 256));
        if (tableOffset <= static_cast<uint32_t>(std::numeric_limits<int32_t>::max()) &&
            context->Seek(handle, static_cast<int32_t>(tableOffset), MSPACK_SYS_SEEK_START) ==
                static_cast<int32_t>(tableOffset)) {
            uint32_t got = context->Read(handle, table.data(), static_cast<uint32_t>(table.size()));
            if (got <= table.size()) {
                size_t pos = 0;
                ok = true;
                for (uint16_t i = 0; i < count && ok; ++i) {
                    if (pos + 16 >= got) {
                        ok = false;
                        break;
                    }
                    indexes.push_back(GetU16(&table[pos + 8]));
                    const void* end = std::memchr(&table[pos + 16], 0, got - pos - 16);
                    if (!end)
                        ok = false;
                    else
                        pos = static_cast<const unsigned char*>(end) - table.data() + 1;
                }
            }
        }
    }
    return ok;
}

uint16_t DosDate(const mscabd_file* file) {
    return static_cast<uint16_t>((file->date_y - 1980) << 9 | static_cast<unsigned char>(file->date_m) << 5 |
                                 static_cast<unsigned char>(file->date_d));
}

uint16_t DosTime(const mscabd_file* file) {
    return static_cast<uint16_t>(static_cast<unsigned char>(file->time_h) << 11 |
                                 static_cast<unsigned char>(file->time_m) << 5 |
                                 static_cast<unsigned char>(file->time_s) >> 1);
}

const char* OrEmpty(const char* s) {
    return s ? s : "";
}

} // namespace

HFDI FDICreate(PFNALLOC pfnalloc, PFNFREE pfnfree, PFNOPEN pfnopen, PFNREAD pfnread, PFNWRITE pfnwrite,
               PFNCLOSE pfnclose, PFNSEEK pfnseek, int, PERF perf) {
    if (!pfnalloc || !pfnfree || !pfnopen || !pfnread || !pfnwrite || !pfnclose || !pfnseek) {
        if (perf) *perf = ERF{FDIERROR_ALLOC_FAIL, 0, 1};
        return nullptr;
    }
    void* block = pfnalloc(sizeof(FDIContext));
    if (!block) {
        if (perf) *perf = ERF{FDIERROR_ALLOC_FAIL, 0, 1};
        return nullptr;
    }
    auto* context =
        new (block) FDIContext{mspack_system{SysOpen, SysClose, SysRead, SysWrite, SysSeek, SysTell,
                                             SysMessage, SysAlloc, SysFree, SysCopy, nullptr},
                               pfnalloc,
                               pfnfree,
                               pfnopen,
                               pfnread,
                               pfnwrite,
                               pfnclose,
                               pfnseek,
                               perf,
                               nullptr,
                               -1,
                               -1};
    ActiveScope scope(context);
    context->Decompressor = mspack_create_cab_decompressor(&context->System);
    if (!context->Decompressor) {
        SetError(context, FDIERROR_ALLOC_FAIL);
        context->~FDIContext();
        pfnfree(block);
        return nullptr;
    }
    return context;
}

BOOL FDIIsCabinet(HFDI hfdi, INT_PTR hf, PFDICABINETINFO pfdici) {
    auto* context = static_cast<FDIContext*>(hfdi);
    if (!context || !pfdici) return 0;
    ActiveScope scope(context);
    mscab_decompressor* d = context->Decompressor;
    context->BorrowedHandle = hf;
    CabinetHolder cabinet(d, d->open(d, BorrowedCabinetName));
    context->BorrowedHandle = -1;
    if (!cabinet.Get()) {
        int error = d->last_error(d);
        SetError(context, error == MSPACK_ERR_NOMEMORY ? FDIERROR_ALLOC_FAIL : FDIERROR_NOT_A_CABINET);
        return 0;
    }
    const mscabd_cabinet* cab = cabinet.Get();
    FDICABINETINFO info{};
    info.cbCabinet = static_cast<int32_t>(cab->length);
    for (const mscabd_folder* folder = cab->folders; folder; folder = folder->next)
        ++info.cFolders;
    for (const mscabd_file* file = cab->files; file; file = file->next)
        ++info.cFiles;
    info.setID = cab->set_id;
    info.iCabinet = cab->set_index;
    info.fReserve = (cab->flags & MSCAB_HDR_RESV) != 0;
    info.hasprev = (cab->flags & MSCAB_HDR_PREVCAB) != 0;
    info.hasnext = (cab->flags & MSCAB_HDR_NEXTCAB) != 0;
    *pfdici = info;
    return 1;
}

BOOL FDICopy(HFDI hfdi, const char* pszCabinet, const char* pszCabPath, int, PFNFDINOTIFY pfnfdin,
             PFNFDIDECRYPT, void* pvUser) {
    auto* context = static_cast<FDIContext*>(hfdi);
    if (!context) return 0;
    if (!pfnfdin || !pszCabinet || !pszCabPath) {
        SetError(context, FDIERROR_NONE);
        return 0;
    }
    ActiveScope scope(context);
    mscab_decompressor* d = context->Decompressor;
    const std::string path = std::string(pszCabPath) + pszCabinet; // libmspack keeps this pointer
    CabinetHolder cabinet(d, d->open(d, path.c_str()));
    if (!cabinet.Get()) {
        SetError(context, MapError(d->last_error(d)));
        return 0;
    }
    const mscabd_cabinet* cab = cabinet.Get();
    uint16_t fileCount = 0;
    for (const mscabd_file* file = cab->files; file; file = file->next)
        ++fileCount;
    std::vector<uint16_t> folderIndexes;
    if ((cab->flags & (MSCAB_HDR_PREVCAB | MSCAB_HDR_NEXTCAB)) &&
        (!ReadFolderIndexes(context, path.c_str(), fileCount, folderIndexes) ||
         folderIndexes.size() != fileCount)) {
        SetError(context, FDIERROR_CORRUPT_CABINET);
        return 0;
    }

    FDINOTIFICATION info{};
    info.psz1 = OrEmpty(cab->nextname);
    info.psz2 = OrEmpty(cab->nextinfo);
    info.psz3 = pszCabPath;
    info.pv = pvUser;
    info.setID = cab->set_id;
    info.iCabinet = cab->set_index;
    if (pfnfdin(fdintCABINET_INFO, &info) == -1) {
        SetError(context, FDIERROR_USER_ABORT);
        return 0;
    }

    uint16_t index = 0;
    for (const mscabd_file* file = cab->files; file; file = file->next, ++index) {
        const uint16_t folderIndex = folderIndexes.empty() ? 0 : folderIndexes[index];
        if (folderIndex == ifoldCONTINUED_FROM_PREV || folderIndex == ifoldCONTINUED_PREV_AND_NEXT) {
            FDINOTIFICATION partial{};
            partial.psz1 = file->filename;
            partial.psz2 = OrEmpty(cab->prevname);
            partial.psz3 = OrEmpty(cab->previnfo);
            partial.pv = pvUser;
            if (pfnfdin(fdintPARTIAL_FILE, &partial) == -1) {
                SetError(context, FDIERROR_USER_ABORT);
                return 0;
            }
            continue;
        }
        if (folderIndex == ifoldCONTINUED_TO_NEXT) {
            // The set is never followed: the caller is asked for the next cabinet before the file
            // that needs it, while nothing of that file is open yet.
            FDINOTIFICATION next{};
            next.psz1 = OrEmpty(cab->nextname);
            next.psz2 = OrEmpty(cab->nextinfo);
            next.psz3 = pszCabPath;
            next.pv = pvUser;
            next.fdie = FDIERROR_NONE;
            SetError(context,
                     pfnfdin(fdintNEXT_CABINET, &next) == -1 ? FDIERROR_USER_ABORT : FDIERROR_WRONG_CABINET);
            return 0;
        }

        FDINOTIFICATION copy{};
        copy.psz1 = file->filename;
        copy.cb = static_cast<int32_t>(file->length);
        copy.date = DosDate(file);
        copy.time = DosTime(file);
        copy.attribs = static_cast<uint16_t>(file->attribs);
        copy.pv = pvUser;
        copy.iFolder = folderIndex;
        const INT_PTR target = pfnfdin(fdintCOPY_FILE, &copy);
        if (target == 0) continue;
        if (target == -1) {
            SetError(context, FDIERROR_USER_ABORT);
            return 0;
        }
        if (MSCABD_COMP_METHOD(file->folder->comp_type) > MSCAB_COMP_LZX) {
            context->Close(target);
            SetError(context, FDIERROR_BAD_COMPR_TYPE);
            return 0;
        }
        context->TargetHandle = target;
        const int error = d->extract(d, const_cast<mscabd_file*>(file), TargetFileName);
        context->TargetHandle = -1;
        if (error != MSPACK_ERR_OK) {
            context->Close(target);
            SetError(context, MapError(error));
            return 0;
        }

        FDINOTIFICATION close{};
        close.psz1 = file->filename;
        close.hf = target;
        close.date = copy.date;
        close.time = copy.time;
        close.attribs = copy.attribs;
        close.cb = (copy.attribs & _A_EXEC) ? 1 : 0;
        close.pv = pvUser;
        const INT_PTR closed = pfnfdin(fdintCLOSE_FILE_INFO, &close);
        if (closed == -1 || closed == 0) {
            SetError(context, closed == -1 ? FDIERROR_USER_ABORT : FDIERROR_TARGET_FILE);
            return 0;
        }
    }
    return 1;
}

BOOL FDIDestroy(HFDI hfdi) {
    auto* context = static_cast<FDIContext*>(hfdi);
    if (!context) return 0;
    {
        ActiveScope scope(context);
        mspack_destroy_cab_decompressor(context->Decompressor);
    }
    PFNFREE free = context->Free;
    context->~FDIContext();
    free(context);
    return 1;
}
