// File tails from arbitrary input: every resource the trailer reader lists maps to exactly the
// bytes that reading it gives, and those are the file's own bytes at the entry's place.
#include "u_Resources.h"

#include <cstdint>
#include <cstdlib>
#include <string>
#include <sys/mman.h>
#include <system_error>
#include <unistd.h>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    // A program part in front (not a whole page, so that resources start anywhere in a page),
    // then the fuzzed tail, in an in-memory file.
    const int fd = memfd_create("resources", 0);
    if (fd < 0) return 0;
    std::string contents(100, 'P');
    contents.append(reinterpret_cast<const char*>(data), size);
    if (write(fd, contents.data(), contents.size()) != static_cast<ssize_t>(contents.size())) {
        close(fd);
        return 0;
    }
    try {
        TResourceFile file("/proc/self/fd/" + std::to_string(fd));
        for (const TResourceEntry& entry : file.Entries()) {
            // Entries of equal type and name: the lookup finds the first, so compare with that one.
            const TResourceEntry* found = file.Find(entry.Type, entry.Name);
            if (!found || found->Offset > contents.size() || found->Size > contents.size() - found->Offset)
                std::abort();
            const std::string read = file.Load(entry.Type, entry.Name);
            const TByteString mapped = file.Map(entry.Type, entry.Name);
            if (mapped.View() != read) std::abort();
            if (read != std::string_view(contents).substr(found->Offset, found->Size)) std::abort();
        }
    } catch (const std::system_error&) {
    }
    close(fd);
    return 0;
}
