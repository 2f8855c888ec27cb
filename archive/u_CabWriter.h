// Writing cabinets in memory (libgcab): the packer's book cabinets and the tests' fixtures.
#pragma once

#include "u_SysUtils.h"

#include <cstdint>
#include <string>
#include <vector>

TV_DECLARE_EXCEPTION(ECabWriteError, Exception);

struct TCabEntry {
    std::string Name;
    std::string Data;
    uint32_t DateTime = 0x00210000; // DOS date-time, date in the high 16 bits (1980-01-01 00:00)
    uint16_t Attributes = 0x20;
};

// One folder holding the entries in the given order, MSZIP-compressed or stored. Raises
// ECabWriteError with libgcab's message on failure.
std::string WriteCabinet(const std::vector<TCabEntry>& entries, bool compress = true);
