#include "camerastore/xdb/ContentList.h"

namespace XdbAccessor {

ContentList::~ContentList() = default;

}  // namespace XdbAccessor
