#include "u_BookPacker.h"

#include "u_CabWriter.h"
#include "u_MFS.h"
#include "u_Text.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <sys/stat.h>
#include <unistd.h>

namespace fs = std::filesystem;

namespace {

void ListFolder(const TMFSFolder& folder, const std::string& path, std::ostream& out) {
    folder.Children.ForEach([&](const std::string&, TMFSItem* item) {
        const std::string itemPath = path + "\\" + item->Name;
        const auto* file = dynamic_cast<const TMFSFile*>(item);
        out << (file ? 'F' : 'D') << '\t' << itemPath << '\t' << (file ? file->Data.size() : 0) << '\t'
            << Format("%08X", item->DateTime) << '\t' << Format("%02X", item->Attributes) << '\n';
        if (const auto* child = dynamic_cast<const TMFSFolder*>(item)) ListFolder(*child, itemPath, out);
    });
}

class TempFile {
  public:
    explicit TempFile(const std::string& target) : FPath(target + ".XXXXXX") {
        FHandle = mkstemp(FPath.data());
        if (FHandle < 0)
            throw EPackError(Format("Cannot create \"%s\": %s", FPath.c_str(), std::strerror(errno)));
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
            if (n < 0)
                throw EPackError(Format("Cannot write \"%s\": %s", FPath.c_str(), std::strerror(errno)));
            data += n;
            size -= static_cast<size_t>(n);
        }
    }
    void CommitAs(const std::string& target) {
        if (fchmod(FHandle, 0755) != 0 || fsync(FHandle) != 0 || close(FHandle) != 0) {
            FHandle = -1;
            throw EPackError(Format("Cannot write \"%s\": %s", FPath.c_str(), std::strerror(errno)));
        }
        FHandle = -1;
        if (rename(FPath.c_str(), target.c_str()) != 0)
            throw EPackError(Format("Cannot create \"%s\": %s", target.c_str(), std::strerror(errno)));
        FKept = true;
    }

  private:
    std::string FPath;
    int FHandle = -1;
    bool FKept = false;
};

} // namespace

std::string PackArchiveImage(const std::string& image) {
    return WriteCabinet({TCabEntry{
        "info.mfs", image, ImageRootDateTime(image).value_or(PackingDateTime(0x00210000)), faArchive}});
}

void WritePackedExecutable(const std::string& viewer, const std::vector<TResourceBlob>& resources,
                           const std::string& output) {
    uint64_t programSize = 0;
    try {
        // A viewer that already carries resources contributes only its program part.
        programSize = TResourceFile(viewer).ProgramSize();
    } catch (const std::system_error& e) {
        throw EPackError(
            Format("Cannot read the viewer \"%s\": %s", viewer.c_str(), e.code().message().c_str()));
    }
    std::ifstream in(viewer, std::ios::binary);
    if (!in) throw EPackError(Format("Cannot read the viewer \"%s\"", viewer.c_str()));
    TempFile temp(output);
    std::vector<char> buffer(1 << 20);
    for (uint64_t left = programSize; left > 0;) {
        const auto chunk = static_cast<std::streamsize>(std::min<uint64_t>(left, buffer.size()));
        if (!in.read(buffer.data(), chunk))
            throw EPackError(Format("Cannot read the viewer \"%s\"", viewer.c_str()));
        temp.Write(buffer.data(), static_cast<size_t>(chunk));
        left -= static_cast<uint64_t>(chunk);
    }
    const std::string section = BuildResourceSection(programSize, resources);
    temp.Write(section.data(), section.size());
    temp.CommitAs(output);
}

void ListArchive(const TMFS& archive, std::ostream& out) {
    ListFolder(*archive.Root(), "", out);
}
