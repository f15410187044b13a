#include "framework/notify/IXfNotificationObserver.h"

IXfNotificationObserver::~IXfNotificationObserver() = default;
