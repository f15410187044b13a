#pragma once

#include <functional>
#include <string>

// The line that asks the user to restart.
inline constexpr const char* kSetupRestartLine = "setup: restart the computer to finish the installation.";

// The computer is never restarted: the user is asked to, with one line
// written by writeLine (standard output unless a test replaces it).
void RestartWindows(const std::function<void(const std::string& line)>& writeLine);
