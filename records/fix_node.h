// FixNode: the host's list of names for FixItemByName. The module reads
// name (terminated before offset 524) and next, and writes result. The
// record is the public header's own (540 bytes in the 32-bit interface).
#pragma once

#include "records/public_interface.h"
