// The program's debug log: one event per line under the GLib log domain "Tomevane", printed when
// G_MESSAGES_DEBUG includes that domain (end-to-end tests read it).
#pragma once

#include <glib.h>

inline constexpr const char* TomevaneLogDomain = "Tomevane";

// printf-style; the line is written only when debug output of the domain is enabled.
void LogDebug(const char* format, ...) G_GNUC_PRINTF(1, 2);
