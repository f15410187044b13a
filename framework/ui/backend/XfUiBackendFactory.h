#pragma once

#include <memory>
#include <string>

#include "framework/ui/backend/XfUiBackend.h"

inline constexpr const char* kXfUiScriptVariable = "KAVO_UI_SCRIPT";
inline constexpr const char* kXfUiTranscriptVariable = "KAVO_UI_TRANSCRIPT";

// The back end a program runs with, chosen once at start: the scripted one
// when KAVO_UI_SCRIPT names a script (its transcript to the file named by
// KAVO_UI_TRANSCRIPT, else to standard output); otherwise the terminal one
// when standard input and output are both terminals; otherwise the
// automatic one, echoing to standard error. Null, with a message, when the
// script cannot be read or the transcript file cannot be made.
std::unique_ptr<XfUiBackend> XfUiCreateBackend(std::string* error);
