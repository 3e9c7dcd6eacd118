// The internet connection test both programs start with.
#pragma once
#include "AnsiString.h"

// Flags of the connection; 64 when a connection is configured but not active. name, when
// given, receives the connection's name.
int GetConnectionState(AnsiString* name = nullptr);
