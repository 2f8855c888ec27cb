// Resources appended to an executable file: named byte blocks of a type (the viewer's books are
// "RCDATA" resources named SYSTEM_MFS and FILES_MFS).
//
// Layout, all integers unsigned 64-bit little-endian unless said otherwise:
//   program bytes | resource bytes ... | directory | trailer
//   directory: count (32-bit), then per resource: type length (32-bit), type, name length
//              (32-bit), name, offset, size
//   trailer (32 bytes): magic "TVRSRC01", start of the resource bytes, directory offset,
//              directory size
// The trailer is the last 32 bytes of the file. Every offset and size is checked against the file:
// a missing or damaged trailer or directory reads as "no resources", never as an error.
// u_ResourceWriter writes the section; the viewer only reads it.
#pragma once

#include "u_ByteString.h"

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

struct TResourceEntry {
    std::string Type;
    std::string Name;
    uint64_t Offset = 0;
    uint64_t Size = 0;
};

// The resources of one executable file, read once at construction. The file stays open so that
// each resource is read with one positioned read.
class TResourceFile {
  public:
    // Opens the file; a failure to open or read it throws std::system_error with the errno value.
    explicit TResourceFile(const std::string& path);
    TResourceFile(const TResourceFile&) = delete;
    TResourceFile& operator=(const TResourceFile&) = delete;
    ~TResourceFile();

    // The resource's bytes, or the empty string when the file has no such resource. Type and name
    // compare ignoring ASCII case, as resource names do. Throws std::system_error on a read error.
    std::string Load(std::string_view type, std::string_view name) const;
    // The same bytes, mapped from the file rather than read into memory (read when the file cannot
    // be mapped). The mapping lives as long as the result or any string shared from it. For files
    // that are replaced, never shortened, while mapped: the running program is.
    TByteString Map(std::string_view type, std::string_view name) const;
    const std::vector<TResourceEntry>& Entries() const { return FEntries; }
    // The entry of that type and name (ignoring ASCII case), or null.
    const TResourceEntry* Find(std::string_view type, std::string_view name) const;
    // Bytes of the program in front of the resources (the whole file when it has none).
    uint64_t ProgramSize() const { return FProgramSize; }

  private:
    int FHandle = -1;
    uint64_t FProgramSize = 0;
    std::vector<TResourceEntry> FEntries;
};

// The trailer's magic and length, shared with the writer of the section (u_ResourceWriter).
inline constexpr char ResourceTrailerMagic[8] = {'T', 'V', 'R', 'S', 'R', 'C', '0', '1'};
inline constexpr uint64_t ResourceTrailerSize = 32;
