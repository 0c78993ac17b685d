// The public header that host developers build against (include/runvane.h)
// is the module's own definition of what crosses to the host: CheckNode,
// FixNode and the progress callback. The module defines the exports itself
// (plugin/exports.h declares them), so the header's import declarations are
// left out here.
#pragma once

#ifndef RUNVANE_NO_PROTOTYPES
#define RUNVANE_NO_PROTOTYPES
#endif
#include "include/runvane.h"
