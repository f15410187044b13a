#include <algorithm>
#include <memory>
#include <optional>
#include <string>

#include "MsiInstallationTable.h"
#include "msi/MsiApi.h"
#include "msi/MsiInstallation.h"

namespace {

using msi::Installation;
using msi::InstallationTable;

bool IsFeatureState(int32_t state) { return state >= kMsiStateAdvertised && state <= kMsiStateSource; }

// Copies value into buffer as far as capacity allows, always terminated when
// there is room for anything.
uint32_t CopyOut(const std::u16string& value, char16_t* buffer, uint32_t* size) {
  const uint32_t capacity = buffer != nullptr ? *size : 0;
  *size = static_cast<uint32_t>(value.size());
  if (capacity > value.size()) {
    std::copy(value.begin(), value.end(), buffer);
    buffer[value.size()] = u'\0';
    return kMsiSuccess;
  }
  if (capacity > 0) {
    std::copy(value.begin(), value.begin() + (capacity - 1), buffer);
    buffer[capacity - 1] = u'\0';
  }
  return kMsiMoreData;
}

}  // namespace

extern "C" {

uint32_t MsiGetPropertyW(MSIHANDLE install, const char16_t* name, char16_t* buffer, uint32_t* size) {
  std::optional<std::u16string> value;
  bool known = false;
  if (install != 0) {
    known = InstallationTable::Instance().With(install, [&](Installation& installation) {
      if (name == nullptr) return;
      const auto found = installation.properties.find(name);
      if (found != installation.properties.end()) value = found->second;
    });
  }
  if (!known) return kMsiInvalidHandle;
  if (name == nullptr || size == nullptr) return kMsiInvalidParameter;
  if (value) return CopyOut(*value, buffer, size);
  if (buffer != nullptr && *size > 0) buffer[0] = u'\0';
  *size = 0;
  return kMsiUnknownProperty;
}

uint32_t MsiSetPropertyW(MSIHANDLE install, const char16_t* name, const char16_t* value) {
  bool validName = name != nullptr && name[0] != u'\0';
  const bool known = InstallationTable::Instance().With(install, [&](Installation& installation) {
    if (!validName) return;
    if (value == nullptr) {
      installation.properties.erase(name);
    } else {
      installation.properties[name] = value;
    }
  });
  if (!known) return kMsiInvalidHandle;
  return validName ? kMsiSuccess : kMsiInvalidParameter;
}

uint32_t MsiSetFeatureStateW(MSIHANDLE install, const char16_t* feature, int32_t state) {
  uint32_t result = kMsiSuccess;
  const bool known = InstallationTable::Instance().With(install, [&](Installation& installation) {
    if (feature == nullptr) {
      result = kMsiInvalidParameter;
      return;
    }
    const std::u16string wanted(feature);
    const auto found = std::find_if(installation.features.begin(), installation.features.end(),
                                    [&](const auto& entry) { return entry.first == wanted; });
    if (found == installation.features.end()) {
      result = kMsiUnknownFeature;
    } else if (!IsFeatureState(state)) {
      result = kMsiInvalidParameter;
    } else {
      found->second = state;
    }
  });
  if (!known) return kMsiInvalidHandle;
  return result;
}

int32_t MsiAskUserYesNo(MSIHANDLE install, const char16_t* caption, const char16_t* text) {
  msi::YesNoAnswerer answerer;
  InstallationTable::Instance().With(install, [&](Installation& installation) {
    answerer = installation.answerer;
  });
  // Asked outside the table's lock: the answer may take a person's time.
  if (!answerer) return kMsiAnswerNo;
  const int32_t answer = answerer(caption != nullptr ? caption : u"", text != nullptr ? text : u"");
  if (answer == kMsiAnswerYes) return kMsiAnswerYes;
  return kMsiAnswerNo;
}

}  // extern "C"

namespace msi {

MSIHANDLE CreateInstallation(const PropertyMap& properties, const std::vector<std::u16string>& features) {
  auto installation = std::make_unique<Installation>();
  installation->properties = properties;
  for (const std::u16string& feature : features) {
    const bool declared =
        std::any_of(installation->features.begin(), installation->features.end(),
                    [&](const auto& entry) { return entry.first == feature; });
    if (!declared) installation->features.emplace_back(feature, kNoFeatureState);
  }
  return InstallationTable::Instance().Add(std::move(installation));
}

bool CloseInstallation(MSIHANDLE install) { return InstallationTable::Instance().Remove(install); }

std::optional<std::u16string> PropertyOf(MSIHANDLE install, const std::u16string& name) {
  std::optional<std::u16string> value;
  InstallationTable::Instance().With(install, [&](Installation& installation) {
    const auto found = installation.properties.find(name);
    if (found != installation.properties.end()) value = found->second;
  });
  return value;
}

PropertyMap PropertiesOf(MSIHANDLE install) {
  PropertyMap properties;
  InstallationTable::Instance().With(install, [&](Installation& installation) {
    properties = installation.properties;
  });
  return properties;
}

FeatureStates FeatureStatesOf(MSIHANDLE install) {
  FeatureStates features;
  InstallationTable::Instance().With(install, [&](Installation& installation) {
    features = installation.features;
  });
  return features;
}

bool SetYesNoAnswerer(MSIHANDLE install, YesNoAnswerer answerer) {
  return InstallationTable::Instance().With(install, [&](Installation& installation) {
    installation.answerer = std::move(answerer);
  });
}

}  // namespace msi
