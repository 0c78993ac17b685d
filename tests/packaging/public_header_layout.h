/* Offsets of every field and the size of each record, as the C compiler
 * laid out the public header (public_header_layout.c). */
#ifndef RUNVANE_TESTS_PUBLIC_HEADER_LAYOUT_H
#define RUNVANE_TESTS_PUBLIC_HEADER_LAYOUT_H

#include <stddef.h>

#define RV_CHECK_NODE_FIELDS 10 /* name ... next, then sizeof */
#define RV_FIX_NODE_FIELDS 5    /* name, result, reserved, next, then sizeof */

#ifdef __cplusplus
extern "C" {
#endif
extern const size_t rv_c_check_node_layout[RV_CHECK_NODE_FIELDS];
extern const size_t rv_c_fix_node_layout[RV_FIX_NODE_FIELDS];
#ifdef __cplusplus
}
#endif

#endif
