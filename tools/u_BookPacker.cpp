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

// The largest cabinet file libmspack accepts.
constexpr uint64_t MaxCabinetData = 0x7FFF8000;

std::string ReadWholeFile(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) throw EPackError(Format("Cannot read \"%s\": %s", path.c_str(), std::strerror(errno)));
    std::string data((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    if (in.bad()) throw EPackError(Format("Cannot read \"%s\"", path.c_str()));
    return data;
}

void AddFolderContents(const fs::path& path, TMFS& archive, TMFSFolder* folder, uint64_t& total) {
    std::vector<fs::directory_entry> entries;
    std::error_code error;
    for (fs::directory_iterator it(path, error), end; !error && it != end; it.increment(error))
        entries.push_back(*it);
    if (error)
        throw EPackError(Format("Cannot read the folder \"%s\": %s", path.c_str(), error.message().c_str()));
    for (const fs::directory_entry& entry : entries) {
        const std::string name = entry.path().filename().string();
        if (name.find('\\') != std::string::npos)
            throw EPackError(Format("\"%s\": a name in a book cannot contain \"\\\"", entry.path().c_str()));
        if (TMFSItem* other = folder->Children.Find(name))
            throw EPackError(Format("\"%s\" and \"%s\" in \"%s\" differ only in letter case",
                                    other->Name.c_str(), name.c_str(), path.c_str()));
        struct stat st {};
        if (stat(entry.path().c_str(), &st) != 0)
            throw EPackError(Format("Cannot read \"%s\": %s", entry.path().c_str(), std::strerror(errno)));
        if (S_ISDIR(st.st_mode)) {
            auto* child = new TMFSFolder(name, &archive, folder); // the parent owns it
            child->DateTime = DosDateTimeOf(st.st_mtime);
            child->Attributes = faDirectory;
            AddFolderContents(entry.path(), archive, child, total);
        } else if (S_ISREG(st.st_mode)) {
            total += static_cast<uint64_t>(st.st_size);
            if (total > MaxCabinetData)
                throw EPackError(
                    Format("\"%s\": the book's files are too large for one cabinet", path.c_str()));
            auto* child = new TMFSFile(name, &archive, folder); // the parent owns it
            child->Data = ReadWholeFile(entry.path());
            child->DateTime = DosDateTimeOf(st.st_mtime);
            child->Attributes = faArchive;
        } else {
            throw EPackError(Format("\"%s\" is neither a file nor a folder", entry.path().c_str()));
        }
    }
}

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

uint32_t DosDateTimeOf(std::time_t time) {
    std::tm local{};
    if (!localtime_r(&time, &local)) return 0x00210000;
    if (local.tm_year < 80) return 0x00210000;
    if (local.tm_year > 207) return 0xFF9FBF7D; // 2107-12-31 23:59:58
    const uint32_t date =
        static_cast<uint32_t>((local.tm_year - 80) << 9 | (local.tm_mon + 1) << 5 | local.tm_mday);
    const uint32_t clock =
        static_cast<uint32_t>(local.tm_hour << 11 | local.tm_min << 5 | std::min(local.tm_sec, 59) / 2);
    return date << 16 | clock;
}

std::string BuildArchiveImage(const std::string& folder) {
    std::error_code error;
    if (!fs::is_directory(folder, error)) throw EPackError(Format("\"%s\" is not a folder", folder.c_str()));
    TMFS archive;
    uint64_t total = 0;
    AddFolderContents(folder, archive, archive.Root(), total);
    std::string image = archive.SaveToString();
    if (image.size() > MaxCabinetData)
        throw EPackError(Format("\"%s\": the book's files are too large for one cabinet", folder.c_str()));
    return image;
}

std::string PackArchiveImage(const std::string& image) {
    return WriteCabinet({TCabEntry{"info.mfs", image, DosDateTimeOf(std::time(nullptr)), faArchive}});
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
