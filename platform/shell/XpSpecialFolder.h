#pragma once

#include <cstdint>

#include "platform/text/XpString.h"

// The kinds of XpGetSpecialFolder.
enum XpSpecialFolderKind : int32_t {
  kXpFolderTemp = 0,
  kXpFolderPictures = 1,
  kXpFolderVideos = 2,
  kXpFolderMusic = 3,
  kXpFolderDocuments = 4,
  kXpFolderDesktop = 5,
  kXpFolderSharedPictures = 6,
  kXpFolderSharedVideos = 7,
  kXpFolderSharedMusic = 8,
  kXpFolderSharedDocuments = 9,
  kXpFolderAppData = 10,
  kXpFolderProgramFolder = 11,
  kXpFolderProgramFile = 12,
  kXpFolderProfile = 13,
  kXpFolderCommonAppData = 14,
  kXpFolderProgramFiles = 15,
  kXpFolderCommonPrograms = 16,
};

// Set, it names a folder that the machine-wide kinds (common app data,
// program files, common programs) move below, so that tests run as root
// never write into the real system folders.
inline constexpr const char* kXpMachineRootVariable = "KAVO_MACHINE_ROOT";

// The folder of a kind:
//   temp         $TMPDIR or "/tmp", with a trailing '/'
//   pictures, videos, music, documents, desktop
//                the XDG user folders of $XDG_CONFIG_HOME/user-dirs.dirs,
//                else ~/Pictures, ~/Videos, ~/Music, ~/Documents, ~/Desktop
//   shared ...   "" (there are no shared folders)
//   app data     $XDG_DATA_HOME, else ~/.local/share
//   program folder, program file
//                the folder (with a trailing '/') and the path of the
//                running program
//   profile      $HOME
//   common app data "/var/lib/kavo"
//   program files "/opt"
//   common programs "/usr/share/applications"
//                the last three below $KAVO_MACHINE_ROOT when it is set
// "" for any other kind or when the folder cannot be told. With create the
// folder tree is made (not for the program's kinds); a folder that exists
// already is fine, any other failure gives "".
XpString XpGetSpecialFolder(int32_t kind, bool create);

// The name people see for the folders of kinds 1 to 9: the folder's leaf
// name; "" for other kinds and for folders that cannot be told.
XpString XpGetSpecialFolderDisplayName(int32_t kind);

// The application-data folder joined with a, b and c (a and c are skipped
// when empty); "" when that folder cannot be told. With create the folder
// tree is made when it is not yet a folder.
XpString XpGetAppDataPath(const XpString& a, const XpString& b, const XpString& c, bool create);

// The program folder joined with name when that file exists, else "".
XpString XpFindFileBesideProgram(const XpString& name);
