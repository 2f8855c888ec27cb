// The small run-time layer the rest of the program assumes: the exception classes of the run-time
// library (on the root class Exception and ExceptionMessageText, which the OS layer below holds in
// u_Exception.h), their message texts, and printf-style message formatting.
#pragma once

#include "u_Exception.h"

#include <stdexcept>
#include <string>

TV_DECLARE_EXCEPTION(EMFSError, Exception);
TV_DECLARE_EXCEPTION(EDictionaryError, Exception);
TV_DECLARE_EXCEPTION(EListError, Exception);
TV_DECLARE_EXCEPTION(EStreamError, Exception);
TV_DECLARE_EXCEPTION(EReadError, EStreamError);
TV_DECLARE_EXCEPTION(EWriteError, EStreamError);
TV_DECLARE_EXCEPTION(EConvertError, Exception);
TV_DECLARE_EXCEPTION(EOSError, Exception);

// Message texts of the run-time library.
inline constexpr const char* SListIndexError = "List index out of bounds (%d)";
inline constexpr const char* SListCapacityError = "List capacity out of bounds (%d)";
inline constexpr const char* SListCountError = "List count out of bounds (%d)";
inline constexpr const char* SReadError = "Stream read error";
inline constexpr const char* SWriteError = "Stream write error";

// printf-style formatting into a std::string ("%s" takes a const char*, "%d" an int).
std::string Format(const char* format, ...) __attribute__((format(printf, 1, 2)));
