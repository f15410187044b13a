#include "accessor/import/K2MakeDCFObjFromImportedObject.h"

#include <new>

#include "camerastore/dcf/K2DCFObj.h"
#include "platform/fs/XpFile.h"

XpSharedPtr<K2DCFObj> K2MakeDCFObjFromImportedObject(const K2ImportedObject& object) {
  XpSharedPtr<K2DCFObj> result(new (std::nothrow) K2DCFObj());
  if (!result) {
    return result;
  }
  for (const XpString& path : object.files) {
    XpSharedPtr<XpAbstractFSObj> file(new (std::nothrow) XpFile(path));
    if (!file || result->AddFile(file) != kXpOk) {
      return XpSharedPtr<K2DCFObj>();
    }
    result->SetDate(object.date);
    result->SetSubList(object.favourites);
  }
  return result;
}
