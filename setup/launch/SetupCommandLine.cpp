#include "setup/launch/SetupCommandLine.h"

#include <string_view>

namespace {

constexpr const char16_t* kKnownOptions[] = {kSetupOptionThru, kSetupOptionLogging, kSetupOptionTransforms,
                                             kSetupOptionQuiet, kSetupOptionInstallMode};

XpString Cut(std::u16string_view text) {
  return XpString(text.substr(0, SetupCommandLine::kMaxOptionUnits));
}

bool IsKnownName(std::u16string_view name) {
  for (const char16_t* known : kKnownOptions) {
    if (name == known) return true;
  }
  return false;
}

// The argument without its option prefix; false when it is no option.
bool StripPrefix(std::u16string_view argument, std::u16string_view* body) {
  if (argument.starts_with(u"/")) {
    *body = argument.substr(1);
    return true;
  }
  const size_t dashes = argument.starts_with(u"--") ? 2 : argument.starts_with(u"-") ? 1 : 0;
  if (dashes == 0) return false;
  *body = argument.substr(dashes);
  return IsKnownName(body->substr(0, body->find(u'=')));
}

}  // namespace

bool SetupCommandLine::HasOption(const XpString& name, XpString* value) const {
  for (const auto& [optionName, optionValue] : options) {
    if (optionName != name) continue;
    if (value != nullptr) *value = optionValue;
    return true;
  }
  return false;
}

SetupCommandLine ParseSetupCommandLine(const XpStringVector& arguments, const XpString& packageFolder,
                                       const XpString& packageVersion,
                                       const XpString& installedVersion) {
  SetupCommandLine commandLine;
  commandLine.packageFolder = packageFolder;
  commandLine.packageVersion = packageVersion;
  commandLine.installedVersion = installedVersion;
  for (const XpString& argument : arguments) {
    std::u16string_view body;
    if (!StripPrefix(argument.View(), &body)) continue;
    const size_t equals = body.find(u'=');
    const std::u16string_view name = body.substr(0, equals);
    const std::u16string_view value = equals == std::u16string_view::npos ? std::u16string_view() : body.substr(equals + 1);
    commandLine.options.emplace_back(Cut(name), Cut(value));
  }
  return commandLine;
}
