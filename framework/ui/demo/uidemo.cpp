// A walk through the user-interface layer: a question, a form, a folder
// pick, a progress dialog and a final message, shown by whichever back end
// the environment chooses.

#include <unistd.h>

#include <charconv>
#include <cstdint>
#include <cstdio>
#include <optional>
#include <string>
#include <string_view>

#include "framework/ui/backend/XfUiBackendFactory.h"
#include "framework/ui/demo/UiDemoForm.h"
#include "framework/ui/demo/UiDemoProgress.h"
#include "framework/ui/host/XfUiHost.h"
#include "platform/fs/XpPathQueries.h"

namespace {

constexpr const char16_t* kCaption = u"UI demo";
constexpr uint32_t kDefaultTickMs = 250;
constexpr int kUsageStatus = 2;

struct Arguments {
  bool yes = false;
  uint32_t tickMs = kDefaultTickMs;
};

// "-name", "--name" or "/name" when name is one of ours.
std::optional<std::string_view> FlagName(std::string_view argument) {
  for (std::string_view prefix : {"--", "-", "/"}) {
    if (argument.starts_with(prefix)) {
      std::string_view name = argument.substr(prefix.size());
      if (name == "yes" || name == "tick") {
        return name;
      }
    }
  }
  return std::nullopt;
}

bool ParseArguments(int argc, char** argv, Arguments* arguments) {
  for (int i = 1; i < argc; ++i) {
    std::optional<std::string_view> flag = FlagName(argv[i]);
    if (!flag) {
      return false;
    }
    if (*flag == "yes") {
      arguments->yes = true;
      continue;
    }
    if (i + 1 >= argc) {
      return false;
    }
    std::string_view value = argv[++i];
    auto [end, ec] = std::from_chars(value.data(), value.data() + value.size(), arguments->tickMs);
    if (ec != std::errc() || end != value.data() + value.size() || arguments->tickMs == 0) {
      return false;
    }
  }
  return true;
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
  if (!ParseArguments(argc, argv, &arguments)) {
    std::fprintf(stderr, "usage: uidemo [--yes] [--tick MS]\n");
    return kUsageStatus;
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
