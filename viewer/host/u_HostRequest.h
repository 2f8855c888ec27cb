// Reading the requests that page scripts send to the viewer's "vellumet-host:" scheme:
// "vellumet-host:<op>?<JSON>", the JSON percent-encoded. Plain text work with no windows, so that
// it can be exercised on its own.
#pragma once

#include <string>
#include <string_view>
#include <utility>
#include <vector>

// The little JSON the proxies send: objects, arrays, strings, numbers, true, false, null.
struct TJson {
    enum TKind { Null, Bool, Number, String, Array, Object } Kind = Null;
    bool BoolValue = false;
    double NumberValue = 0;
    std::string StringValue; // UTF-8
    std::vector<TJson> Items;
    std::vector<std::pair<std::string, TJson>> Members;

    // Made where the type is complete: a value holds pairs that hold values.
    TJson();
    TJson(const TJson&);
    TJson(TJson&&) noexcept;
    TJson& operator=(const TJson&);
    TJson& operator=(TJson&&) noexcept;
    ~TJson();

    // The member of that name, or null.
    const TJson* Member(std::string_view name) const;
};

// A request as its URL carries it.
struct THostRequest {
    std::string Op;      // what follows the scheme, up to the "?"
    TJson Body;          // the decoded JSON after the "?"
    bool Parsed = false; // there is a "?" and after it one JSON object
};

THostRequest ReadHostRequest(std::string_view uri);
