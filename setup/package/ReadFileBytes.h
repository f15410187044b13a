#pragma once

#include <string>

#include "platform/text/XpString.h"

// Reads the whole file at path into bytes; false when it cannot be read.
// Throws std::bad_alloc when the bytes do not fit in memory.
bool ReadFileBytes(const XpString& path, std::string* bytes);
