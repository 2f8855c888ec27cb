// Serves the files of one in-memory archive under one URL scheme ("mfs" for the pages, "system"
// for the system archive). The URL remainder is an archive path: "\" or "/" separate folders, a
// leading separator starts at the root, anything else starts at the current folder of the
// archive's default session, names match ignoring case. Content is the file's bytes as stored,
// passed through OnAfterGetData (the viewer substitutes the book's variables there).
#pragma once

#include "u_InternetProtocol.h"
#include "u_MFS.h"

#include <functional>
#include <memory>
#include <string>
#include <string_view>

class TMFSInternetProtocol;

// Sender, the archive path served, the content (may be rewritten). The content arrives sharing the
// archive file's bytes; a handler that leaves it alone lets the page go out without a copy.
using TAfterGetDataEvent =
    std::function<void(TMFSInternetProtocol* sender, const std::string& url, TByteString& data)>;

class TMFSInternetProtocol {
  public:
    // Registers the scheme name for archive (which must outlive this object). A registration
    // failure propagates.
    TMFSInternetProtocol(std::string_view name, TMFS* archive);
    TMFSInternetProtocol(const TMFSInternetProtocol&) = delete;
    TMFSInternetProtocol& operator=(const TMFSInternetProtocol&) = delete;
    // Unregisters the scheme; the archive is left alone.
    ~TMFSInternetProtocol() = default;

    TMFS* Archive;
    const std::string ProtocolName;
    TAfterGetDataEvent OnAfterGetData;

    TInternetProtocolSupport& Support() const { return *FSupport; }

  private:
    void SupportGetData(TInternetProtocolSupport* sender, const std::string& url, TByteString& data);
    void SupportCombineURL(TInternetProtocolSupport* sender, const std::string& baseURL,
                           const std::string& relativeURL, std::string& result);

    std::unique_ptr<TInternetProtocolSupport> FSupport;
};
