#pragma once

#include "platform/result/XpResult.h"
#include "platform/text/XpString.h"

// The marker file that an export leaves on the camera: its text names the
// folder that received the pictures, as a path from the volume's root.
inline constexpr const char16_t* kK2TransferMarkerName = u"TRANS.TXT";

// Writes folder/TRANS.TXT holding "/" + the marked path relative to its
// volume's root, without one trailing '/', as UTF-8 bytes with no line end.
// The text is staged in a new file of its own name in the temporary folder,
// which is deleted again whatever happens; an existing marker in folder is
// replaced. The staging failure or the copy's result is the result.
[[nodiscard]] XpResult K2WriteTransferMarker(const XpString& folder, const XpString& markedPath);
// The same, staged in stagingFolder.
[[nodiscard]] XpResult K2WriteTransferMarker(const XpString& folder, const XpString& markedPath,
                                             const XpString& stagingFolder);

// Deletes folder/TRANS.TXT permanently and flushes folder, so that the
// marker stays gone across a pulled card; the first failure is the result.
[[nodiscard]] XpResult K2RemoveTransferMarker(const XpString& folder);

// The folder that folder/TRANS.TXT names, with its trailing '/', below
// folder (the volume's root); empty when there is no marker or it names no
// path.
XpString K2ReadTransferMarker(const XpString& folder);

// The marker's text for markedPath.
XpString K2TransferMarkerText(const XpString& markedPath);
