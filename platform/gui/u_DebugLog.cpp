#include "u_DebugLog.h"

#include <cstdarg>

void LogDebug(const char* format, ...) {
    va_list args;
    va_start(args, format);
    g_logv(TomevaneLogDomain, G_LOG_LEVEL_DEBUG, format, args);
    va_end(args);
}
