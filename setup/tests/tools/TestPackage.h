#pragma once

#include <string>
#include <vector>

#include "setup/tests/tools/TestPki.h"

namespace setuptest {

// The text stored in the test package's property table; changing it
// changes one table stream.
inline constexpr const char* kPackageMarker = "QmvTamperMarker0";

// Runs a program found on PATH with its output discarded; its exit status,
// or -1 when it could not be run.
int RunProgram(const std::vector<std::string>& arguments);

// Builds the unsigned test package at path from the package source kept
// with the tests.
bool BuildTestPackage(const std::string& path);

// Signs in into out with signer (its certificate and key in PEM files
// under work); options go to osslsigncode as well.
bool SignPackage(const Credential& signer, const std::string& work, const std::string& in,
                 const std::string& out, const std::vector<std::string>& options = {});

// Changes one byte of the package's table data (the marker text).
bool TamperPackageTable(const std::string& path);
// Damages the start of the package's signature stream.
bool TamperPackageSignature(const std::string& path);

bool ReadBytes(const std::string& path, std::string* bytes);
bool WriteBytes(const std::string& path, const std::string& bytes);

}  // namespace setuptest
