#include "accessor/app/K2AccessorConfiguration.h"

K2AccessorConfiguration::K2AccessorConfiguration() = default;

K2AccessorConfiguration::~K2AccessorConfiguration() = default;

void K2AccessorConfiguration::Reset() {}
