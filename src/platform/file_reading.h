#pragma once

#include <cstdint>
#include <string_view>

// Sequential reading of one file at a time: an existing file, read access,
// no sharing. Every open failure looks the same to the caller.
bool OpenReadFile(std::u16string_view name);

// Reads up to `capacity` bytes into `buffer`. Returns the count read, 0 at
// the end of the file, or a negative value when the read failed.
int32_t ReadFileBytes(uint8_t* buffer, int32_t capacity);

void CloseReadFile();
