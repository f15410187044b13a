#include "setup/config/XpSetErrorModeWin.h"

XpSetErrorModeWin::XpSetErrorModeWin() = default;

XpSetErrorModeWin::~XpSetErrorModeWin() = default;
