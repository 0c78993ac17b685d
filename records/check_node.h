// CheckNode: the record of the list handed to the host by DLL_Check and back
// to DLL_Repair and DLL_Release. The module uses the public header's record
// itself, so the two can never drift: 3656 bytes in the 32-bit interface
// (every offset is checked there).
#pragma once

#include "records/public_interface.h"
