#pragma once

// The installer's own side of the stand-in, for the driver and the tests:
// it makes installations, reads back what the custom actions did and
// closes them. Names and values are UTF-16; names compare by code units.

#include <cstdint>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "msi/MsiApi.h"

namespace msi {

using PropertyMap = std::map<std::u16string, std::u16string>;
// A feature and its requested state; kNoFeatureState when nothing set it.
using FeatureStates = std::vector<std::pair<std::u16string, int32_t>>;
inline constexpr int32_t kNoFeatureState = -1;

// Answers a yes/no question with kMsiAnswerYes or kMsiAnswerNo.
using YesNoAnswerer = std::function<int32_t(const std::u16string& caption, const std::u16string& text)>;

// A new installation with these properties and declared features (a
// feature declared twice counts once); its handle, counted from 1 in each
// process. Questions are answered no until an answerer is set.
MSI_API MSIHANDLE CreateInstallation(const PropertyMap& properties,
                                     const std::vector<std::u16string>& features);
// False for a handle that is not open.
MSI_API bool CloseInstallation(MSIHANDLE install);

MSI_API std::optional<std::u16string> PropertyOf(MSIHANDLE install, const std::u16string& name);
// Every property, in code-unit order of the names; empty for an unknown handle.
MSI_API PropertyMap PropertiesOf(MSIHANDLE install);
// Every declared feature, in the order declared.
MSI_API FeatureStates FeatureStatesOf(MSIHANDLE install);
MSI_API bool SetYesNoAnswerer(MSIHANDLE install, YesNoAnswerer answerer);

}  // namespace msi
