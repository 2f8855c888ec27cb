// The in-memory archive: a tree of folders and files in which every file's bytes are one string.
// The viewer keeps two of them (the system archive and the page archive), each filled once at
// start from an archive image and read afterwards through sessions and file streams.
//
// Image layout (all integers unsigned 32-bit little-endian): "MFS", 8 upper-case hexadecimal
// digits of StringChecksum over the rest, then the root folder's record. A record is name length,
// name, date-time, attributes, then for a file the data length and data, for a folder the child
// count and, per child, a kind byte ('F' or 'D') followed by the child's record.
#pragma once

#include "u_ByteString.h"
#include "u_Classes.h"
#include "u_Dictionary.h"
#include "u_SysUtils.h"

#include <cstdint>
#include <ctime>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

class TMFS;
class TMFSFolder;
class TMFSFile;
class TMFSSession;
class TMFSFileStream;

inline constexpr uint32_t faReadOnly = 0x01;
inline constexpr uint32_t faHidden = 0x02;
inline constexpr uint32_t faSysFile = 0x04;
inline constexpr uint32_t faVolumeID = 0x08;
inline constexpr uint32_t faDirectory = 0x10;
inline constexpr uint32_t faArchive = 0x20;

// Messages of the archive and its sessions.
inline constexpr const char* SIncorrectSerializedFormat = "Incorrect serialized format";
inline constexpr const char* SPathNotFound = "Path \"%s\" not found";
inline constexpr const char* SFileNotFound = "File \"%s\" not found";
inline constexpr const char* SFileAlreadyExists = "File \"%s\" already exists";
inline constexpr const char* SFolderAlreadyExists = "Folder \"%s\" already exists";
inline constexpr const char* SIncorrectFileName = "File name \"%s\" is incorrect";
inline constexpr const char* SIncorrectParameters = "Incorrect parameters in method \"%s\"";
inline constexpr const char* SPathTooDeep = "Path \"%s\" is nested too deeply";

// How deep folders may nest below the root. Loading, saving and destroying a tree recurse once
// per level; a real book nests a handful of levels, and this bound keeps a hostile image or path
// far from exhausting the stack.
inline constexpr int MaxFolderDepth = 1000;

// Rotate-add checksum over 4-byte little-endian groups, the input padded with blanks.
uint32_t StringChecksum(std::string_view s);

// The date-time of an image's root record, read without loading the tree; none when the bytes are
// too short to hold one. The header is not checked.
std::optional<uint32_t> ImageRootDateTime(std::string_view image);

// A local date and time as a DOS date-time; its year must lie in 1980 to 2107.
uint32_t EncodeDosDateTime(const std::tm& local);
// The current local date and time as a DOS date-time (0 outside 1980 to 2107).
uint32_t NowDosDateTime();

class TMFSItem {
  public:
    // Creates the entry, dated now unless a date-time is given; with a parent, the parent's
    // Children take it (an existing child of an equal name is destroyed and replaced) and the
    // parent owns it from then on.
    TMFSItem(std::string_view name, TMFS* owner, TMFSFolder* parent, uint32_t dateTime = NowDosDateTime());
    TMFSItem(const TMFSItem&) = delete;
    TMFSItem& operator=(const TMFSItem&) = delete;
    // Takes the entry out of its parent's Children (without destroying it twice).
    virtual ~TMFSItem();

    virtual void SaveToStream(TStream& stream) const;
    virtual void LoadFromStream(TStream& stream);
    virtual void SaveToDisk(const std::string& path) const = 0;

    std::string Name;
    uint32_t DateTime = 0;
    uint32_t Attributes = 0;
    TMFSFolder* Parent = nullptr;
    TMFS* Owner = nullptr;
};

class TMFSFile : public TMFSItem {
  public:
    TMFSFile(std::string_view name, TMFS* owner, TMFSFolder* parent, uint32_t dateTime = NowDosDateTime());
    ~TMFSFile() override;

    void SaveToStream(TStream& stream) const override;
    void LoadFromStream(TStream& stream) override;
    void SaveToDisk(const std::string& path) const override;

    // A new stream over this file at position 0.
    std::unique_ptr<TMFSFileStream> CreateStream();

    std::vector<TMFSFileStream*> OpenStreams;
    // After a load the bytes are a range of the archive image, shared with the other files (see
    // TMFS::LoadFromImage); a change makes them the file's own.
    TByteString Data;
    bool DeleteOnClose = false;
};

class TMFSFolder : public TMFSItem {
  public:
    TMFSFolder(std::string_view name, TMFS* owner, TMFSFolder* parent, uint32_t dateTime = NowDosDateTime());
    ~TMFSFolder() override;

