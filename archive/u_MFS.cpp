#include "u_MFS.h"
#include "u_Text.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <utility>

namespace {

constexpr size_t HeaderSize = 11;

// An image being loaded whose bytes the loaded files may share.
class TSharedImageStream : public TReadOnlyMemoryStream {
  public:
    TSharedImageStream(std::shared_ptr<const std::string> image, std::string_view body)
        : TReadOnlyMemoryStream(body), Image(std::move(image)) {}

    const std::shared_ptr<const std::string> Image;
};

// Reads exactly length bytes into out. A length that runs past the end of the input fails before
// anything is allocated for it, so a damaged length cannot exhaust memory.
void ReadBytes(TStream& stream, uint32_t length, std::string& out) {
    if (auto* memory = dynamic_cast<TReadOnlyMemoryStream*>(&stream)) {
        const std::string_view rest = memory->Remaining();
        if (length > rest.size()) throw EReadError(SReadError);
        out.assign(rest.data(), length); // one copy, no zero-fill first
        memory->Seek(length, soFromCurrent);
        return;
    }
    if (static_cast<int64_t>(length) > stream.GetSize() - stream.GetPosition()) throw EReadError(SReadError);
    out.resize(length);
    if (length > 0) stream.ReadBuffer(out.data(), static_cast<int32_t>(length));
}

// A file's bytes: a range of the image when the stream shares one, else a copy.
void ReadBytes(TStream& stream, uint32_t length, TByteString& out) {
    auto* shared = dynamic_cast<TSharedImageStream*>(&stream);
    if (!shared) {
        std::string bytes;
        ReadBytes(stream, length, bytes);
        out = std::move(bytes);
        return;
    }
    const std::string_view rest = shared->Remaining();
    if (length > rest.size()) throw EReadError(SReadError);
    out = TByteString(shared->Image, rest.substr(0, length));
    shared->Seek(length, soFromCurrent);
}

void WriteBytes(TStream& stream, std::string_view bytes) {
    stream.WriteUInt32(static_cast<uint32_t>(bytes.size()));
    if (!bytes.empty()) stream.WriteBuffer(bytes.data(), static_cast<int32_t>(bytes.size()));
}

// A stored name may hold any byte; only names that stay inside their folder on disk are written.
bool IsSafeDiskName(const std::string& name) {
    return !name.empty() && name != "." && name != ".." &&
           name.find_first_of(std::string("\\/\0", 3)) == std::string::npos;
}

std::string JoinDiskPath(const std::string& path, const std::string& name) {
    if (!path.empty() && (path.back() == '/' || path.back() == '\\')) return path + name;
    return path + "/" + name;
}

[[noreturn]] void RaiseOSError(const char* what, const std::string& path, int error) {
    throw EOSError(Format("%s \"%s\". %s", what, path.c_str(), std::strerror(error)));
}

void CreateDiskFolders(const std::string& path) {
    if (path.empty()) return;
    std::error_code ec;
    std::filesystem::create_directories(path, ec);
    if (ec) RaiseOSError("Cannot create folder", path, ec.value());
}

} // namespace

std::optional<uint32_t> ImageRootDateTime(std::string_view image) {
    // After the header: the root's name length, its name, then its date-time.
    auto word = [&](size_t at) {
        return uint32_t(uint8_t(image[at])) | uint32_t(uint8_t(image[at + 1])) << 8 |
               uint32_t(uint8_t(image[at + 2])) << 16 | uint32_t(uint8_t(image[at + 3])) << 24;
    };
    if (image.size() < HeaderSize + 4) return std::nullopt;
    const uint64_t at = HeaderSize + 4 + uint64_t(word(HeaderSize));
    if (at + 4 > image.size()) return std::nullopt;
    return word(static_cast<size_t>(at));
}

uint32_t StringChecksum(std::string_view s) {
    uint32_t sum = 0;
    const size_t whole = s.size() / 4 * 4;
    const auto* p = reinterpret_cast<const unsigned char*>(s.data());
    for (size_t i = 0; i < whole; i += 4) {
        const uint32_t w =
            uint32_t(p[i]) | uint32_t(p[i + 1]) << 8 | uint32_t(p[i + 2]) << 16 | uint32_t(p[i + 3]) << 24;
        sum += w;
        sum = (sum << 1) | (sum >> 31);
    }
    if (whole < s.size()) { // pad the last group with blanks
        unsigned char last[4] = {' ', ' ', ' ', ' '};
        std::memcpy(last, p + whole, s.size() - whole);
        sum += uint32_t(last[0]) | uint32_t(last[1]) << 8 | uint32_t(last[2]) << 16 | uint32_t(last[3]) << 24;
        sum = (sum << 1) | (sum >> 31);
    }
    return sum;
}

