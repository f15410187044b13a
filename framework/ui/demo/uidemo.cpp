// A walk through the user-interface layer: a question, a form, a folder
// pick, a progress dialog and a final message, shown by whichever back end
// the environment chooses.

#include <unistd.h>

#include <charconv>
#include <cstdint>
#include <cstdio>
#include <iostream>
#include <optional>
#include <string>
#include <vector>

#include "framework/ui/backend/XfUiBackendFactory.h"
#include "framework/ui/demo/UiDemoForm.h"
#include "framework/ui/demo/UiDemoProgress.h"
#include "framework/ui/host/XfUiHost.h"
#include "platform/fs/XpPathQueries.h"
#include "platform/process/XpToolArguments.h"

namespace {

constexpr const char16_t* kCaption = u"UI demo";
constexpr uint32_t kDefaultTickMs = 250;
constexpr int kUsageStatus = 2;

struct Arguments {
  bool yes = false;
  uint32_t tickMs = kDefaultTickMs;
};

XpToolArguments DemoArguments() {
  return XpToolArguments(
      "uidemo", "usage: uidemo [--yes] [--tick MS]\n",
      {{"yes", '\0', false, "the automatic back end accepts confirmations"},
       {"tick", '\0', true, "the progress bar's pace in milliseconds, at least 1"}});
}

bool ParseTick(const std::string& text, uint32_t* tickMs) {
  const char* end = text.data() + text.size();
  const auto [last, error] = std::from_chars(text.data(), end, *tickMs);
  return error == std::errc() && last == end && *tickMs != 0;
}

XpToolArguments::Outcome ReadArguments(const std::vector<std::string>& given, Arguments* arguments,
                                       XpToolArguments* parsed) {
  // "-name" and "/name" have always been taken as well as "--name".
  if (parsed->Parse(parsed->SpelledLong(given, true)) != XpToolArguments::Outcome::kDone) {
    return parsed->Result();
  }
  if (!parsed->Operands().empty()) {
    return parsed->Refuse("unexpected argument: " + parsed->Operands().front());
  }
  arguments->yes = parsed->Has("yes");
  for (const std::string& text : parsed->Values("tick")) {
    if (!ParseTick(text, &arguments->tickMs)) {
      return parsed->Refuse("--tick needs a count of milliseconds, at least 1");
    }
  }
  return parsed->Result();
}

XfFolderCheck RequireExistingFolder(const XpString& path) {
  if (XpDirectoryExists(path)) {
    return XfFolderCheck::Ok();
  }
  XpString reason;
  (void)reason.Format(u"The folder \"%s\" does not exist.", path);  // a constant format cannot fail
  return XfFolderCheck::Refuse(reason);
}

XpString Summary(const UiDemoForm& form, int32_t formCode, const std::optional<XpString>& folder,
                 const UiDemoProgress& progress, int32_t progressCode) {
  XpString text = u"The demo has ended.";
  if (formCode == kXfIdOk) {
    // A constant format cannot fail.
    (void)text.AppendFormat(u"\nName: %s, %s pictures%s.", form.Name(),
                            form.Large() ? u"large" : u"small",
                            form.KeepCopy() ? u", keeping a copy" : u"");
  } else {
    text += u"\nThe settings were cancelled.";
  }
  (void)text.AppendFormat(u"\nFolder: %s.",
                          folder ? *folder : XpString(u"none"));  // a constant format cannot fail
  if (progressCode == kXfIdOk) {
    text += u"\nThe work is complete.";
  } else {
    (void)text.AppendFormat(u"\nThe work was stopped at %d %%.",
                            progress.Reached());  // a number always formats
  }
  return text;
}

int RunDemo(XfUiHost& host, const Arguments& arguments) {
  const int32_t start =
      host.MessageBox(kCaption, u"Shall we walk through the demo?", kXfMbYesNo | kXfMbIconQuestion);
  if (start != kXfIdYes) {
    host.MessageBox(kCaption, u"The demo was not started.", kXfMbOk | kXfMbIconInformation);
    return host.Finish();
  }
  UiDemoForm form;
  const int32_t formCode = host.RunModal(form);
  const std::optional<XpString> folder =
      host.PickFolder(u"Choose a folder", u"Pick an existing folder for the demo.", u"Use", u"/tmp",
                      RequireExistingFolder);
  UiDemoProgress progress(arguments.tickMs);
  const int32_t progressCode = host.RunModal(progress);
  host.MessageBox(kCaption, Summary(form, formCode, folder, progress, progressCode),
                  kXfMbOk | kXfMbIconInformation);
  return host.Finish();
}

}  // namespace

int main(int argc, char** argv) {
  Arguments arguments;
  XpToolArguments parsed = DemoArguments();
  if (ReadArguments({argv + 1, argv + argc}, &arguments, &parsed) !=
      XpToolArguments::Outcome::kDone) {
    return parsed.Answer(std::cout, std::cerr);
  }
  std::string error;
  std::unique_ptr<XfUiBackend> backend = XfUiCreateBackend(&error);
  if (!backend) {
    std::fprintf(stderr, "uidemo: %s\n", error.c_str());
    return kUsageStatus;
  }
  XfUiHostOptions options;
  options.yes = arguments.yes;
  XfUiHost host(std::move(backend), options);
  return RunDemo(host, arguments);
}
