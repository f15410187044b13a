#include "setup/config/SfConfigurationHolders.h"

#include <utility>

SfCommonConfiguration::~SfCommonConfiguration() = default;

SfImportConfiguration::~SfImportConfiguration() = default;

SfBrowserConfiguration::SfBrowserConfiguration(Buffer first, Buffer second)
    : first_(std::move(first)), second_(std::move(second)) {}

SfBrowserConfiguration::~SfBrowserConfiguration() = default;

SfContentAnalyzerConfiguration::~SfContentAnalyzerConfiguration() = default;
