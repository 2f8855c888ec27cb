#include "u_FolderArchive.h"

#include "u_MFS.h"

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sys/stat.h>

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

// The earliest date-time the format holds, 1980-01-01 00:00.
constexpr uint32_t DosEpoch = 0x00210000;

uint32_t ClampedDosDateTime(const std::tm& time) {
    if (time.tm_year < 80) return DosEpoch;
    if (time.tm_year > 207) return 0xFF9FBF7D; // 2107-12-31 23:59:58
    return EncodeDosDateTime(time);
}

// The newest date-time at or below folder (DOS date-times order as numbers).
uint32_t NewestDateTime(const TMFSFolder& folder, uint32_t newest) {
    folder.Children.ForEach([&](const std::string&, TMFSItem* item) {
        newest = std::max(newest, item->DateTime);
        if (const auto* child = dynamic_cast<const TMFSFolder*>(item))
            newest = NewestDateTime(*child, newest);
    });
    return newest;
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

} // namespace

uint32_t DosDateTimeOf(std::time_t time) {
    std::tm local{};
    if (!localtime_r(&time, &local)) return DosEpoch;
    return ClampedDosDateTime(local);
}

uint32_t PackingDateTime(uint32_t fallback) {
    const char* epoch = std::getenv("SOURCE_DATE_EPOCH");
    if (!epoch || !*epoch) return fallback;
    char* end = nullptr;
    errno = 0;
    const long long seconds = std::strtoll(epoch, &end, 10);
    if (*end || errno == ERANGE || seconds < 0) return fallback; // not a time: as if unset
    const auto time = static_cast<std::time_t>(seconds);
    std::tm utc{};
    if (!gmtime_r(&time, &utc)) return fallback;
    return ClampedDosDateTime(utc);
}

void BuildArchive(const std::string& folder, TMFS& archive) {
    std::error_code error;
    if (!fs::is_directory(folder, error)) throw EPackError(Format("\"%s\" is not a folder", folder.c_str()));
    archive.Root()->Clear();
    uint64_t total = 0;
    AddFolderContents(folder, archive, archive.Root(), total);
    archive.Root()->DateTime = PackingDateTime(NewestDateTime(*archive.Root(), DosEpoch));
}

std::string BuildArchiveImage(const std::string& folder) {
    TMFS archive;
    BuildArchive(folder, archive);
    std::string image = archive.SaveToString();
    if (image.size() > MaxCabinetData)
        throw EPackError(Format("\"%s\": the book's files are too large for one cabinet", folder.c_str()));
    return image;
}


bool UpdateArchiveEntry(const std::string& folder, const std::string& relative, TMFS& archive) {
    // Walk the archive down the path's folders; each must already be there under its own name.
    TMFSFolder* parent = archive.Root();
    std::string name;
    size_t start = 0;
    for (;;) {
        const size_t slash = relative.find('/', start);
        name = relative.substr(start, slash == std::string::npos ? std::string::npos : slash - start);
        if (name.empty() || name == "." || name == ".." || name.find('\\') != std::string::npos) return false;
        if (slash == std::string::npos) break;
        auto* next = dynamic_cast<TMFSFolder*>(parent->Children.Find(name));
        if (!next || next->Name != name) return false;
        parent = next;
        start = slash + 1;
    }
    TMFSItem* existing = parent->Children.Find(name);
    if (existing && existing->Name != name) return false; // another letter case: a conflict or a rename
    const fs::path path = fs::path(folder) / relative;
    struct stat st {};
    if (stat(path.c_str(), &st) != 0) {
        if (errno != ENOENT && errno != ENOTDIR)
            throw EPackError(Format("Cannot read \"%s\": %s", path.c_str(), std::strerror(errno)));
        if (!existing) return true; // neither here nor there
        if (!dynamic_cast<TMFSFile*>(existing)) return false;
        delete existing; // takes itself out of its parent
        return true;
    }
    if (!S_ISREG(st.st_mode)) return false;
    auto* file = dynamic_cast<TMFSFile*>(existing);
    if (existing && !file) return false;
    std::string data = ReadWholeFile(path);
    if (!file) file = new TMFSFile(name, &archive, parent); // the parent owns it
    file->Data = std::move(data);
    file->DateTime = DosDateTimeOf(st.st_mtime);
    file->Attributes = faArchive;
    return true;
}

TTemporaryFolder::TTemporaryFolder(const std::string& prefix) {
    const char* base = std::getenv("TMPDIR");
    FPath = std::string(base && *base ? base : "/tmp") + "/" + prefix + ".XXXXXX";
    if (!mkdtemp(FPath.data()))
        throw EPackError("Cannot create a temporary folder in \"" + FPath + "\": " + std::strerror(errno));
}

TTemporaryFolder::~TTemporaryFolder() {
    std::error_code error;
    std::filesystem::remove_all(FPath, error);
}
