// The host's progress callback, handed to DLL_Check and DLL_Repair: the text
// being worked on, four -1, the user data, three 0. A non-zero answer asks
// the module to stop. The type is the public header's.
#pragma once

#include "records/public_interface.h"

typedef RunvaneProgressCallback ProgressCallback;
