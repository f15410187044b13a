#include "camerastore/xdb/IXdbAccessor.h"

namespace XdbAccessor {

IXdbAccessor::~IXdbAccessor() = default;

}  // namespace XdbAccessor
