// File tails from arbitrary input: the resource trailer reader finds no resources or only
// resources that lie inside the file, and reading them gives exactly their bytes.
#include "u_Resources.h"

#include <cstdint>
#include <cstdlib>
#include <string>
#include <sys/mman.h>
#include <system_error>
#include <unistd.h>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    // A program part in front, then the fuzzed tail, in an in-memory file.
    const int fd = memfd_create("resources", 0);
    if (fd < 0) return 0;
    const std::string program(64, 'P');
    if (write(fd, program.data(), program.size()) != static_cast<ssize_t>(program.size()) ||
        (size > 0 && write(fd, data, size) != static_cast<ssize_t>(size))) {
        close(fd);
        return 0;
    }
    const uint64_t fileSize = program.size() + size;
    try {
        TResourceFile file("/proc/self/fd/" + std::to_string(fd));
        if (file.ProgramSize() > fileSize) std::abort();
        for (const TResourceEntry& entry : file.Entries()) {
            if (entry.Offset > fileSize || entry.Size > fileSize - entry.Offset) std::abort();
            if (file.Load(entry.Type, entry.Name).size() > entry.Size) std::abort();
        }
        file.Load("RCDATA", "SYSTEM_MFS");
    } catch (const std::system_error&) {
    }
    close(fd);
    return 0;
}
