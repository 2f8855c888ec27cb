#include "u_Resources.h"
#include "u_Text.h"

#include <cerrno>
#include <cstring>
#include <memory>
#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <system_error>
#include <unistd.h>

namespace {

[[noreturn]] void ThrowErrno(const std::string& what) {
    throw std::system_error(errno, std::generic_category(), what);
}

// Reads little-endian values from a block, refusing to run past its end.
class Reader {
  public:
    explicit Reader(std::string_view data) : FData(data) {}
    bool U32(uint32_t& v) {
        if (FData.size() - FPos < 4) return false;
        v = 0;
        for (int i = 3; i >= 0; --i)
            v = v << 8 | static_cast<unsigned char>(FData[FPos + i]);
        FPos += 4;
        return true;
    }
    bool U64(uint64_t& v) {
        if (FData.size() - FPos < 8) return false;
        v = 0;
        for (int i = 7; i >= 0; --i)
            v = v << 8 | static_cast<unsigned char>(FData[FPos + i]);
        FPos += 8;
        return true;
    }
    bool Text(std::string& s) {
        uint32_t length = 0;
        if (!U32(length) || FData.size() - FPos < length) return false;
        s.assign(FData.substr(FPos, length));
        FPos += length;
        return true;
    }
    bool AtEnd() const { return FPos == FData.size(); }

  private:
    std::string_view FData;
    size_t FPos = 0;
};

// Reads exactly size bytes at offset; false at the end of the file, an exception on an error.
bool ReadAt(int handle, uint64_t offset, uint64_t size, std::string& out) {
    out.resize(size);
    uint64_t done = 0;
    while (done < size) {
        ssize_t n = pread(handle, out.data() + done, size - done, static_cast<off_t>(offset + done));
        if (n < 0) {
            if (errno == EINTR) continue;
            ThrowErrno("read");
        }
        if (n == 0) return false;
        done += static_cast<uint64_t>(n);
    }
    return true;
}

} // namespace

TResourceFile::TResourceFile(const std::string& path) {
    FHandle = open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (FHandle < 0) ThrowErrno(path);
    struct stat st {};
    if (fstat(FHandle, &st) != 0) {
        int error = errno;
        close(FHandle);
        throw std::system_error(error, std::generic_category(), path);
    }
    const auto fileSize = static_cast<uint64_t>(st.st_size);
    FProgramSize = fileSize;
    std::string trailer;
    try {
        if (fileSize < ResourceTrailerSize ||
            !ReadAt(FHandle, fileSize - ResourceTrailerSize, ResourceTrailerSize, trailer))
            return;
    } catch (...) {
        close(FHandle);
        throw;
    }
    if (std::memcmp(trailer.data(), ResourceTrailerMagic, sizeof ResourceTrailerMagic) != 0) return;
    uint64_t start = 0, directoryOffset = 0, directorySize = 0;
    Reader fields(std::string_view(trailer).substr(sizeof ResourceTrailerMagic));
    fields.U64(start);
    fields.U64(directoryOffset);
    fields.U64(directorySize);
    const uint64_t end = fileSize - ResourceTrailerSize;
    if (start > directoryOffset || directoryOffset > end || directorySize != end - directoryOffset) return;
    std::string directory;
    try {
        if (!ReadAt(FHandle, directoryOffset, directorySize, directory)) return;
    } catch (...) {
        close(FHandle);
        throw;
    }
    Reader reader(directory);
    uint32_t count = 0;
    if (!reader.U32(count)) return;
    std::vector<TResourceEntry> entries;
    for (uint32_t i = 0; i < count; ++i) {
        TResourceEntry entry;
        if (!reader.Text(entry.Type) || !reader.Text(entry.Name) || !reader.U64(entry.Offset) ||
            !reader.U64(entry.Size))
            return;
        if (entry.Offset < start || entry.Offset > directoryOffset ||
            entry.Size > directoryOffset - entry.Offset)
            return;
        entries.push_back(std::move(entry));
    }
    if (!reader.AtEnd()) return;
    FEntries = std::move(entries);
    FProgramSize = start;
}

TResourceFile::~TResourceFile() {
    if (FHandle >= 0) close(FHandle);
}

const TResourceEntry* TResourceFile::Find(std::string_view type, std::string_view name) const {
    for (const TResourceEntry& entry : FEntries)
        if (AsciiSameText(entry.Type, type) && AsciiSameText(entry.Name, name)) return &entry;
    return nullptr;
}

std::string TResourceFile::Load(std::string_view type, std::string_view name) const {
    const TResourceEntry* entry = Find(type, name);
    if (!entry) return {};
    std::string data;
    // The directory was checked against the file's size; a file that shrank since reads short.
    if (!ReadAt(FHandle, entry->Offset, entry->Size, data)) {
        errno = EIO;
        ThrowErrno("read");
    }
    return data;
}

TByteString TResourceFile::Map(std::string_view type, std::string_view name) const {
    const TResourceEntry* entry = Find(type, name);
    if (!entry || entry->Size == 0) return {};
    const uint64_t page = static_cast<uint64_t>(sysconf(_SC_PAGESIZE));
    const uint64_t start = entry->Offset / page * page;
    const size_t length = static_cast<size_t>(entry->Offset + entry->Size - start);
    // Populated at once: the pages are in the file cache, and mapping them in one call is
    // cheaper than a fault per page while the cabinet is read.
    void* mapped =
        mmap(nullptr, length, PROT_READ, MAP_PRIVATE | MAP_POPULATE, FHandle, static_cast<off_t>(start));
    if (mapped == MAP_FAILED) return Load(type, name);
    std::shared_ptr<const void> owner(mapped, [length](const void* p) { munmap(const_cast<void*>(p), length); });
    const char* bytes = static_cast<const char*>(mapped) + (entry->Offset - start);
    return TByteString(std::move(owner), std::string_view(bytes, static_cast<size_t>(entry->Size)));
}
