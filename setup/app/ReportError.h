#pragma once

#include <cstdint>

#include "platform/text/XpString.h"
#include "setup/app/CError.h"

class SetupSettings;
class XfUiHost;

// Longest caption and message of a box, in units.
inline constexpr int32_t kSetupCaptionLimit = 259;
inline constexpr int32_t kSetupCaptionFormatLimit = 260;
inline constexpr int32_t kSetupMessageLimit = 4095;
inline constexpr int32_t kSetupMessageFormatLimit = 4096;

// format with its "%s" taken by text, through the type-safe formatter; a
// format that the formatter refuses (a second conversion, "%d", "%n") is
// taken as it stands. The result is cut to limit units.
XpString SetupFormatWithText(const XpString& format, const XpString& text, int32_t limit);

// The caption of error's box: the settings file's ErrorCaptionText (or the
// string of a caption id) with the product name in its "%s".
XpString SetupErrorCaption(const CError& error, const SetupSettings& settings);
// The message: the string of the message id with the error's text, or the
// product name, in its "%s".
XpString SetupErrorMessage(const CError& error, const SetupSettings& settings);

// Shows error's box without owner and returns the answer.
int32_t ReportError(const CError& error, const SetupSettings& settings, XfUiHost& host);
