#pragma once

#include "platform/result/XpResult.h"
#include "platform/text/XpString.h"

// What became of the file named after "export" once the export is over.
enum class K2HandOverRemoval {
  // It was a hand-over file and is gone.
  kDeleted,
  // No path was given, or nothing lies there.
  kNothingThere,
  // It does not load as a property list; it stays.
  kKeptNotPropertyList,
  // A property list whose root holds no "ContentsGroupList"; it stays.
  kKeptNoGroupList,
  // A hand-over file that could not be deleted.
  kDeleteFailed,
};

struct K2HandOverRemovalResult {
  K2HandOverRemoval removal = K2HandOverRemoval::kNothingThere;
  // The load's or the delete's code where one failed.
  XpResult code = kXpOk;
};

// Deletes path permanently when it is a hand-over file: a property list whose
// root holds "ContentsGroupList". Any other file is left alone, so a path of
// a picture typed after "export" never costs the picture.
K2HandOverRemovalResult K2RemoveHandOverFile(const XpString& path);