    void SaveToStream(TStream& stream) const override;
    void LoadFromStream(TStream& stream) override;
    void SaveToDisk(const std::string& path) const override;

    // Number of folders above this one (0 for a folder without a parent).
    int Depth() const;

    // One step of a path: "." this folder, ".." the parent (nullptr at the root), else the child
    // of that name or nullptr.
    TMFSItem* Child(std::string_view name);
    // Destroys every child.
    void Clear();

    TObjectDictionary<TMFSItem> Children{true, true, true};

  private:
    // Loads the record of a folder that stands depth levels below the root of the image.
    void LoadAtDepth(TStream& stream, int depth);
};

class TMFS {
  public:
    TMFS();
    TMFS(const TMFS&) = delete;
    TMFS& operator=(const TMFS&) = delete;
    ~TMFS();

    // Replaces the tree by the one in the image. A bad magic or checksum leaves the old tree.
    void LoadFromString(std::string_view image);
    // The same, taking the image over: the files' bytes stay where the image holds them instead
    // of being copied out, and the image lives as long as any file (or any string shared from
    // one) refers to it. Names and records stay in it too, a few bytes per entry.
    void LoadFromImage(std::string image);
    // The whole image: header and root record.
    std::string SaveToString() const;

    TMFSFolder* Root() const { return FRoot.get(); }
    // The default session, created over Root on first use.
    TMFSSession* Session();
    // A new session whose current folder is folder, or Root when none is given.
    std::unique_ptr<TMFSSession> CreateSession(TMFSFolder* folder = nullptr);

    // Path functions: plain string operations that consult no archive.
    static std::string NormalizePath(std::string_view path);
    static std::string IncludeTrailingBackslash(std::string_view path);
    static std::string ExcludeTrailingBackslash(std::string_view path);
    static std::string ExtractFilePath(std::string_view path);
    static std::string ExtractFileName(std::string_view path);
    static std::string ExtractFileExt(std::string_view path);

  private:
    friend class TMFSSession;

    // Replaces the tree by the root record read from body.
    void LoadRoot(TStream& body);

    std::unique_ptr<TMFSSession> FSession;
    std::unique_ptr<TMFSFolder> FRoot;
    // Every live session over this archive: a load moves them to the new root, and destroying
    // the archive detaches them, so none is ever left pointing at a destroyed folder.
    std::vector<TMFSSession*> FSessions;
};

// Create dispositions of CreateFileStream.
enum : int {
    CREATE_NEW = 1,
    CREATE_ALWAYS = 2,
    OPEN_EXISTING = 3,
    OPEN_ALWAYS = 4,
    TRUNCATE_EXISTING = 5,
};
inline constexpr uint32_t FILE_FLAG_DELETE_ON_CLOSE = 0x04000000;

// Resolves, creates and opens paths relative to a current folder. Owns nothing. A session whose
// archive has been destroyed refuses every operation with EMFSError.
class TMFSSession {
  public:
    TMFSSession(TMFS* owner, TMFSFolder* folder);
    TMFSSession(const TMFSSession&) = delete;
    TMFSSession& operator=(const TMFSSession&) = delete;
    ~TMFSSession();

    void ChangeFolder(std::string_view path);
    TMFSItem* GetItem(std::string_view path);
    TMFSFile* GetFile(std::string_view path);
    bool Exists(std::string_view path);
    TMFSFile* CreateFile(std::string_view path, uint32_t attributes, bool reuseExisting);
    TMFSFolder* ForceFolders(std::string_view path);
    std::string ExpandFileName(std::string_view path);
    std::unique_ptr<TMFSFileStream> CreateFileStream(std::string_view path, int disposition, uint32_t flags);

    TMFSFolder* CurrentFolder;
    TMFS* Owner;

  private:
    TMFSFolder* Current() const;
    TMFSFolder* ResolveFolderOf(const std::string& normalized, std::string& name);
};

// A stream over one file's bytes. Several may be open on one file, each with its own position.
class TMFSFileStream : public TStream {
  public:
    explicit TMFSFileStream(TMFSFile* file);
    ~TMFSFileStream() override;

    void SetSize(int64_t newSize) override;
    int32_t Read(void* buffer, int32_t count) override;
    int32_t Write(const void* buffer, int32_t count) override;
    // Origin 2 moves back from the end by offset; the result is clamped to 0 .. size.
    int64_t Seek(int64_t offset, int origin) override;

    TMFSFile* File() const { return FFile; }

  private:
    friend class TMFSFile;
    TMFSFile& CheckedFile() const;

    TMFSFile* FFile;
    std::string FFileName; // kept for the message once the file is gone
    int32_t FPosition = 0;
};
