#pragma once

#include <cstdint>

#include "platform/fs/IXpFileOpProgressObserver.h"
#include "platform/result/XpResult.h"
#include "platform/text/XpString.h"

// Numbered new files and copies that go through a temporary file.

// Creates the first free file dir/prefix + number + middle + suffix, the
// number counted from 0 and zero-padded to digits digits, and returns its
// path; the new file stays, empty, for the caller. "" when digits is 0 or no
// file could be made.
XpString XpCreateUniqueNumberedFile(const XpString& dir, const XpString& prefix, uint32_t digits,
                                    const XpString& middle, const XpString& suffix);

// Copies source into a new "%08u.tmp" beside destination with XpCopyPath,
// then moves it onto destination. A destination that did not exist before is
// reserved first and removed again when the copy or the move fails; the
// temporary file never stays. kXpErrSystem when no temporary file can be
// made.
[[nodiscard]] XpResult XpCopyViaTempFile(const XpString& source, const XpString& destination, bool folderMode,
                                         IXpFileOpProgressObserver* observer);
