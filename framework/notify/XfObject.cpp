#include "framework/notify/XfObject.h"

XfObject::~XfObject() = default;
