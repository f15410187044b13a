// The help files of the selected language.

#include "installer-actions/common/InstallerCommonFunction.h"
#include "installer-actions/qmvproc/QMVProc.h"
#include "installer-actions/qmvproc/QmvActionLog.h"
#include "installer-actions/qmvproc/QmvLanguage.h"

namespace {

constexpr char16_t kSeparator = u'/';
constexpr const char16_t* kHelpFolder = u"Help";

// The help folder of the language that EMBEDDED selects; false when
// EMBEDDED cannot be read.
bool GetTargetLanguageFolderName(MSIHANDLE install, XpString& folder) {
  InstallerCommonFunction common(install);
  QmvActionLog log(common, u"GetTargetLanguageFolderName");
  log.TitleStart();
  XpString lcid;
  const bool read = common.GetPropertyMsi(install, u"EMBEDDED", lcid) == 0;
  if (read) folder = QmvLanguageOf(lcid).helpFolder;
  log.TitleEnd();
  return read;
}

// A folder property without one trailing separator; false when unread or
// empty, so that nothing is copied to or from the file system's root.
bool ReadFolder(InstallerCommonFunction& common, MSIHANDLE install, const char16_t* property, XpString& folder) {
  if (common.GetPropertyMsi(install, property, folder) != 0 || folder.IsEmpty()) return false;
  InstallerCommonFunction::RemoveTrailingChar(folder, kSeparator);
  return true;
}

// Copies every file below sourceHelp to the same place below targetHelp.
// Each collected path begins with sourceHelp and a separator; the copies
// are made unlogged.
void CopyHelpTree(InstallerCommonFunction& common, const XpString& sourceHelp, const XpString& targetHelp) {
  XpStringVector files;
  common.FindFilesRecursive(sourceHelp, u"*.*", files);
  const XpString prefix = sourceHelp + u"/";
  for (const XpString& file : files) {
    if (file.Left(prefix.GetLength()) != prefix) continue;
    XpString target;
    (void)target.Format(u"%s%c%s", targetHelp, kSeparator, file.Mid(prefix.GetLength()));
    InstallerCommonFunction copier(0);
    (void)copier.CopyFiles(file, target);
  }
}

// PathAppend's rule: one separator between the parts, none after "".
XpString AppendComponent(const XpString& folder, const char16_t* name) {
  if (folder.IsEmpty()) return XpString(name);
  XpString path = folder;
  InstallerCommonFunction::RemoveTrailingChar(path, kSeparator);
  return path + u"/" + name;
}

}  // namespace

extern "C" uint32_t QMV_CopyHelpFile(MSIHANDLE install) {
  InstallerCommonFunction common(install);
  QmvActionLog log(common, u"QMV_CopyHelpFile");
  log.TitleStart();
  XpString language;
  XpString source;
  XpString installed;
  if (GetTargetLanguageFolderName(install, language) && ReadFolder(common, install, u"SourceDir", source) &&
      ReadFolder(common, install, u"APPLICATIONROOTDIRECTORY", installed)) {
    const XpString sourceHelp = source + u"/" + kHelpFolder + u"/" + language;
    CopyHelpTree(common, sourceHelp, installed + u"/" + kHelpFolder);
  }
  log.TitleEnd();
  return 0;
}

extern "C" uint32_t QMV_DeleteHelpFile(MSIHANDLE install) {
  InstallerCommonFunction common(install);
  QmvActionLog log(common, u"QMV_DeleteHelpFile");
  log.TitleStart();
  XpString installed;
  if (common.GetPropertyMsi(install, u"APPLICATIONROOTDIRECTORY", installed) == 0) {
    (void)common.DeleteFiles(AppendComponent(installed, kHelpFolder));
  }
  log.TitleEnd();
  return 0;
}
