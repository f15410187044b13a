#include "camerastore/xdb/IContentList.h"

namespace XdbAccessor {

IContentList::~IContentList() = default;

}  // namespace XdbAccessor
