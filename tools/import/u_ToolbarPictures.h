// The toolbar pictures every imported book starts with: the project's own pictures (the sample
// book's), built into the packer so that an import needs nothing beside it.
#pragma once

#include <cstddef>

struct TEmbeddedFile {
    const char* Name;
    const unsigned char* Data;
    size_t Size;
};

// The picture of that file name, or nullptr.
const TEmbeddedFile* FindToolbarPicture(const char* name);
