#pragma once

#include "accessor/task/K2ExportItem.h"
#include "platform/result/XpResult.h"

class SfContentInfoXML;

// Reads every content of the hand-over document into an item, in group and
// content order, and appends it to items. Side files are left out of an
// item's files; a content without a shooting date takes the file date of
// its first file. kXpErrValueParse for a missing group or content or a
// content whose files lie in two folders (compared exactly),
// kXpErrValueNotFound for a content without "Files" or "ContentType"; the
// build stops at the first error.
[[nodiscard]] XpResult K2BuildExportItems(const SfContentInfoXML& content,
                                          K2ExportItemVector* items);
