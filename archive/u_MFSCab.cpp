#include "u_MFSCab.h"

#include "CabConsts.h"
#include "u_MFS.h"
#include "u_Text.h"

#include <algorithm>
#include <cstdlib>
#include <limits>
#include <memory>

std::mutex CabinetLock;
TMFSCabReader* CurrentCabReader = nullptr;

std::string FDIErrorText(int32_t code) {
    constexpr int32_t count = sizeof SCabFDIErrorTexts / sizeof SCabFDIErrorTexts[0];
    return code >= 0 && code < count ? SCabFDIErrorTexts[code] : SCabFDIError;
}

namespace {

std::string SystemErrorMessage(const ERF& error, const std::string& lastExceptionMessage) {
    if (!error.fError) return SCabFDIError;
    std::string message =
        FDIErrorText(error.erfOper) + Format(" [0x%.4X]", static_cast<unsigned>(error.erfOper));
    if (error.erfType != 0) message += ".\r\n" + lastExceptionMessage;
    return message;
}

// Holds CabinetLock and names the reader as the current one until it goes out of scope.
class CurrentReaderScope {
  public:
    explicit CurrentReaderScope(TMFSCabReader* reader) : FLock(CabinetLock) { CurrentCabReader = reader; }
    CurrentReaderScope(const CurrentReaderScope&) = delete;
    CurrentReaderScope& operator=(const CurrentReaderScope&) = delete;
    ~CurrentReaderScope() { CurrentCabReader = nullptr; }

  private:
    std::lock_guard<std::mutex> FLock;
};

TMFSFileStream* StreamOf(INT_PTR handle) {
    return reinterpret_cast<TMFSFileStream*>(handle);
}

// Runs a file callback's action for the current reader: success clears CallbackError, any
// exception is kept as the reader's last message and answered with -1.
template <class Result, class Action> Result Guarded(Result failure, Action action) {
    TMFSCabReader* reader = CurrentCabReader;
    if (!reader) return failure;
    try {
        Result result = action(*reader);
        reader->CallbackError = 0;
        return result;
    } catch (...) {
        reader->LastExceptionMessage = ExceptionMessageText();
        reader->CallbackError = -1;
        return failure;
    }
}

std::unique_ptr<TMFSFileStream> OpenStream(TMFSCabReader& reader, std::string_view fileName, int openFlags) {
    auto stream = reader.Session->CreateFileStream(fileName, CabOpenDisposition(openFlags),
                                                   CabOpenStreamFlags(openFlags));
    if (openFlags & _O_APPEND) stream->Seek(0, soFromEnd);
    return stream;
}

} // namespace

EMFSCabSystemError::EMFSCabSystemError(const ERF& error, const std::string& lastExceptionMessage)
    : EMFSCabError(SystemErrorMessage(error, lastExceptionMessage)), ErfOper(error.erfOper),
      ErfType(error.erfType), FError(error.fError != 0) {}

int CabOpenDisposition(int openFlags) {
    if ((openFlags & _O_EXCL) && (openFlags & _O_CREAT)) return CREATE_NEW;
    if ((openFlags & _O_TRUNC) && (openFlags & _O_CREAT)) return CREATE_ALWAYS;
    if (openFlags & _O_TRUNC) return TRUNCATE_EXISTING;
    if (openFlags & _O_CREAT) return OPEN_ALWAYS;
    return OPEN_EXISTING;
}

uint32_t CabOpenStreamFlags(int openFlags) {
    uint32_t flags = (openFlags & _O_SHORT_LIVED) && (openFlags & _O_CREAT) ? 0x100 : 0x80;
    if (openFlags & _O_RANDOM) flags += 0x10000000;
    if (openFlags & _O_SEQUENTIAL) flags += 0x08000000;
    if ((openFlags & _O_TEMPORARY) && (openFlags & _O_CREAT)) flags += FILE_FLAG_DELETE_ON_CLOSE;
    return flags;
}

void* CabAlloc(uint32_t size) {
    return std::calloc(size ? size : 1, 1);
}

void CabFree(void* block) {
    std::free(block);
}

INT_PTR CabOpen(const char* fileName, int openFlags, int) {
    return Guarded<INT_PTR>(-1, [&](TMFSCabReader& reader) {
        return reinterpret_cast<INT_PTR>(OpenStream(reader, fileName, openFlags).release());
    });
}

uint32_t CabRead(INT_PTR handle, void* buffer, uint32_t count) {
    return Guarded<uint32_t>(static_cast<uint32_t>(-1), [&](TMFSCabReader&) {
        const auto n = static_cast<int32_t>(std::min<uint32_t>(count, std::numeric_limits<int32_t>::max()));
        return static_cast<uint32_t>(StreamOf(handle)->Read(buffer, n));
    });
}

uint32_t CabWrite(INT_PTR handle, void* buffer, uint32_t count) {
    return Guarded<uint32_t>(static_cast<uint32_t>(-1), [&](TMFSCabReader&) {
        const auto n = static_cast<int32_t>(std::min<uint32_t>(count, std::numeric_limits<int32_t>::max()));
        return static_cast<uint32_t>(StreamOf(handle)->Write(buffer, n));
    });
}

