// The archive's sessions (paths resolved from a current folder, files and folders created) and the
// streams over its files.
#include "u_MFS.h"
#include "u_Text.h"

#include <algorithm>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

namespace {

constexpr const char* SStreamFileGone = "File \"%s\" of this stream no longer exists";
constexpr const char* SSessionDetached = "The archive of this session no longer exists";

} // namespace

// TMFSSession

TMFSSession::TMFSSession(TMFS* owner, TMFSFolder* folder) : CurrentFolder(folder), Owner(owner) {
    if (Owner) Owner->FSessions.push_back(this);
}

TMFSSession::~TMFSSession() {
    if (Owner) std::erase(Owner->FSessions, this);
}

TMFSFolder* TMFSSession::Current() const {
    if (!Owner || !CurrentFolder) throw EMFSError(SSessionDetached);
    return CurrentFolder;
}

void TMFSSession::ChangeFolder(std::string_view path) {
    if (path.empty()) return;
    CurrentFolder =
        static_cast<TMFSFolder*>(GetItem(TMFS::IncludeTrailingBackslash(TMFS::NormalizePath(path))));
}

TMFSItem* TMFSSession::GetItem(std::string_view path) {
    TMFSFolder* folder = Current();
    if (path.empty()) return folder;
    std::string_view rest = path;
    if (StartsWithBackslash(rest)) {
        folder = Owner->Root();
        rest.remove_prefix(1);
    }
    const bool namesFolder = EndsWithBackslash(rest);
    while (!rest.empty()) {
        const size_t slash = rest.find('\\');
        const std::string_view component = rest.substr(0, slash);
        rest = slash == std::string_view::npos ? std::string_view() : rest.substr(slash + 1);
        TMFSItem* item = folder->Child(component);
        if (auto* next = dynamic_cast<TMFSFolder*>(item)) {
            folder = next;
            continue;
        }
        if (!item || namesFolder || !rest.empty())
            throw EMFSError(Format(SPathNotFound, std::string(path).c_str()));
        return item;
    }
    return folder;
}

// Resolves the directory part of a normalised path (missing folders are not created) and
// returns the folder; name receives the last component.
TMFSFolder* TMFSSession::ResolveFolderOf(const std::string& normalized, std::string& name) {
    const std::string dir = TMFS::ExtractFilePath(normalized);
    name = TMFS::ExtractFileName(normalized);
    // The directory part ends in "\", so GetItem gives a folder or raises with that part.
    return dir.empty() ? Current() : static_cast<TMFSFolder*>(GetItem(dir));
}

TMFSFile* TMFSSession::GetFile(std::string_view path) {
    std::string name;
    TMFSFolder* folder = ResolveFolderOf(TMFS::NormalizePath(path), name);
    auto* file = dynamic_cast<TMFSFile*>(folder->Child(name));
    if (!file) throw EMFSError(Format(SFileNotFound, std::string(path).c_str()));
    return file;
}

bool TMFSSession::Exists(std::string_view path) {
    try {
        GetItem(TMFS::NormalizePath(path));
        return true;
    } catch (...) {
        return false;
    }
}

TMFSFile* TMFSSession::CreateFile(std::string_view path, uint32_t attributes, bool reuseExisting) {
    std::string name;
    TMFSFolder* folder = ResolveFolderOf(TMFS::NormalizePath(path), name);
    TMFSItem* existing = folder->Child(name);
    if (auto* file = dynamic_cast<TMFSFile*>(existing)) {
        if (reuseExisting) return file;
        throw EMFSError(Format(SFileAlreadyExists, std::string(path).c_str()));
    }
    if (existing) throw EMFSError(Format(SFolderAlreadyExists, std::string(path).c_str()));
    // An empty name (a path ending in "\") or ".." above the root would make an entry no path
    // can reach.
    if (name.empty() || name == "." || name == "..")
        throw EMFSError(Format(SIncorrectFileName, std::string(path).c_str()));
    auto* file = new TMFSFile(name, Owner, folder); // the folder owns it
    file->Attributes |= attributes & 0x3F;
    return file;
}

TMFSFolder* TMFSSession::ForceFolders(std::string_view path) {
    TMFSFolder* folder = Current();
    if (path.empty()) return folder;
    const std::string normalized = TMFS::NormalizePath(path);
    size_t pos = 0;
    if (StartsWithBackslash(normalized)) {
        folder = Owner->Root();
        pos = 1;
    }
    // Walk the components from the first; each level creates what is missing. A file on the way
    // is reported with the prefix ending at it plus its trailing "\" (the whole path for the last).
    while (pos < normalized.size()) {
        const size_t slash = normalized.find('\\', pos);
        const std::string name =
            normalized.substr(pos, slash == std::string::npos ? std::string::npos : slash - pos);
        const std::string level = slash == std::string::npos ? normalized : normalized.substr(0, slash + 1);
        pos = slash == std::string::npos ? normalized.size() : slash + 1;
        TMFSItem* item = folder->Child(name);
        if (auto* next = dynamic_cast<TMFSFolder*>(item)) {
            folder = next;
            continue;
        }
        if (item) throw EMFSError(Format(SFileAlreadyExists, level.c_str()));
        if (name.empty() || name == "..") throw EMFSError(Format(SIncorrectFileName, level.c_str()));
        if (folder->Depth() + 1 > MaxFolderDepth) throw EMFSError(Format(SPathTooDeep, level.c_str()));
        folder = new TMFSFolder(name, Owner, folder); // the parent owns it
    }
    return folder;
}

