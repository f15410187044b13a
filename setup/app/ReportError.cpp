#include "setup/app/ReportError.h"

#include "framework/ui/host/XfUiHost.h"
#include "setup/app/SetupStringTable.h"
#include "setup/settings/SetupSettings.h"

namespace {

XpString Cut(const XpString& text, int32_t limit) {
  return text.GetLength() > limit ? text.Left(limit) : text;
}

XpString TableString(uint32_t id, int32_t limit) { return Cut(XpString(SetupLoadString(id)), limit); }

}  // namespace

XpString SetupFormatWithText(const XpString& format, const XpString& text, int32_t limit) {
  XpString formatted;
  if (XpFailed(formatted.Format(format.CStr(), text))) formatted = format;
  return Cut(formatted, limit);
}

XpString SetupErrorCaption(const CError& error, const SetupSettings& settings) {
  const XpString format = error.CaptionId() == 0
                              ? settings.ErrorCaptionText()
                              : TableString(error.CaptionId(), kSetupCaptionFormatLimit);
  return SetupFormatWithText(format, settings.ProductName(), kSetupCaptionLimit);
}

XpString SetupErrorMessage(const CError& error, const SetupSettings& settings) {
  const XpString format = TableString(error.MessageId(), kSetupMessageFormatLimit);
  const XpString& text = error.Text() != nullptr ? *error.Text() : settings.ProductName();
  return SetupFormatWithText(format, text, kSetupMessageLimit);
}

int32_t ReportError(const CError& error, const SetupSettings& settings, XfUiHost& host) {
  return host.MessageBox(SetupErrorCaption(error, settings), SetupErrorMessage(error, settings),
                         error.BoxFlags());
}
