// The cabinet reader: extracts one named file of a cabinet that lives in an archive into the same
// archive, through the cabinet library's callbacks working on archive file streams.
//
// The library's file callbacks carry no context, so every call into the library runs with
// CabinetLock held and CurrentCabReader naming the reader it serves. The callbacks never let an
// exception into the library: they keep its message in LastExceptionMessage, set CallbackError to
// -1 and answer -1, and the failed library call then raises EMFSCabSystemError with that message.
#pragma once

#include "CabIntf.h"
#include "u_SysUtils.h"

#include <cstdint>
#include <mutex>
#include <string>
#include <string_view>

class TMFSSession;

TV_DECLARE_EXCEPTION(EMFSCabError, Exception);
TV_DECLARE_EXCEPTION(EMFSCabReaderError, EMFSCabError);

// A failed cabinet-library call, described by the library's error record.
class EMFSCabSystemError : public EMFSCabError {
  public:
    EMFSCabSystemError(const ERF& error, const std::string& lastExceptionMessage);

    int32_t ErfOper;
    int32_t ErfType;
    bool FError;
};

// The text of an FDI error code ("FDI error" for a code it does not know).
std::string FDIErrorText(int32_t code);

class TMFSCabBase {
  public:
    explicit TMFSCabBase(TMFSSession* session) : Session(session) {}
    TMFSCabBase(const TMFSCabBase&) = delete;
    TMFSCabBase& operator=(const TMFSCabBase&) = delete;
    virtual ~TMFSCabBase() = default;

    TMFSSession* Session;
    ERF ErrorRecord{};
    std::string LastExceptionMessage;
    std::string CabinetPath; // absolute in the session's archive
};

class TMFSCabReader : public TMFSCabBase {
  public:
    // Opens the decompression context and checks that the file at cabinetPath is a cabinet
    // (EMFSCabReaderError "File \"...\" is not a cabinet" otherwise, with the path as given).
    TMFSCabReader(TMFSSession* session, std::string_view cabinetPath);
    ~TMFSCabReader() override;

    // Copies the entry named nameInCabinet (compared ignoring case) to destinationPath, creating
    // its folders. An absent entry leaves the archive as it was and is no error here.
    void Extract(std::string_view nameInCabinet, std::string_view destinationPath);

    int32_t CallbackError = 0; // 0 or -1, the outcome of the last file callback
    uint32_t CabinetSize = 0;
    uint16_t FileCount = 0;

  private:
    friend INT_PTR CabNotify(FDINOTIFICATIONTYPE type, PFDINOTIFICATION notification);

    void CheckCabinet(std::string_view cabinetPathAsGiven);
    // Raises EMFSCabSystemError for a failed library call.
    void CheckResult(bool ok);
    void DestroyContext() noexcept;

    HFDI FContext = nullptr;
    std::string FWantedName;
    std::string FDestinationPath;
};

// Serialises every call into the cabinet library.
extern std::mutex CabinetLock;
// The reader whose library call is in progress (only while CabinetLock is held).
extern TMFSCabReader* CurrentCabReader;

// The callbacks given to the cabinet library. File handles are TMFSFileStream objects that the
// handle owns; -1 is the failure handle.
void* CabAlloc(uint32_t size);
void CabFree(void* block);
INT_PTR CabOpen(const char* fileName, int openFlags, int permissionMode);
uint32_t CabRead(INT_PTR handle, void* buffer, uint32_t count);
uint32_t CabWrite(INT_PTR handle, void* buffer, uint32_t count);
int CabClose(INT_PTR handle);
int32_t CabSeek(INT_PTR handle, int32_t distance, int origin);
INT_PTR CabNotify(FDINOTIFICATIONTYPE type, PFDINOTIFICATION notification);

// C runtime open flags as a session's create disposition and as CreateFileStream flags.
int CabOpenDisposition(int openFlags);
uint32_t CabOpenStreamFlags(int openFlags);