uint32_t EncodeDosDateTime(const std::tm& local) {
    const uint32_t date =
        uint32_t(local.tm_year - 80) << 9 | uint32_t(local.tm_mon + 1) << 5 | uint32_t(local.tm_mday);
    // A leap second counts as the second before it: the format has no room for second 60.
    const uint32_t time =
        uint32_t(local.tm_hour) << 11 | uint32_t(local.tm_min) << 5 | uint32_t(std::min(local.tm_sec, 59) / 2);
    return date << 16 | time;
}

uint32_t NowDosDateTime() {
    const std::time_t now = std::time(nullptr);
    std::tm local{};
    localtime_r(&now, &local);
    const int year = local.tm_year + 1900;
    if (year < 1980 || year > 2107) return 0;
    return EncodeDosDateTime(local);
}

// TMFSItem

TMFSItem::TMFSItem(std::string_view name, TMFS* owner, TMFSFolder* parent, uint32_t dateTime)
    : Name(name), DateTime(dateTime), Parent(parent), Owner(owner) {
    // The parent's owning Children destroy an existing entry of an equal name first.
    if (parent) parent->Children.Set_Item(Name, this);
}

TMFSItem::~TMFSItem() {
    if (Parent && Parent->Children.Find(Name) == this) Parent->Children.Extract(Name);
    Parent = nullptr;
}

void TMFSItem::SaveToStream(TStream& stream) const {
    WriteBytes(stream, Name);
    stream.WriteUInt32(DateTime);
    stream.WriteUInt32(Attributes);
}

void TMFSItem::LoadFromStream(TStream& stream) {
    ReadBytes(stream, stream.ReadUInt32(), Name);
    DateTime = stream.ReadUInt32();
    Attributes = stream.ReadUInt32();
}

// TMFSFile

TMFSFile::TMFSFile(std::string_view name, TMFS* owner, TMFSFolder* parent, uint32_t dateTime)
    : TMFSItem(name, owner, parent, dateTime) {
    Attributes |= faArchive;
}

TMFSFile::~TMFSFile() {
    for (TMFSFileStream* stream : OpenStreams)
        stream->FFile = nullptr;
    OpenStreams.clear();
}

void TMFSFile::SaveToStream(TStream& stream) const {
    TMFSItem::SaveToStream(stream);
    WriteBytes(stream, Data);
}

void TMFSFile::LoadFromStream(TStream& stream) {
    TMFSItem::LoadFromStream(stream);
    ReadBytes(stream, stream.ReadUInt32(), Data);
}

void TMFSFile::SaveToDisk(const std::string& path) const {
    CreateDiskFolders(std::filesystem::path(path).parent_path().string());
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    if (!out) RaiseOSError("Cannot create file", path, errno);
    out.write(Data.data(), static_cast<std::streamsize>(Data.size()));
    out.close();
    if (!out) RaiseOSError("Cannot write file", path, errno);
}

std::unique_ptr<TMFSFileStream> TMFSFile::CreateStream() {
    return std::make_unique<TMFSFileStream>(this);
}

// TMFSFolder

TMFSFolder::TMFSFolder(std::string_view name, TMFS* owner, TMFSFolder* parent, uint32_t dateTime)
    : TMFSItem(name, owner, parent, dateTime) {
    Attributes |= faDirectory;
}

TMFSFolder::~TMFSFolder() {
    Clear();
}

void TMFSFolder::Clear() {
    // Children that no longer know their parent do not try to take themselves out of it.
    Children.ForEach([](const std::string&, TMFSItem* child) { child->Parent = nullptr; });
    Children.Clear();
}

TMFSItem* TMFSFolder::Child(std::string_view name) {
    if (name == ".") return this;
    if (name == "..") return Parent;
    if (name.empty()) return nullptr;
    return Children.Find(name);
}

void TMFSFolder::SaveToStream(TStream& stream) const {
    TMFSItem::SaveToStream(stream);
    stream.WriteUInt32(static_cast<uint32_t>(Children.Count()));
    Children.ForEach([&](const std::string&, TMFSItem* child) {
        stream.WriteByte(dynamic_cast<TMFSFile*>(child) ? 'F' : 'D');
        child->SaveToStream(stream);
    });
}

int TMFSFolder::Depth() const {
    int depth = 0;
    for (const TMFSFolder* f = Parent; f; f = f->Parent)
        ++depth;
    return depth;
}

void TMFSFolder::LoadFromStream(TStream& stream) {
    LoadAtDepth(stream, Depth());
}

