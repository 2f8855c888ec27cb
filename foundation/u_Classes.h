// Byte streams: the abstract TStream every reader and writer of the program works through, a
// growable memory stream, and a read-only stream over bytes someone else owns.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

// Seek origins.
enum : int { soFromBeginning = 0, soFromCurrent = 1, soFromEnd = 2 };

class TStream {
  public:
    TStream() = default;
    TStream(const TStream&) = delete;
    TStream& operator=(const TStream&) = delete;
    virtual ~TStream() = default;

    // Slots that each stream supplies. Read and Write move at most count bytes and return how many
    // moved; Seek returns the new position.
    virtual void SetSize(int64_t newSize) = 0;
    virtual int32_t Read(void* buffer, int32_t count) = 0;
    virtual int32_t Write(const void* buffer, int32_t count) = 0;
    virtual int64_t Seek(int64_t offset, int origin) = 0;

    int64_t GetPosition() { return Seek(0, soFromCurrent); }
    void SetPosition(int64_t position) { Seek(position, soFromBeginning); }
    // Size as the stream reports it; a stream may override it when seeking is not free.
    virtual int64_t GetSize();

    // Move exactly count bytes or fail with EReadError "Stream read error" / EWriteError
    // "Stream write error".
    void ReadBuffer(void* buffer, int32_t count);
    void WriteBuffer(const void* buffer, int32_t count);

    // Convenience readers for the little-endian records the archive format uses.
    uint32_t ReadUInt32();
    uint8_t ReadByte();
    void WriteUInt32(uint32_t value);
    void WriteByte(uint8_t value);
};

// A stream over bytes it owns; grows on write.
class TMemoryStream : public TStream {
  public:
    TMemoryStream() = default;
    explicit TMemoryStream(std::string data) : FData(std::move(data)) {}

    void SetSize(int64_t newSize) override;
    int32_t Read(void* buffer, int32_t count) override;
    int32_t Write(const void* buffer, int32_t count) override;
    int64_t Seek(int64_t offset, int origin) override;
    int64_t GetSize() override { return static_cast<int64_t>(FData.size()); }

    const std::string& DataString() const { return FData; }
    std::string TakeDataString();

  private:
    std::string FData;
    int64_t FPosition = 0;
};

// A read-only stream over bytes that outlive it (no copy is made). Writing fails.
class TReadOnlyMemoryStream : public TStream {
  public:
    explicit TReadOnlyMemoryStream(std::string_view data) : FData(data) {}

    void SetSize(int64_t newSize) override;
    int32_t Read(void* buffer, int32_t count) override;
    int32_t Write(const void* buffer, int32_t count) override;
    int64_t Seek(int64_t offset, int origin) override;
    int64_t GetSize() override { return static_cast<int64_t>(FData.size()); }

    // The unread rest, for readers that take a whole run of bytes without copying it twice.
    std::string_view Remaining() const { return FData.substr(static_cast<size_t>(FPosition)); }

  private:
    std::string_view FData;
    int64_t FPosition = 0;
};
