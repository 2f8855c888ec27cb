#include "u_SysUtils.h"

#include <cstdarg>
#include <cstdio>
#include <cxxabi.h>
#include <typeinfo>
#include <vector>

std::string Format(const char* format, ...) {
    va_list args;
    va_start(args, format);
    va_list copy;
    va_copy(copy, args);
    const int length = std::vsnprintf(nullptr, 0, format, copy);
    va_end(copy);
    std::string result;
    if (length > 0) {
        result.resize(static_cast<size_t>(length));
        std::vsnprintf(result.data(), result.size() + 1, format, args);
    }
    va_end(args);
    return result;
}

std::string ExceptionMessageText() {
    constexpr size_t MaxLength = 1024;
    std::string text;
    try {
        throw;
    } catch (const std::exception& e) {
        return e.what();
    } catch (...) {
        // Not a standard exception: describe the thrown value by its type, as the run-time
        // library's default description does.
        const std::type_info* type = abi::__cxa_current_exception_type();
        std::string name = "unknown";
        if (type) {
            int status = 0;
            char* demangled = abi::__cxa_demangle(type->name(), nullptr, nullptr, &status);
            name = status == 0 && demangled ? demangled : type->name();
            std::free(demangled);
        }
        text = "Exception of type " + name + " raised";
    }
    if (text.size() > MaxLength) text.resize(MaxLength);
    return text;
}
