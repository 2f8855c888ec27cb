#include "u_GuardedCall.h"

#include "u_DebugLog.h"
#include "u_Dialogs.h"
#include "u_Exception.h"

#include <string>

void ReportCallbackFailure(const char* where) noexcept {
    try {
        const std::string message = ExceptionMessageText();
        LogDebug("%s failed: %s", where, message.c_str());
        ShowMessageBox(TMessageKind::Error, message);
    } catch (...) {
        // The box itself failed (out of memory, no display): the log line is all there is.
        LogDebug("%s failed; the error box could not be shown", where);
    }
}
