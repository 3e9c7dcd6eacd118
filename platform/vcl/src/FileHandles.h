// The class library's integer file handles over the layer's HANDLEs.
#pragma once
#include "windows.h"

namespace vclimpl {

int AddFileHandle(HANDLE h);        // -1 when h is INVALID_HANDLE_VALUE
HANDLE FileHandleOf(int handle);   // INVALID_HANDLE_VALUE when unknown
HANDLE TakeFileHandle(int handle);  // removes it from the table

}  // namespace vclimpl
