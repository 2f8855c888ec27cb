// Requests to the script host's scheme from arbitrary URLs: reading one never fails, and a request
// read as an object, written back as JSON and percent-encoded, reads again as the same request.
#include "u_HostRequest.h"

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

namespace {

void Write(std::string& out, const TJson& value) {
    switch (value.Kind) {
    case TJson::Null:
        out += "null";
        break;
    case TJson::Bool:
        out += value.BoolValue ? "true" : "false";
        break;
    case TJson::Number: {
        if (std::isinf(value.NumberValue)) {
            out += value.NumberValue > 0 ? "1e999" : "-1e999";
            break;
        }
        char number[40];
        std::snprintf(number, sizeof number, "%.17g", value.NumberValue);
        out += number;
        break;
    }
    case TJson::String:
        out += '"';
        for (const char c : value.StringValue) {
            if (c == '"' || c == '\\') out += '\\';
            out += c;
        }
        out += '"';
        break;
    case TJson::Array:
        out += '[';
        for (size_t i = 0; i < value.Items.size(); ++i) {
            if (i) out += ',';
            Write(out, value.Items[i]);
        }
        out += ']';
        break;
    case TJson::Object:
        out += '{';
        for (size_t i = 0; i < value.Members.size(); ++i) {
            if (i) out += ',';
            TJson key;
            key.Kind = TJson::String;
            key.StringValue = value.Members[i].first;
            Write(out, key);
            out += ':';
            Write(out, value.Members[i].second);
        }
        out += '}';
        break;
    }
}

bool Same(const TJson& a, const TJson& b) {
    if (a.Kind != b.Kind || a.BoolValue != b.BoolValue || a.StringValue != b.StringValue ||
        a.Items.size() != b.Items.size() || a.Members.size() != b.Members.size())
        return false;
    if (a.Kind == TJson::Number && a.NumberValue != b.NumberValue) return false;
    for (size_t i = 0; i < a.Items.size(); ++i)
        if (!Same(a.Items[i], b.Items[i])) return false;
    for (size_t i = 0; i < a.Members.size(); ++i)
        if (a.Members[i].first != b.Members[i].first || !Same(a.Members[i].second, b.Members[i].second))
            return false;
    return true;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string uri(reinterpret_cast<const char*>(data), size);
    const THostRequest request = ReadHostRequest(uri);
    if (!request.Parsed) return 0;
    if (request.Body.Kind != TJson::Object) std::abort();
    // What the host reads of a call: its handle, dispatch id, kind and arguments.
    for (const char* name : {"u", "h", "d", "k", "a"})
        if (const TJson* member = request.Body.Member(name); member && member->Kind == TJson::Array)
            for (const TJson& item : member->Items)
                (void)item.Member("$h");

    std::string json;
    Write(json, request.Body);
    // A URL without a colon before its "?" takes its op from a colon further on, "?" included:
    // such an op cannot be written back in front of a "?", and only the body is compared then.
    // (The engine only hands over URLs that start with the scheme and its colon.)
    const bool opKept = request.Op.find('?') == std::string::npos;
    std::string again = "vellumet-host:" + (opKept ? request.Op : std::string("call")) + "?";
    for (const unsigned char c : json) {
        char escape[4];
        std::snprintf(escape, sizeof escape, "%%%02X", c);
        again += escape;
    }
    const THostRequest reread = ReadHostRequest(again);
    if (!reread.Parsed || (opKept && reread.Op != request.Op) || !Same(reread.Body, request.Body))
        std::abort();
    return 0;
}
