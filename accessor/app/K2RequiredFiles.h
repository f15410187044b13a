#pragma once

#include <optional>

#include "platform/text/XpString.h"

// The files the program needs beside it, names relative to the program
// folder. A file added to the build's copy step beside the program that the
// program cannot run without belongs here too; the MP4 parser and the movie
// plug-in do not: without them only movies fail.
inline constexpr const char16_t* kK2RequiredFiles[] = {
    u"TLVK2Accessor",
    u"Strings.xml",
    u"libCatalogGrammar.so",
    u"libCatalogGrammarExt.so",
    u"TLVMPThumb",
};

// The required-file names as a list.
XpStringVector K2DefaultRequiredFiles();

// The path of the first of names that is not a file in folder; nothing when
// every one is there. The files are only looked at, never opened.
std::optional<XpString> K2FindMissingRequiredFile(const XpString& folder, const XpStringVector& names);
