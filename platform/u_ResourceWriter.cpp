#include "u_ResourceWriter.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fstream>
#include <sys/stat.h>
#include <system_error>
#include <unistd.h>

namespace {

void PutU32(std::string& out, uint32_t v) {
    for (int i = 0; i < 4; ++i)
        out += static_cast<char>(v >> (8 * i) & 0xFF);
}
void PutU64(std::string& out, uint64_t v) {
    for (int i = 0; i < 8; ++i)
        out += static_cast<char>(v >> (8 * i) & 0xFF);
}

// "what \"path\": reason" for the error errno holds.
[[noreturn]] void ThrowWriteError(const char* what, const std::string& path) {
    const int error = errno;
    throw EResourceWriteError(std::string(what) + " \"" + path + "\": " + std::strerror(error));
}

// A file written beside its target under a unique name and renamed over it once complete, so that
// the target never exists half written. Removed unless committed.
class TempFile {
  public:
    explicit TempFile(const std::string& target) : FPath(target + ".XXXXXX") {
        FHandle = mkstemp(FPath.data());
        if (FHandle < 0) ThrowWriteError("Cannot create", FPath);
    }
    TempFile(const TempFile&) = delete;
    TempFile& operator=(const TempFile&) = delete;
    ~TempFile() {
        if (FHandle >= 0) close(FHandle);
        if (!FKept) unlink(FPath.c_str());
    }
    void Write(const char* data, size_t size) {
        while (size > 0) {
            ssize_t n = write(FHandle, data, size);
            if (n < 0 && errno == EINTR) continue;
            if (n < 0) ThrowWriteError("Cannot write", FPath);
            data += n;
            size -= static_cast<size_t>(n);
        }
    }
    void CommitAs(const std::string& target) {
        // The handle is closed whatever failed, and the first failure is the one reported.
        int error = fchmod(FHandle, 0755) != 0 || fsync(FHandle) != 0 ? errno : 0;
        if (close(FHandle) != 0 && error == 0) error = errno;
        FHandle = -1;
        if (error != 0) {
            errno = error;
            ThrowWriteError("Cannot write", FPath);
        }
        if (rename(FPath.c_str(), target.c_str()) != 0) ThrowWriteError("Cannot create", target);
        FKept = true;
    }

  private:
    std::string FPath;
    int FHandle = -1;
    bool FKept = false;
};

} // namespace

std::string BuildResourceSection(uint64_t programSize, const std::vector<TResourceBlob>& resources) {
    std::string section;
    std::string directory;
    PutU32(directory, static_cast<uint32_t>(resources.size()));
    for (const TResourceBlob& resource : resources) {
        PutU32(directory, static_cast<uint32_t>(resource.Type.size()));
        directory += resource.Type;
        PutU32(directory, static_cast<uint32_t>(resource.Name.size()));
        directory += resource.Name;
        PutU64(directory, programSize + section.size());
        PutU64(directory, resource.Data.size());
        section += resource.Data;
    }
    const uint64_t directoryOffset = programSize + section.size();
    section += directory;
    section.append(ResourceTrailerMagic, sizeof ResourceTrailerMagic);
    PutU64(section, programSize);
    PutU64(section, directoryOffset);
    PutU64(section, directory.size());
    return section;
}

void WritePackedExecutable(const std::string& viewer, const std::vector<TResourceBlob>& resources,
                           const std::string& output) {
    uint64_t programSize = 0;
    try {
        // A viewer that already carries resources contributes only its program part.
        programSize = TResourceFile(viewer).ProgramSize();
    } catch (const std::system_error& e) {
        throw EResourceWriteError("Cannot read the viewer \"" + viewer + "\": " + e.code().message());
    }
    std::ifstream in(viewer, std::ios::binary);
    if (!in) throw EResourceWriteError("Cannot read the viewer \"" + viewer + "\"");
    TempFile temp(output);
    std::vector<char> buffer(1 << 20);
    for (uint64_t left = programSize; left > 0;) {
        const auto chunk = static_cast<std::streamsize>(std::min<uint64_t>(left, buffer.size()));
        if (!in.read(buffer.data(), chunk))
            throw EResourceWriteError("Cannot read the viewer \"" + viewer + "\"");
        temp.Write(buffer.data(), static_cast<size_t>(chunk));
        left -= static_cast<uint64_t>(chunk);
    }
    const std::string section = BuildResourceSection(programSize, resources);
    temp.Write(section.data(), section.size());
    temp.CommitAs(output);
}
