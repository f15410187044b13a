#include "setup/config/XpPath.h"

XpPath::XpPath(const XpString& path) : path_(path), length_(path.GetLength()) {}
