#include "camerastore/xdb/IXdbReader.h"

namespace XdbAccessor {

IXdbReader::~IXdbReader() = default;

}  // namespace XdbAccessor
