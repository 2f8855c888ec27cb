// The small run-time layer the rest of the program assumes: exception classes that carry only a
// message, printf-style message formatting, and the message text of any thrown value.
#pragma once

#include <exception>
#include <stdexcept>
#include <string>

// Common base of every exception the program raises itself. Carries a message and nothing else.
class Exception : public std::exception {
  public:
    explicit Exception(std::string message) : FMessage(std::move(message)) {}
    const char* what() const noexcept override { return FMessage.c_str(); }
    const std::string& Message() const noexcept { return FMessage; }

  private:
    std::string FMessage;
};

#define TV_DECLARE_EXCEPTION(Name, Base)                                                                     \
    class Name : public Base {                                                                               \
      public:                                                                                                \
        using Base::Base;                                                                                    \
    }

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

// The message of the exception being handled: the message of a standard exception object, or a
// description of any other thrown value, at most 1024 characters. Call only inside a catch block.
std::string ExceptionMessageText();
