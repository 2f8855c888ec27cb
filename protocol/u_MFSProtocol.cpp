#include "u_MFSProtocol.h"

#include "u_Text.h"

TMFSInternetProtocol::TMFSInternetProtocol(std::string_view name, TMFS* archive)
    : Archive(archive), ProtocolName(name), FSupport(std::make_unique<TInternetProtocolSupport>()) {
    FSupport->SetProtocol(ProtocolName);
    FSupport->OnGetData = [this](TInternetProtocolSupport* sender, const std::string& url,
                                 TByteString& data) { SupportGetData(sender, url, data); };
    FSupport->OnCombineURL = [this](TInternetProtocolSupport* sender, const std::string& baseURL,
                                    const std::string& relativeURL, std::string& result) {
        SupportCombineURL(sender, baseURL, relativeURL, result);
    };
    FSupport->SetActive(true);
}

void TMFSInternetProtocol::SupportGetData(TInternetProtocolSupport*, const std::string& url,
                                          TByteString& data) {
    std::string path = url;
    // Tolerate a doubled scheme prefix ("mfs:mfs:\a.htm" hands over "mfs:\a.htm").
    const std::string prefix = ProtocolName + ":";
    if (path.size() >= prefix.size() && AnsiSameText(std::string_view(path).substr(0, prefix.size()), prefix))
        path.erase(0, prefix.size());
    // No copy: the content shares the file's bytes (which stay valid however long the browser
    // holds them, also when the file changes or the archive goes).
    data = Archive->Session()->GetFile(path)->Data.Share();
    if (OnAfterGetData) OnAfterGetData(this, path, data);
}

void TMFSInternetProtocol::SupportCombineURL(TInternetProtocolSupport*, const std::string& baseURL,
                                             const std::string& relativeURL, std::string& result) {
    const std::string base = TMFS::NormalizePath(baseURL);
    const std::string relative = TMFS::NormalizePath(relativeURL);
    if (StartsWithBackslash(relative))
        result = relative;
    else
        result = TMFS::ExtractFilePath(base) + relative;
}
