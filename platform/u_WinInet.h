// URL canonicalisation, in the shape of InternetCanonicalizeUrlA: 8-bit text in, 8-bit text out
// through a caller's buffer, failures reported through GetLastError.
//
// What it does to a URL:
// - unsafe characters (blanks and control characters) become %XX escapes; bytes of 0x80 and above
//   are text in the system code page and stay as they are, because the viewer's scheme handlers
//   look names up in that code page and decode nothing but "%20";
// - "." and ".." segments are removed from the path of hierarchical URLs (scheme "://" authority
//   path); other URLs, such as "mfs:\pages\..\b.htm", keep theirs for their handler to resolve.
// Nothing else changes (letter case, backslashes, queries and fragments stay).
#pragma once

#include "u_ActiveX.h"

inline constexpr DWORD ICU_NO_ENCODE = 0x20000000;          // do not escape unsafe characters
inline constexpr DWORD ICU_DECODE = 0x10000000;             // decode every %XX escape first
inline constexpr DWORD ICU_NO_META = 0x08000000;            // keep "." and ".." segments
inline constexpr DWORD ICU_ENCODE_SPACES_ONLY = 0x04000000; // escape blanks only
inline constexpr DWORD ICU_BROWSER_MODE = 0x02000000;       // accepted, no effect here
inline constexpr DWORD ICU_ENCODE_PERCENT = 0x00001000;     // escape "%" as well

inline constexpr DWORD ERROR_INSUFFICIENT_BUFFER = 122;
inline constexpr DWORD ERROR_INVALID_PARAMETER = 87;
inline constexpr DWORD ERROR_INTERNET_INVALID_URL = 12005;

// The error code of the calling thread's last failed call.
DWORD GetLastError();
void SetLastError(DWORD error);

// url: zero-terminated. *length: on entry the size of buffer in bytes; on success the length of
// the canonical URL (without the terminating zero, which is written too); on failure with
// ERROR_INSUFFICIENT_BUFFER the size needed, terminating zero included. A URL without a scheme
// fails with ERROR_INTERNET_INVALID_URL, missing arguments with ERROR_INVALID_PARAMETER.
bool InternetCanonicalizeUrlA(const char* url, char* buffer, DWORD* length, DWORD flags);
