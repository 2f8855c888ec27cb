// Cabinets for the cabinet tests: real ones written by libgcab, and cabinets of a set, whose
// headers are written here byte by byte because libgcab does not write sets.
#pragma once

#include "u_CabWriter.h"

#include <cstdint>
#include <string>
#include <vector>

namespace cabfixtures {

inline void PutU16(std::string& out, uint16_t v) {
    out += static_cast<char>(v & 0xFF);
    out += static_cast<char>(v >> 8);
}
inline void PutU32(std::string& out, uint32_t v) {
    for (int i = 0; i < 4; ++i)
        out += static_cast<char>(v >> (8 * i) & 0xFF);
}

// A stored (uncompressed) cabinet of a set holding one file, info.mfs. With continuedFromPrevious
// the file starts in the previous cabinet, otherwise it goes on in the next one.
inline std::string SpannedCabinet(bool continuedFromPrevious) {
    const std::string data = "part of a file";
    const uint16_t flags = continuedFromPrevious ? 0x0001 : 0x0002;
    std::string names =
        continuedFromPrevious ? std::string("prev.cab\0disk1\0", 15) : std::string("next.cab\0disk2\0", 15);
    const uint32_t folderOffset = 36 + static_cast<uint32_t>(names.size());
    const uint32_t filesOffset = folderOffset + 8;
    const std::string fileName("info.mfs\0", 9);
    const uint32_t dataOffset = filesOffset + 16 + static_cast<uint32_t>(fileName.size());
    const uint32_t total = dataOffset + 8 + static_cast<uint32_t>(data.size());
    std::string cab = "MSCF";
    PutU32(cab, 0);
    PutU32(cab, total);
    PutU32(cab, 0);
    PutU32(cab, filesOffset);
    PutU32(cab, 0);
    cab += '\x03';
    cab += '\x01';
    PutU16(cab, 1); // folders
    PutU16(cab, 1); // files
    PutU16(cab, flags);
    PutU16(cab, 0x1234); // set id
    PutU16(cab, continuedFromPrevious ? 1 : 0);
    cab += names;
    PutU32(cab, dataOffset); // folder: first data block, block count, stored
    PutU16(cab, 1);
    PutU16(cab, 0);
    PutU32(cab, 100); // file: size, offset in folder, folder index, date, time, attributes
    PutU32(cab, 0);
    PutU16(cab, continuedFromPrevious ? 0xFFFD : 0xFFFE);
    PutU16(cab, 0x5A21);
    PutU16(cab, 0x6000);
    PutU16(cab, 0x20);
    cab += fileName;
    PutU32(cab, 0); // data block: no checksum, sizes, bytes
    PutU16(cab, static_cast<uint16_t>(data.size()));
    PutU16(cab, static_cast<uint16_t>(data.size()));
    cab += data;
    return cab;
}

// Bytes of a page that compress poorly enough to need many data blocks.
inline std::string NoisyText(size_t size, uint32_t seed = 1) {
    std::string text(size, ' ');
    for (size_t i = 0; i < size; ++i) {
        seed = seed * 1103515245u + 12345u;
        text[i] = static_cast<char>('a' + (seed >> 16) % 26);
    }
    return text;
}

} // namespace cabfixtures
