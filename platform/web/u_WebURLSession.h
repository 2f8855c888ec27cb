// The URL session over WebKit: schemes registered with it are served to every web view of one
// WebKitWebContext by the program's protocol objects.
//
// Registering a name the first time registers the scheme with WebKit (as secure and CORS-enabled).
// WebKit cannot forget a scheme, so the session keeps the live table itself: a request for a
// scheme that is no longer registered is refused with an error.
//
// A request goes: engine URL -> viewer URL (UrlFromEngine, query and fragment dropped: the archive
// looks files up by their path, while the page keeps its query in location.search) -> a protocol
// object from the scheme's factory -> Start with a recording sink -> Read until S_FALSE -> the
// bytes to WebKit with a content type (ContentTypeFor) and a status. The status comes from the
// error argument of the sink's ReportResult: HTTP_STATUS_NOT_FOUND (the content is the error page
// of a missing file) goes to WebKit as 404, so pictures and scripts that are not there fail in the
// page while a page that is not there shows the error page; anything else is 200. Every request is
// logged (domain "Tomevane") with its status.
// Text goes out with a bare content type, without a character set: a page's own declaration
// (meta, BOM) decides, else the web view's default, which the viewer sets to the system code page.
// Audio and video do not play from a custom scheme in WebKit: books cannot use them here.
//
// URL forms: the viewer addresses pages as "mfs:" plus an archive path ("mfs:\chapter1\p.htm").
// WebKit resolves relative links only in hierarchical URLs, so towards the engine the path uses
// "/" and starts with one ("mfs:/chapter1/p.htm"); UrlToEngine and UrlFromEngine convert between
// the two for the schemes this session has registered with WebKit and leave other URLs alone.
#pragma once

#include "u_UrlMon.h"

#include <string>
#include <string_view>

typedef struct _WebKitWebContext WebKitWebContext;

// Creates the WebKit URL session over context (WebKit's default context when nullptr) and makes
// it the process's URL session (InstallURLSession). Call on the GUI thread after GTK is set up.
void InstallWebKitURLSession(WebKitWebContext* context = nullptr);

// Whether scheme (any letter case) was registered with WebKit by the installed session, so that
// URLs of it take the engine form there.
bool IsEngineScheme(std::string_view scheme);

// "mfs:\a\b c.htm" -> "mfs:/a/b%20c.htm": the viewer's form (system code page) to a UTF-8 URI for
// the engine. "\" becomes "/", the path starts with "/", blanks, controls and non-ASCII
// characters are percent-encoded, a fragment stays. An empty path stays empty.
std::string UrlToEngine(std::string_view viewerUrl);

// "mfs:/a/b%20c.htm" -> "mfs:\a\b%20c.htm": the engine's URI back to the viewer's form. "/"
// becomes "\"; escapes of non-ASCII bytes are decoded and the text converted to the system code
// page; in the path the escapes WebKit adds to characters a file name may hold ('"', "<", ">",
// "^", "`", "{", "}") are decoded too; other ASCII escapes ("%20") stay; a path segment that starts with "\"
// was a root-relative link (WebKit appended it to the page's folder) and restarts at the root. The fragment
// stays.
std::string UrlFromEngine(std::string_view engineUrl);

// The content type of a response: from the file name's extension (case-insensitive) for the
// common web types, else sniffed from the bytes, else application/octet-stream.
std::string ContentTypeFor(std::string_view path, std::string_view data);

// Books written on Windows link with "\" ("sub\page.htm", "..\style\book.css"). For the engine
// "\" is no separator in these schemes, so the page or style sheet reached would lose its folder
// and its own relative links would resolve one level too high. Served documents therefore have
// "\" turned into "/" where they name other files: in the href and src attributes of HTML tags
// (not in scripts, style elements or comments, and not in javascript: addresses), and in url()
// and @import of style sheets. Nothing else of the bytes changes.
void ForwardSlashLinksInHtml(std::string& html);
void ForwardSlashUrlsInCss(std::string& css);
