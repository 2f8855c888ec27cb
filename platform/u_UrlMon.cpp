#include "u_UrlMon.h"

namespace {

TComPtr<IInternetSession>& InstalledSession() {
    static TComPtr<IInternetSession> session;
    return session;
}

} // namespace

HRESULT CoInternetGetSession(DWORD, IInternetSession** session, DWORD) {
    if (!session) return E_POINTER;
    *session = InstalledSession().Get();
    if (!*session) return E_FAIL;
    (*session)->AddRef();
    return S_OK;
}

void InstallURLSession(IInternetSession* session) {
    // Swap first, release afterwards: the old session's destruction must not see itself installed.
    TComPtr<IInternetSession> old = std::move(InstalledSession());
    InstalledSession() = TComPtr<IInternetSession>(session);
}
