// Cabinet bytes from arbitrary input: loading an archive from them either succeeds or fails with
// the cabinet reader's, the session's or the archive's own errors.
#include "u_Loader.h"
#include "u_MFS.h"
#include "u_MFSCab.h"

#include <cstdint>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    TMFS target;
    try {
        LoadArchiveFromCabinet(target, std::string(reinterpret_cast<const char*>(data), size));
    } catch (const Exception&) {
        // EMFSCabError and its kinds, EMFSError, EReadError: what a damaged book reports.
    }
    target.SaveToString();
    return 0;
}
