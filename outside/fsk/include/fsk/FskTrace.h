#pragma once

#include <functional>
#include <string_view>

// Where fxTrace, the global function trace and the grammar loader write.
// The default sink writes to standard error. Tests install a sink that
// captures the text.
using FskTraceSink = std::function<void(std::string_view text)>;

// Installs sink (empty restores standard error) and returns the previous
// one.
FskTraceSink FskSetTraceSink(FskTraceSink sink);
void FskTraceText(std::string_view text);
