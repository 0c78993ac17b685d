/* The public header as a C compiler lays it out (C11), for comparison with
 * the module's own records in public_header_test.cpp; and the prototypes
 * checked against the function-pointer types. */
#include "include/runvane.h"

#include "tests/packaging/public_header_layout.h"

_Static_assert(_Generic(&DLL_Check, RunvaneDllCheck: 1, default: 0), "DLL_Check");
_Static_assert(_Generic(&DLL_Release, RunvaneDllRelease: 1, default: 0), "DLL_Release");
_Static_assert(_Generic(&DLL_Repair, RunvaneDllRepair: 1, default: 0), "DLL_Repair");
_Static_assert(_Generic(&FixItemByName, RunvaneFixItemByName: 1, default: 0), "FixItemByName");
_Static_assert(_Generic(&VEK_RemoteInvoke, RunvaneRemoteInvoke: 1, default: 0), "VEK_RemoteInvoke");

const size_t rv_c_check_node_layout[RV_CHECK_NODE_FIELDS] = {
    offsetof(CheckNode, name),     offsetof(CheckNode, levelText), offsetof(CheckNode, desc),
    offsetof(CheckNode, cmdline),  offsetof(CheckNode, company),   offsetof(CheckNode, selected),
    offsetof(CheckNode, failed),   offsetof(CheckNode, type),      offsetof(CheckNode, next),
    sizeof(CheckNode)};

const size_t rv_c_fix_node_layout[RV_FIX_NODE_FIELDS] = {
    offsetof(FixNode, name), offsetof(FixNode, result), offsetof(FixNode, reserved),
    offsetof(FixNode, next), sizeof(FixNode)};
