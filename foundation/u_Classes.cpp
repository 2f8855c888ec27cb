#include "u_Classes.h"

#include "u_SysUtils.h"

#include <algorithm>
#include <cstring>

int64_t TStream::GetSize() {
    const int64_t position = Seek(0, soFromCurrent);
    const int64_t size = Seek(0, soFromEnd);
    Seek(position, soFromBeginning);
    return size;
}

void TStream::ReadBuffer(void* buffer, int32_t count) {
    if (count != 0 && Read(buffer, count) != count) throw EReadError(SReadError);
}

void TStream::WriteBuffer(const void* buffer, int32_t count) {
    if (count != 0 && Write(buffer, count) != count) throw EWriteError(SWriteError);
}

uint32_t TStream::ReadUInt32() {
    unsigned char bytes[4];
    ReadBuffer(bytes, 4);
    return uint32_t(bytes[0]) | uint32_t(bytes[1]) << 8 | uint32_t(bytes[2]) << 16 | uint32_t(bytes[3]) << 24;
}

uint8_t TStream::ReadByte() {
    uint8_t value;
    ReadBuffer(&value, 1);
    return value;
}

void TStream::WriteUInt32(uint32_t value) {
    const unsigned char bytes[4] = {static_cast<unsigned char>(value), static_cast<unsigned char>(value >> 8),
                                    static_cast<unsigned char>(value >> 16),
                                    static_cast<unsigned char>(value >> 24)};
    WriteBuffer(bytes, 4);
}

void TStream::WriteByte(uint8_t value) {
    WriteBuffer(&value, 1);
}

namespace {

int64_t SeekWithin(int64_t position, int64_t size, int64_t offset, int origin) {
    switch (origin) {
    case soFromBeginning:
        position = offset;
        break;
    case soFromCurrent:
        position += offset;
        break;
    case soFromEnd:
        position = size + offset;
        break;
    default:
        break;
    }
    return std::max<int64_t>(position, 0);
}

int32_t ReadFrom(std::string_view data, int64_t& position, void* buffer, int32_t count) {
    const int64_t size = static_cast<int64_t>(data.size());
    if (count <= 0 || position >= size) return 0;
    const int32_t n = static_cast<int32_t>(std::min<int64_t>(count, size - position));
    std::memcpy(buffer, data.data() + position, static_cast<size_t>(n));
    position += n;
    return n;
}

} // namespace

void TMemoryStream::SetSize(int64_t newSize) {
    FData.resize(static_cast<size_t>(std::max<int64_t>(newSize, 0)));
    FPosition = std::min<int64_t>(FPosition, GetSize());
}

int32_t TMemoryStream::Read(void* buffer, int32_t count) {
    return ReadFrom(FData, FPosition, buffer, count);
}

int32_t TMemoryStream::Write(const void* buffer, int32_t count) {
    if (count <= 0) return 0;
    const size_t end = static_cast<size_t>(FPosition) + static_cast<size_t>(count);
    if (end > FData.size()) FData.resize(end);
    std::memcpy(FData.data() + FPosition, buffer, static_cast<size_t>(count));
    FPosition = static_cast<int64_t>(end);
    return count;
}

int64_t TMemoryStream::Seek(int64_t offset, int origin) {
    // A memory stream may be positioned past its end; the next write fills the gap with zeros.
    FPosition = SeekWithin(FPosition, GetSize(), offset, origin);
    return FPosition;
}

std::string TMemoryStream::TakeDataString() {
    FPosition = 0;
    return std::move(FData);
}

void TReadOnlyMemoryStream::SetSize(int64_t) {
    throw EWriteError(SWriteError);
}

int32_t TReadOnlyMemoryStream::Read(void* buffer, int32_t count) {
    return ReadFrom(FData, FPosition, buffer, count);
}

int32_t TReadOnlyMemoryStream::Write(const void*, int32_t) {
    return 0;
}

int64_t TReadOnlyMemoryStream::Seek(int64_t offset, int origin) {
    FPosition = std::min<int64_t>(SeekWithin(FPosition, GetSize(), offset, origin), GetSize());
    return FPosition;
}
