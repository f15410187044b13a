#pragma once

#include "platform/text/XpString.h"

// True when every file of a complete install set exists as a file, tested
// in this order: target (in the data folder "Data/"), "setup" and
// "setup.ini" (in programFolder), "Version.txt", "data.bin" and the
// target's cabinet, target with every ".msi" turned into ".cab" (in the data
// folder). programFolder ends with '/'.
bool CheckRequiredFiles(const XpString& programFolder, const XpString& target);
