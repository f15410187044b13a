#include "camerastore/xdb/IContentInfo.h"

namespace XdbAccessor {

IContentInfo::~IContentInfo() = default;

}  // namespace XdbAccessor
