// The user script that gives book pages their window.external: JavaScript proxies generated from
// the object-model table (u_TypeLib). Every member access is a synchronous request to the private
// scheme "vellumet-host:" carrying the object's handle, the dispatch id, the invoke kind and the
// arguments as JSON; the answer is the result (objects come back as handles and become proxies,
// the same proxy for the same handle) or the failure's message, thrown as a script Error.
//
// The script defines nothing outside pages of the schemes mfs and system. In the top frame it also
// takes over window.close(), which the engine ignores for a page with history, and sends the
// request to the viewer instead ("vellumet-host:close").
#pragma once

#include <string>

inline constexpr const char* HostScheme = "vellumet-host";

// The script's text, built once.
const std::string& HostUserScript();
