#include "camerastore/xdb/IXdbWriter.h"

namespace XdbAccessor {

IXdbWriter::~IXdbWriter() = default;

}  // namespace XdbAccessor
