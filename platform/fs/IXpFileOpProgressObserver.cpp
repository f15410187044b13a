#include "platform/fs/IXpFileOpProgressObserver.h"

IXpFileOpProgressObserver::~IXpFileOpProgressObserver() = default;
