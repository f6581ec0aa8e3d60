#include "platform/display/screen.h"

ScreenStateRecord ScreenState = {};
