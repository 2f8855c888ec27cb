// Message texts of the cabinet reader.
#pragma once

inline constexpr const char* SCabNotACabinet = "File \"%s\" is not a cabinet";
inline constexpr const char* SCabSpannedUnsupported = "Spanned cabinets are unsupported now";
inline constexpr const char* SCabFDIError = "FDI error";

// Texts of the cabinet library's error codes, indexed by code.
inline constexpr const char* SCabFDIErrorTexts[] = {
    "No error",
    "Cabinet not found",
    "Cabinet file does not have the correct format",
    "Cabinet file has an unknown version number",
    "Cabinet file is corrupt",
    "Could not allocate enough memory",
    "Unknown compression type in a cabinet folder",
    "Failure decompressing data from a cabinet file",
    "Failure writing to target file",
    "Cabinets in a set do not have the same RESERVE sizes",
    "Cabinet returned on fdintNEXT_CABINET is incorrect",
    "FDI aborted",
};