void TMFSFolder::LoadAtDepth(TStream& stream, int depth) {
    TMFSItem::LoadFromStream(stream);
    Clear();
    const int32_t count = static_cast<int32_t>(stream.ReadUInt32());
    for (int32_t i = 0; i < count; ++i) {
        const uint8_t kind = stream.ReadByte();
        std::unique_ptr<TMFSItem> child;
        if (kind == 'D') {
            if (depth + 1 > MaxFolderDepth) throw EMFSError(SIncorrectSerializedFormat);
            auto folder = std::make_unique<TMFSFolder>("", Owner, nullptr, 0); // dated by its record
            folder->LoadAtDepth(stream, depth + 1); // a failure destroys the half-read child
            child = std::move(folder);
        } else if (kind == 'F') {
            child = std::make_unique<TMFSFile>("", Owner, nullptr, 0);
            child->LoadFromStream(stream);
        } else {
            throw EMFSError(SIncorrectSerializedFormat);
        }
        child->Parent = this;
        // Among equal names the last one stored wins: Set_Item destroys the earlier entry. The
        // child is let go only once stored; a failure to store it destroys it here.
        Children.Set_Item(child->Name, child.get());
        child.release();
    }
}

void TMFSFolder::SaveToDisk(const std::string& path) const {
    CreateDiskFolders(path);
    Children.ForEach([&](const std::string&, TMFSItem* child) {
        if (!IsSafeDiskName(child->Name)) throw EMFSError(Format(SIncorrectFileName, child->Name.c_str()));
        child->SaveToDisk(JoinDiskPath(path, child->Name));
    });
}

// TMFS

TMFS::TMFS() : FRoot(std::make_unique<TMFSFolder>("", this, nullptr)) {}

TMFS::~TMFS() {
    FSession.reset();
    for (TMFSSession* session : FSessions) {
        session->Owner = nullptr;
        session->CurrentFolder = nullptr;
    }
    FSessions.clear();
    FRoot.reset();
}

namespace {

// The image's root record after its checked header.
std::string_view CheckedImageBody(std::string_view image) {
    if (image.substr(0, 3) != "MFS") throw EMFSError(SIncorrectSerializedFormat);
    const std::string_view body = image.size() > HeaderSize ? image.substr(HeaderSize) : std::string_view();
    if (image.size() < HeaderSize || image.substr(3, 8) != Format("%08X", StringChecksum(body)))
        throw EMFSError(SIncorrectSerializedFormat);
    return body;
}

} // namespace

void TMFS::LoadFromString(std::string_view image) {
    TReadOnlyMemoryStream stream(CheckedImageBody(image));
    LoadRoot(stream);
}

void TMFS::LoadFromImage(std::string image) {
    auto shared = std::make_shared<const std::string>(std::move(image));
    TSharedImageStream stream(shared, CheckedImageBody(*shared));
    LoadRoot(stream);
}

void TMFS::LoadRoot(TStream& body) {
    // The new root exists before the old one is let go, so that a failure to make it leaves the
    // archive as it was. The old tree goes only when the load has ended: the image may be the
    // Data of one of its own files, which must stay alive while it is read.
    auto newRoot = std::make_unique<TMFSFolder>("", this, nullptr, 0);
    const std::unique_ptr<TMFSFolder> oldRoot = std::exchange(FRoot, std::move(newRoot));
    for (TMFSSession* session : FSessions)
        session->CurrentFolder = FRoot.get();
    FRoot->LoadFromStream(body);
}

std::string TMFS::SaveToString() const {
    TMemoryStream stream;
    stream.WriteBuffer("MFS00000000", HeaderSize);
    FRoot->SaveToStream(stream);
    std::string image = stream.TakeDataString();
    const std::string digits = Format("%08X", StringChecksum(std::string_view(image).substr(HeaderSize)));
    image.replace(3, 8, digits);
    return image;
}

TMFSSession* TMFS::Session() {
    if (!FSession) FSession = std::make_unique<TMFSSession>(this, FRoot.get());
    return FSession.get();
}

std::unique_ptr<TMFSSession> TMFS::CreateSession(TMFSFolder* folder) {
    return std::make_unique<TMFSSession>(this, folder ? folder : FRoot.get());
}

std::string TMFS::NormalizePath(std::string_view path) {
    std::string result(path);
    std::replace(result.begin(), result.end(), '/', '\\');
    return result;
}

std::string TMFS::IncludeTrailingBackslash(std::string_view path) {
    std::string result(path);
    if (!result.empty() && result.back() != '\\') result += '\\';
    return result;
}

std::string TMFS::ExcludeTrailingBackslash(std::string_view path) {
    if (EndsWithBackslash(path)) path.remove_suffix(1);
    return std::string(path);
}

std::string TMFS::ExtractFilePath(std::string_view path) {
    const size_t slash = path.rfind('\\');
    return slash == std::string_view::npos ? std::string() : std::string(path.substr(0, slash + 1));
}

std::string TMFS::ExtractFileName(std::string_view path) {
    const size_t slash = path.rfind('\\');
    return std::string(slash == std::string_view::npos ? path : path.substr(slash + 1));
}

std::string TMFS::ExtractFileExt(std::string_view path) {
    const size_t dot = path.rfind('.');
    const size_t slash = path.rfind('\\');
    if (dot == std::string_view::npos || (slash != std::string_view::npos && dot < slash))
        return std::string();
    return std::string(path.substr(dot));
}