std::string TMFSSession::ExpandFileName(std::string_view path) {
    std::string full = TMFS::NormalizePath(path);
    if (!StartsWithBackslash(full)) {
        std::string prefix;
        for (TMFSFolder* f = Current(); f; f = f->Parent)
            prefix.insert(0, f->Name + "\\");
        full = prefix + full;
    }
    const bool trailing = EndsWithBackslash(full) && full.size() > 1;
    std::string_view rest(full);
    rest.remove_prefix(1);
    if (trailing) rest.remove_suffix(1);
    std::vector<std::string_view> components;
    if (!rest.empty() || trailing) {
        size_t start = 0;
        while (true) {
            const size_t slash = rest.find('\\', start);
            const std::string_view component =
                rest.substr(start, slash == std::string_view::npos ? slash : slash - start);
            if (component == "..") {
                if (components.empty()) throw EMFSError(Format(SIncorrectFileName, full.c_str()));
                components.pop_back();
            } else if (component != ".") {
                components.push_back(component);
            }
            if (slash == std::string_view::npos) break;
            start = slash + 1;
        }
    }
    std::string result = "\\";
    for (size_t i = 0; i < components.size(); ++i) {
        if (i > 0) result += '\\';
        result += components[i];
    }
    if (trailing && !components.empty()) result += '\\';
    return result;
}

std::unique_ptr<TMFSFileStream> TMFSSession::CreateFileStream(std::string_view path, int disposition,
                                                              uint32_t flags) {
    TMFSFile* file = nullptr;
    switch (disposition) {
    case CREATE_NEW:
        file = CreateFile(path, flags, false);
        break;
    case CREATE_ALWAYS:
        file = CreateFile(path, flags, true);
        file->Data.clear();
        break;
    case OPEN_EXISTING:
        file = GetFile(path);
        break;
    case OPEN_ALWAYS:
        file = CreateFile(path, flags, true);
        break;
    case TRUNCATE_EXISTING:
        file = GetFile(path);
        file->Data.clear();
        break;
    default:
        throw EMFSError(Format(SIncorrectParameters, "TMFSSession.CreateFileStream"));
    }
    if (flags & FILE_FLAG_DELETE_ON_CLOSE) file->DeleteOnClose = true;
    return std::make_unique<TMFSFileStream>(file);
}

// TMFSFileStream

TMFSFileStream::TMFSFileStream(TMFSFile* file) : FFile(file), FFileName(file->Name) {
    FFile->OpenStreams.push_back(this);
}

TMFSFileStream::~TMFSFileStream() {
    if (!FFile) return;
    TMFSFile* file = FFile;
    std::erase(file->OpenStreams, this);
    // A file without a parent belongs to whoever made it; only a stored file deletes itself.
    if (file->DeleteOnClose && file->OpenStreams.empty() && file->Parent) delete file;
}

TMFSFile& TMFSFileStream::CheckedFile() const {
    if (!FFile) throw EMFSError(Format(SStreamFileGone, FFileName.c_str()));
    return *FFile;
}

void TMFSFileStream::SetSize(int64_t newSize) {
    TMFSFile& file = CheckedFile();
    if (newSize < 0 || newSize > INT32_MAX) throw EWriteError(SWriteError);
    file.Data.resize(static_cast<size_t>(newSize)); // growth fills with zero bytes
    FPosition = std::min<int32_t>(FPosition, static_cast<int32_t>(newSize));
}

int32_t TMFSFileStream::Read(void* buffer, int32_t count) {
    TMFSFile& file = CheckedFile();
    if (count <= 0) return 0;
    const int64_t available = static_cast<int64_t>(file.Data.size()) - FPosition;
    const int32_t n = static_cast<int32_t>(std::clamp<int64_t>(available, 0, count));
    if (n > 0) std::memcpy(buffer, file.Data.data() + FPosition, static_cast<size_t>(n));
    FPosition += n;
    return n;
}

int32_t TMFSFileStream::Write(const void* buffer, int32_t count) {
    TMFSFile& file = CheckedFile();
    if (count <= 0) return 0;
    const int64_t end = int64_t(FPosition) + count;
    if (end > INT32_MAX) return 0; // positions are 32-bit; the caller's WriteBuffer reports it
    file.Data.write(static_cast<size_t>(FPosition), static_cast<const char*>(buffer),
                    static_cast<size_t>(count));
    FPosition = static_cast<int32_t>(end);
    return count;
}

int64_t TMFSFileStream::Seek(int64_t offset, int origin) {
    const int64_t size = static_cast<int64_t>(CheckedFile().Data.size());
    int64_t position = FPosition;
    switch (origin) {
    case soFromBeginning:
        position = offset;
        break;
    case soFromCurrent:
        position += offset;
        break;
    case soFromEnd:
        position = size - offset;
        break; // a positive offset moves back from the end
    default:
        break;
    }
    FPosition = static_cast<int32_t>(std::clamp<int64_t>(position, 0, size));
    return FPosition;
}
