/* The public header compiles as strict C90 (its layout checks fall back to
 * array typedefs there). */
#include "include/runvane.h"

int rv_c90_check_node_units(void) { return RUNVANE_NAME_UNITS; }
