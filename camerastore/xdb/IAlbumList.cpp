#include "camerastore/xdb/IAlbumList.h"

namespace XdbAccessor {

IAlbumList::~IAlbumList() = default;

}  // namespace XdbAccessor
