#pragma once

#include "platform/text/XpString.h"

// Where the suite's programs, shared folders and settings are, read from the
// suite's registry tree and the user's folders. Every function answers with
// a path ("" when nothing was found) or a bool; none reports an error code.
//
// Registry layout, under "Software\Kavo Corporation\Kavo Telvane":
//   local machine, suite key       "InstalledLocation" (holds "Version.txt")
//   local machine, <program>       "CurrentVersion": the name of a subkey
//   local machine, <program>\<ver> "InstalledLocation", "ExeName"
//   current user, Browser\<ver>\RegisteredFolders  the string list "Folder"
//   current user, Browser\<ver>\Settings           "Configuration_diskCachePath"
// A program's "CurrentVersion" is always read under the local machine, even
// where the settings it names lie under the current user. Key paths are
// used as written: "Accessor/HDD1" is two levels.
//
// Executable names are data ("TLVBrowser.exe"): whoever starts the program
// goes through XpRunProgram.

inline constexpr const char16_t* kSfSuiteKeyPath = u"Software\\Kavo Corporation\\Kavo Telvane";

// The browser's executable: the location and executable name of its
// current version; without a location, the folder "Browser" beside this
// program's folder when it exists; without a name, "TLVBrowser.exe". A
// missing location gives the bare name.
XpString SfGetBrowserPath();
// The same for "Announce", its folder "Announce" and "TLVAnnounce.exe".
XpString SfGetAnnouncePath();
// The location of the program's current version joined with its executable
// name, without fallbacks (either part may be empty).
XpString SfGetAppExePath(const XpString& programName);
// "InstalledLocation" joined with "ExeName" of the local-machine key at
// keyPath; a location that is not an existing folder is dropped, an empty
// name stays empty.
XpString SfGetInstalledExePath(const XpString& keyPath);
// The location of the current "Importer\Disc"; "" unless an existing folder.
XpString SfGetDiscImporterLocation();
// "Shared3" in the suite's location, or, without one, beside this program's
// folder.
XpString SfGetSharedFolder();
// The movie plug-in folder: "Shared3" in the suite's location, or, without
// one, in this program's own folder ("" when that cannot be told). Reads
// the registry only.
XpString SfGetMoviePluginFolder();
// The pictures folder when it exists, else the documents folder.
XpString SfGetPicturesFolder();
// <app data>/Kavo Corporation/Kavo Telvane/ExtTools, made when missing.
XpString SfGetExtToolsFolder();
// A new, empty, uniquely named file in <app data>/Kavo Corporation/Kavo
// Telvane/ImportData (made when missing), named as SfContentInfoXML names
// its files; "" on failure.
XpString SfMakeImportDataFilePath();
// <documents>/Orvane, made when missing (one level).
XpString SfGetProductDocumentsFolder();
// "CurrentVersion" of the program's local-machine key; "" when missing.
XpString SfGetAppCurrentVersion(const XpString& programName);
// "keys.dat" in the browser's folder when that file exists, else "". A bare
// browser name has no folder: "keys.dat" is then looked for in the working
// folder and returned as it is.
XpString SfGetKeysFilePath();
// "CountryOrAreaCode" of the current "GlobalSettings"; "" when the key, its
// version or the value is missing.
XpString SfGetCountryOrAreaCode();
// The first line of "Version.txt" in the suite's location, without its LF
// (a CR before it stays); at most the first 64 KiB are read. "" when the
// file is missing or cannot be read.
XpString SfGetSuiteVersion();
// "SiteUploadInfo.xml" in <app data>/Kavo Corporation/Kavo Telvane/Uploader
// (the folder is made when missing).
XpString SfGetSiteUploadInfoPath();
// "Help" in the browser's folder.
XpString SfGetHelpFolder();
// "help/QMVGuide.chm" in the browser's folder.
XpString SfGetHelpFilePath();
// The browser's disk-cache folder when it is set and exists, else the
// temporary folder (made when missing).
XpString SfGetBrowserDiskCacheFolder();
// The HDD accessor's "Tempfolder" when it is set and exists, else the
// temporary folder (made when missing).
XpString SfGetHDDAccessorTempFolder();
// Appends the browser's registered folders as real paths; an entry that
// has no real path now (its volume is absent) is left out. False when the
// browser key or its RegisteredFolders key cannot be opened.
bool SfGetRegisteredFolders(XpStringVector* folders);
// path is an existing folder that is a registered folder or lies inside
// one (compared case-sensitively on component boundaries).
bool SfIsInRegisteredFolder(const XpString& path);

// Test seam: the path taken as this program's file; "" restores the
// running program's.
void SfSetProgramFileForTest(const XpString& path);