int CabClose(INT_PTR handle) {
    return Guarded<int>(-1, [&](TMFSCabReader&) {
        if (handle != -1) std::unique_ptr<TMFSFileStream>(StreamOf(handle)).reset();
        return 0;
    });
}

int32_t CabSeek(INT_PTR handle, int32_t distance, int origin) {
    return Guarded<int32_t>(
        -1, [&](TMFSCabReader&) { return static_cast<int32_t>(StreamOf(handle)->Seek(distance, origin)); });
}

INT_PTR CabNotify(FDINOTIFICATIONTYPE type, PFDINOTIFICATION notification) {
    auto* reader = static_cast<TMFSCabReader*>(notification->pv);
    reader->CallbackError = 0;
    try {
        switch (type) {
        case fdintPARTIAL_FILE:
        case fdintNEXT_CABINET:
            throw EMFSCabReaderError(SCabSpannedUnsupported);
        case fdintCOPY_FILE: {
            if (!AnsiSameText(notification->psz1, reader->FWantedName)) return 0;
            reader->Session->ForceFolders(TMFS::ExtractFilePath(reader->FDestinationPath));
            // Truncated on open: an existing longer file must not keep its old tail behind the
            // extracted bytes. The stream is this function's until it is handed to the library,
            // so a failure before that closes it.
            std::unique_ptr<TMFSFileStream> stream =
                OpenStream(*reader, reader->FDestinationPath,
                           _O_BINARY | _O_CREAT | _O_TRUNC | _O_WRONLY | _O_SEQUENTIAL);
            // The entry's size is known: reserve it once instead of growing the bytes while they
            // arrive. The size is a claim of the cabinet's header, though, and a damaged one must
            // not reserve gigabytes: the reservation is capped at a multiple of the cabinet's real
            // bytes that pages compressed in a cabinet stay well within (prose packs to about a
            // third, markup to a sixth or so). An entry beyond the cap grows as it arrives.
            constexpr uint64_t MaxExpansion = 16;
            const uint64_t claimed = static_cast<uint32_t>(notification->cb);
            const uint64_t cabinetBytes = reader->Session->GetFile(reader->CabinetPath)->Data.size();
            stream->File()->Data.reserve(std::min(claimed, cabinetBytes * MaxExpansion));
            return reinterpret_cast<INT_PTR>(stream.release());
        }
        case fdintCLOSE_FILE_INFO: {
            std::unique_ptr<TMFSFileStream> stream(StreamOf(notification->hf));
            TMFSFile* file = stream->File();
            file->DateTime = static_cast<uint32_t>(notification->date) << 16 | notification->time;
            file->Attributes = notification->attribs & 0x3F;
            stream.reset();
            return 1;
        }
        default:
            return 0;
        }
    } catch (...) {
        reader->LastExceptionMessage = ExceptionMessageText();
        reader->CallbackError = -1;
        return -1;
    }
}

TMFSCabReader::TMFSCabReader(TMFSSession* session, std::string_view cabinetPath) : TMFSCabBase(session) {
    CabinetPath = Session->ExpandFileName(cabinetPath);
    CurrentReaderScope scope(this);
    try {
        FContext = FDICreate(CabAlloc, CabFree, CabOpen, CabRead, CabWrite, CabClose, CabSeek, cpuUNKNOWN,
                             &ErrorRecord);
        if (!FContext) CheckResult(false);
        CheckCabinet(cabinetPath);
    } catch (...) {
        DestroyContext();
        throw;
    }
}

TMFSCabReader::~TMFSCabReader() {
    CurrentReaderScope scope(this);
    DestroyContext();
}

void TMFSCabReader::DestroyContext() noexcept {
    // Releasing the decompression context cannot fail here, so there is no error to report.
    if (FContext) FDIDestroy(FContext);
    FContext = nullptr;
}

void TMFSCabReader::CheckCabinet(std::string_view cabinetPathAsGiven) {
    std::unique_ptr<TMFSFileStream> stream = OpenStream(*this, CabinetPath, _O_BINARY);
    FDICABINETINFO info{};
    const bool isCabinet = FDIIsCabinet(FContext, reinterpret_cast<INT_PTR>(stream.get()), &info) != 0;
    stream.reset();
    if (!isCabinet)
        throw EMFSCabReaderError(Format(SCabNotACabinet, std::string(cabinetPathAsGiven).c_str()));
    CabinetSize = static_cast<uint32_t>(info.cbCabinet);
    FileCount = info.cFiles;
}

void TMFSCabReader::CheckResult(bool ok) {
    if (ok) return;
    ErrorRecord.erfType = CallbackError;
    throw EMFSCabSystemError(ErrorRecord, LastExceptionMessage);
}

void TMFSCabReader::Extract(std::string_view nameInCabinet, std::string_view destinationPath) {
    CurrentReaderScope scope(this);
    FWantedName = nameInCabinet;
    FDestinationPath = Session->ExpandFileName(destinationPath);
    const std::string name = TMFS::ExtractFileName(CabinetPath);
    const std::string folder = TMFS::ExtractFilePath(CabinetPath);
    CheckResult(FDICopy(FContext, name.c_str(), folder.c_str(), 0, CabNotify, nullptr, this) != 0);
}
