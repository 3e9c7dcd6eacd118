// The engine interface as an i386 build sees it: the layout checks of the interface header hold
// only there, so this unit is compiled for i386 (syntax only) as part of the build.
#include "ZBEngineIntf.h"

static_assert(sizeof(void*) == 4, "compiled for i386");
