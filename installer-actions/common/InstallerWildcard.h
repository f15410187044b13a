#pragma once

#include <string_view>

// Whether a file name matches a pattern with the shell's wildcards: '*'
// any run of units, '?' exactly one; "*.*" matches every name, with or
// without a dot. Units compare exactly (case-sensitively).
bool InstallerMatchesPattern(std::u16string_view name, std::u16string_view pattern);
