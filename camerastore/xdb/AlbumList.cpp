#include "camerastore/xdb/AlbumList.h"

namespace XdbAccessor {

AlbumList::~AlbumList() = default;

}  // namespace XdbAccessor
