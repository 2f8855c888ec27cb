#include "u_ByteString.h"

#include <algorithm>
#include <cstring>
#include <ostream>

TByteString& TByteString::operator=(std::string bytes) noexcept {
    FOwn = std::move(bytes);
    FBuffer.reset();
    FShared = {};
    return *this;
}

TByteString& TByteString::operator=(const char* text) {
    return *this = std::string_view(text);
}

TByteString& TByteString::operator=(std::string_view bytes) {
    // bytes may lie inside this string's own buffer: copy before letting go of it.
    std::string copy(bytes);
    return *this = std::move(copy);
}

char* TByteString::MutableData() {
    if (FBuffer) *this = std::string(FShared);
    return FOwn.data();
}

void TByteString::resize(size_t size) {
    if (FBuffer) {
        if (size <= FShared.size()) {
            *this = std::string(FShared.substr(0, size));
            return;
        }
        std::string own;
        own.reserve(size);
        own.append(FShared);
        *this = std::move(own);
    }
    FOwn.resize(size);
}

void TByteString::reserve(size_t size) {
    if (FBuffer) {
        std::string own;
        own.reserve(std::max(size, FShared.size()));
        own.append(FShared);
        *this = std::move(own);
        return;
    }
    FOwn.reserve(size);
}

void TByteString::clear() noexcept {
    std::string().swap(FOwn); // the memory goes too, not only the bytes
    FBuffer.reset();
    FShared = {};
}

void TByteString::append(const char* bytes, size_t count) {
    write(size(), bytes, count);
}

void TByteString::write(size_t position, const char* bytes, size_t count) {
    if (FBuffer) reserve(std::max(size(), position + count));
    if (position > FOwn.size()) FOwn.resize(position);
    const size_t over = std::min(count, FOwn.size() - position);
    if (over > 0) std::memmove(FOwn.data() + position, bytes, over);
    FOwn.append(bytes + over, count - over);
}

TByteString TByteString::Share() {
    if (!FBuffer) {
        auto buffer = std::make_shared<const std::string>(std::move(FOwn));
        FShared = *buffer;
        FBuffer = std::move(buffer);
        FOwn = std::string();
    }
    return *this;
}

std::string TByteString::Take() {
    std::string result = FBuffer ? std::string(FShared) : std::move(FOwn);
    clear();
    return result;
}

std::ostream& operator<<(std::ostream& out, const TByteString& bytes) {
    return out << bytes.View();
}
