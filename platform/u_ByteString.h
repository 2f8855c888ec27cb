// A byte string that either owns its bytes or shares a read-only range of a larger buffer.
//
// Archive files loaded from one image keep their bytes where the image holds them instead of each
// taking a copy, and a served page can travel to the browser engine by reference. Sharing is
// invisible to readers: the bytes never change under anyone's feet, because the first change
// through this string makes it the sole owner of a private copy first (the other sharers keep the
// buffer as it was). A shared buffer lives as long as the last string that refers to it.
//
// Readers see a contiguous range of bytes (data/size, or a std::string_view). Everything that
// writes (assignment, resize, append, MutableData) leaves the string owning its bytes.
#pragma once

#include <cstddef>
#include <iosfwd>
#include <memory>
#include <string>
#include <string_view>

class TByteString {
  public:
    TByteString() noexcept = default;
    // Takes the bytes over without copying them.
    TByteString(std::string bytes) noexcept : FOwn(std::move(bytes)) {}
    TByteString(const char* text) : FOwn(text) {}
    // The range of bytes held by owner (a string, a mapping of a file, ...), read-only and kept
    // alive by this string.
    TByteString(std::shared_ptr<const void> owner, std::string_view range) noexcept
        : FBuffer(std::move(owner)), FShared(range) {}

    TByteString& operator=(std::string bytes) noexcept;
    TByteString& operator=(const char* text);
    TByteString& operator=(std::string_view bytes);

    const char* data() const noexcept { return FBuffer ? FShared.data() : FOwn.data(); }
    size_t size() const noexcept { return FBuffer ? FShared.size() : FOwn.size(); }
    bool empty() const noexcept { return size() == 0; }
    const char* begin() const noexcept { return data(); }
    const char* end() const noexcept { return data() + size(); }
    char operator[](size_t index) const noexcept { return data()[index]; }
    std::string_view View() const noexcept { return {data(), size()}; }
    operator std::string_view() const noexcept { return View(); }
    // A copy as an ordinary string.
    std::string str() const { return std::string(View()); }

    // Writing. Shared bytes are copied first (only the part that is kept, for resize and clear).
    char* MutableData();
    void resize(size_t size);
    // Room for size bytes, so that appending up to there does not move the bytes.
    void reserve(size_t size);
    void clear() noexcept;
    void append(const char* bytes, size_t count);
    // Writes count bytes at position, over the bytes there and appending what goes beyond the
    // end; a position past the end first fills the gap with zero bytes. Nothing is zero-filled
    // that is then written.
    void write(size_t position, const char* bytes, size_t count);

    // Whether the bytes are shared with a buffer rather than owned.
    bool Shared() const noexcept { return static_cast<bool>(FBuffer); }
    // The same bytes as a string that shares them. Owned bytes are moved into a shared buffer
    // first (not copied), so that this string and the result share from now on.
    TByteString Share();
    // The bytes as an ordinary string: owned bytes are moved out, shared ones copied. Leaves this
    // string empty.
    std::string Take();

    friend bool operator==(const TByteString& a, std::string_view b) noexcept { return a.View() == b; }

  private:
    std::string FOwn;                    // the bytes when not shared
    std::shared_ptr<const void> FBuffer; // what holds the shared bytes, or none
    std::string_view FShared;            // the range of FBuffer when shared
};

std::ostream& operator<<(std::ostream& out, const TByteString& bytes);
