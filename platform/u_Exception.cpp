#include "u_Exception.h"

#include <cstdlib>
#include <cxxabi.h>
#include <typeinfo>

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
