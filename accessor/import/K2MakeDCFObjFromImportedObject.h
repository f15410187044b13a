#pragma once

#include "accessor/import/K2ImportedObject.h"
#include "platform/memory/XpSharedPtr.h"

class K2DCFObj;

// A new K2 DCF object over the copies of the imported object, carrying its
// date and favourite numbers; an object without files has neither. Empty
// when memory ran out.
XpSharedPtr<K2DCFObj> K2MakeDCFObjFromImportedObject(const K2ImportedObject& object);
