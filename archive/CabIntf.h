// The cabinet library's decompression interface (FDI): four entry points, their records, the file
// and notification callbacks, the C runtime open flags the callbacks receive and the error codes.
//
// The entry points are implemented over libmspack's cabinet decompressor. Its I/O table calls the
// callbacks given to FDICreate, so the caller decides where cabinets are read from and where
// extracted files go; nothing here touches the disk by itself. No libmspack type appears in this
// header.
//
// Limits: cabinet sets are recognised but never followed. A file continued from a previous cabinet
// is announced with fdintPARTIAL_FILE and skipped; a file continued in the next cabinet makes
// FDICopy ask for that cabinet with fdintNEXT_CABINET and, unless the caller aborts there, fail
// with FDIERROR_WRONG_CABINET. The decryption callback and the copy flags are accepted and unused.
#pragma once

#include <cstdint>

using BOOL = int32_t;
using INT_PTR = intptr_t;
using HFDI = void*;

// Error record filled by every entry point that fails.
struct ERF {
    int32_t erfOper; // an FDIERROR code
    int32_t erfType; // extra information; the caller may use it for its own callback error
    BOOL fError;     // true when the record reports an error
};
using PERF = ERF*;

enum FDIERROR : int32_t {
    FDIERROR_NONE = 0,
    FDIERROR_CABINET_NOT_FOUND = 1,
    FDIERROR_NOT_A_CABINET = 2,
    FDIERROR_UNKNOWN_CABINET_VERSION = 3,
    FDIERROR_CORRUPT_CABINET = 4,
    FDIERROR_ALLOC_FAIL = 5,
    FDIERROR_BAD_COMPR_TYPE = 6,
    FDIERROR_MDI_FAIL = 7,
    FDIERROR_TARGET_FILE = 8,
    FDIERROR_RESERVE_MISMATCH = 9,
    FDIERROR_WRONG_CABINET = 10,
    FDIERROR_USER_ABORT = 11,
};

// What FDIIsCabinet reports about a cabinet.
struct FDICABINETINFO {
    int32_t cbCabinet; // total length of the cabinet in bytes
    uint16_t cFolders;
    uint16_t cFiles;
    uint16_t setID;    // identical for all cabinets of a set
    uint16_t iCabinet; // position in its set, from 0
    BOOL fReserve;     // the header carries reserved space
    BOOL hasprev;      // a previous cabinet of the set exists
    BOOL hasnext;      // a next cabinet of the set exists
};
using PFDICABINETINFO = FDICABINETINFO*;

enum FDINOTIFICATIONTYPE : int32_t {
    fdintCABINET_INFO = 0,    // psz1 next cabinet, psz2 next disk, psz3 cabinet path
    fdintPARTIAL_FILE = 1,    // psz1 file, psz2 previous cabinet, psz3 previous disk
    fdintCOPY_FILE = 2,       // psz1 file, cb size, date, time, attribs; answer 0 skip, -1 abort, or a handle
    fdintCLOSE_FILE_INFO = 3, // psz1 file, hf, date, time, attribs, cb run-after-extract; answer TRUE
    fdintNEXT_CABINET = 4,    // psz1 next cabinet, psz2 next disk, psz3 cabinet path
    fdintENUMERATE = 5,
};

struct FDINOTIFICATION {
    int32_t cb;
    const char* psz1;
    const char* psz2;
    const char* psz3;
    void* pv; // the user value given to FDICopy
    INT_PTR hf;
    uint16_t date; // DOS date of the entry
    uint16_t time; // DOS time of the entry
    uint16_t attribs;
    uint16_t setID;
    uint16_t iCabinet;
    uint16_t iFolder;
    FDIERROR fdie;
};
using PFDINOTIFICATION = FDINOTIFICATION*;

struct FDIDECRYPT;

// Callbacks. File handles are the caller's own values; -1 is the failure handle and the failure
// result of read, write, close and seek.
using PFNALLOC = void* (*)(uint32_t cb);
using PFNFREE = void (*)(void* pv);
using PFNOPEN = INT_PTR (*)(const char* pszFile, int oflag, int pmode);
using PFNREAD = uint32_t (*)(INT_PTR hf, void* pv, uint32_t cb);
using PFNWRITE = uint32_t (*)(INT_PTR hf, void* pv, uint32_t cb);
using PFNCLOSE = int (*)(INT_PTR hf);
using PFNSEEK = int32_t (*)(INT_PTR hf, int32_t dist, int seektype);
using PFNFDINOTIFY = INT_PTR (*)(FDINOTIFICATIONTYPE fdint, PFDINOTIFICATION pfdin);
using PFNFDIDECRYPT = int (*)(FDIDECRYPT* pfdid);

// C runtime open flags as the open callback receives them.
inline constexpr int _O_RDONLY = 0x0000;
inline constexpr int _O_WRONLY = 0x0001;
inline constexpr int _O_RDWR = 0x0002;
inline constexpr int _O_APPEND = 0x0008;
inline constexpr int _O_RANDOM = 0x0010;
inline constexpr int _O_SEQUENTIAL = 0x0020;
inline constexpr int _O_TEMPORARY = 0x0040;
inline constexpr int _O_NOINHERIT = 0x0080;
inline constexpr int _O_CREAT = 0x0100;
inline constexpr int _O_TRUNC = 0x0200;
inline constexpr int _O_EXCL = 0x0400;
inline constexpr int _O_SHORT_LIVED = 0x1000;
inline constexpr int _O_TEXT = 0x4000;
inline constexpr int _O_BINARY = 0x8000;
// Permission modes.
inline constexpr int _S_IWRITE = 0x0080;
inline constexpr int _S_IREAD = 0x0100;
// Attribute bit of an entry that is to be run after extraction.
inline constexpr uint16_t _A_EXEC = 0x40;

inline constexpr int cpuUNKNOWN = -1;

// A decompression context over the callbacks, or nullptr with perf filled (out of memory).
HFDI FDICreate(PFNALLOC pfnalloc, PFNFREE pfnfree, PFNOPEN pfnopen, PFNREAD pfnread, PFNWRITE pfnwrite,
               PFNCLOSE pfnclose, PFNSEEK pfnseek, int cpuType, PERF perf);
// True when the open file hf (read from its start) is a cabinet; then pfdici describes it. The
// handle stays open.
BOOL FDIIsCabinet(HFDI hfdi, INT_PTR hf, PFDICABINETINFO pfdici);
// Opens the cabinet pszCabPath + pszCabinet through the open callback and offers every file to
// pfnfdin; the files it answers with a handle are decompressed into that handle and handed back
// with fdintCLOSE_FILE_INFO. False on failure, with the context's error record filled.
BOOL FDICopy(HFDI hfdi, const char* pszCabinet, const char* pszCabPath, int flags, PFNFDINOTIFY pfnfdin,
             PFNFDIDECRYPT pfnfdid, void* pvUser);
BOOL FDIDestroy(HFDI hfdi);
