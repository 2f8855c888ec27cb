// A variables file and a text from arbitrary input: loading either succeeds or fails with the
// reader's or the variables' own errors, and substitution never fails.
#include "u_Variables.h"

#include <fuzzer/FuzzedDataProvider.h>

#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    FuzzedDataProvider in(data, size);
    const bool marker = in.ConsumeBool();
    const std::string file = in.ConsumeRandomLengthString(4096);
    const std::string text = in.ConsumeRemainingBytesAsString();
    try {
        TVariables variables(file, marker);
        variables.Substitute(text);
    } catch (const Exception&) {
        // Parse errors, conversion errors and EVariablesError for a cycle.
    }
    TVariables none("", marker);
    if (none.Substitute(text) != text) __builtin_trap(); // no variables: text unchanged
    return 0;
}
