// The root of the program's own exceptions: a class that carries a message and nothing else, the
// macro that declares the named error classes derived from it, and the message text of whatever was
// thrown.
//
// It lives in the OS layer, below the run-time layer's streams and lists, because the layer's own
// services raise named errors too (a picture that does not read, a program copy that cannot be
// written) and report the failures that reach a GUI callback. Every layer above gets it through
// u_SysUtils.h, which adds the run-time library's error classes and message texts.
#pragma once

#include <exception>
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

// The message of the exception being handled: the message of a standard exception object, or a
// description of any other thrown value, at most 1024 characters. Call only inside a catch block.
std::string ExceptionMessageText();
