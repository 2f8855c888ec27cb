// The shell's "open" verb: hands a document or address to the reader's default program. Behind an
// interface so that tests can see what would have been opened without starting anything.
#pragma once

#include <memory>
#include <string>

class IShellOpener {
  public:
    virtual ~IShellOpener() = default;
    // Opens target (a URL, or a file path; system code page). Failures are not reported: the
    // caller has nobody to tell, and the reader sees that nothing opened.
    virtual void Open(const std::string& target) = 0;
};

// The process's opener: the default-application launcher unless a test has put another in place.
IShellOpener& ShellOpener();
// Replaces the process's opener (nullptr restores the real one); returns the previous replacement.
std::unique_ptr<IShellOpener> SetShellOpener(std::unique_ptr<IShellOpener> opener);
