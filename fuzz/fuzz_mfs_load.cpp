// Archive images from arbitrary bytes: loading either fails with the archive's own errors or
// gives a tree that can be walked, saved and loaded again to the same tree.
#include "u_MFS.h"

#include <cstdint>
#include <cstdlib>
#include <string_view>

namespace {

bool Reachable(const std::string& name) {
    return !name.empty() && name != "." && name != ".." && name.find_first_of("\\/") == std::string::npos;
}

// Walks the tree; where every name on the way can be written in a path, the path finds the file.
size_t Walk(TMFSFolder* folder, TMFSSession* session, const std::string& path, bool reachable) {
    size_t bytes = 0;
    folder->Children.ForEach([&](const std::string& name, TMFSItem* child) {
        if (child->Parent != folder || child->Owner != folder->Owner) std::abort();
        if (auto* sub = dynamic_cast<TMFSFolder*>(child)) {
            bytes += Walk(sub, session, path + name + "\\", reachable && Reachable(name));
        } else if (auto* file = dynamic_cast<TMFSFile*>(child)) {
            bytes += file->Data.size();
            // A name reachable by a path finds the same file.
            if (reachable && Reachable(name)) {
                try {
                    if (session->GetFile(path + name) != file) std::abort();
                } catch (const Exception&) {
                    std::abort();
                }
            }
        }
    });
    return bytes;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    TMFS mfs;
    try {
        mfs.LoadFromString(std::string_view(reinterpret_cast<const char*>(data), size));
    } catch (const EMFSError&) {
    } catch (const EReadError&) {
    }
    // Whatever was loaded, complete or not, is a sound tree.
    Walk(mfs.Root(), mfs.Session(), "\\", true);
    const std::string saved = mfs.SaveToString();
    TMFS again;
    again.LoadFromString(saved); // a saved image always loads
    if (again.SaveToString() != saved) std::abort();
    return 0;
}
