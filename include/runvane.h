/*
 * runvane.h -- the interface of the Runvane startup-item module for host
 * programs. This header is all a host needs: it has no other dependency
 * than <stddef.h> and <stdint.h>, and compiles as C99 and later (C90 with
 * a <stdint.h>) and as C++11 and later.
 *
 * The module is a shared library:
 *   32-bit Windows  runvane.dll (full edition), runvane_check.dll (check-only)
 *   Linux           librunvane.so.1, librunvane_check.so.1
 * A host loads it (LoadLibrary / dlopen) and finds the exports by their
 * plain names (GetProcAddress / dlsym), or links it directly: on Windows
 * make an import library from the shipped .def file, on Linux link with
 * -lrunvane (pkg-config runvane).
 *
 * Define RUNVANE_NO_PROTOTYPES before including this header to get the
 * types and the function-pointer types only (for hosts that load the
 * module at run time and must not declare the names themselves).
 *
 * Copyright (c) 2026 The Runvane developers. MIT licence (see LICENSE).
 */
#ifndef RUNVANE_H
#define RUNVANE_H

#include <stddef.h>
#include <stdint.h>

/* ----------------------------------------------------------- conventions */

/* Every export and the progress callback use the C calling convention
 * (the caller removes the arguments) and return a 32-bit signed integer. */
#if defined(_WIN32)
#define RUNVANE_CALL __cdecl
#else
#define RUNVANE_CALL
#endif

/* How the prototypes are declared: imported from the DLL on Windows. A host
 * that wants other declarations defines RUNVANE_IMPORT first. */
#ifndef RUNVANE_IMPORT
#if defined(_WIN32)
#define RUNVANE_IMPORT __declspec(dllimport)
#else
#define RUNVANE_IMPORT
#endif
#endif

/* Text is UTF-16 in 16-bit code units, zero-terminated within its field:
 * char16_t in C++, the same unsigned 16-bit unit as C11's char16_t (and
 * u"..." literals) in C. */
#ifdef __cplusplus
typedef char16_t RunvaneChar;
#else
typedef uint_least16_t RunvaneChar;
#endif

/* Field widths in UTF-16 units, terminator included. */
#define RUNVANE_NAME_UNITS 261
#define RUNVANE_LEVEL_UNITS 11
#define RUNVANE_DESC_UNITS 1025
#define RUNVANE_CMDLINE_UNITS 261
#define RUNVANE_COMPANY_UNITS 261
#define RUNVANE_FIX_NAME_UNITS 262

/* Records keep their natural layout whatever packing the host builds with. */
#pragma pack(push, 8)

#ifdef __cplusplus
extern "C" {
#endif

/* ------------------------------------------------------------- CheckNode */

/* One finding of DLL_Check. The module allocates the nodes (malloc) and
 * only DLL_Release frees them; the host reads them, sets `selected`, and
 * hands the list to DLL_Repair any number of times before DLL_Release.
 *
 *  offset  size  field      meaning
 *       0   522  name       the value name, or the startup file's name
 *     522    22  levelText  the class: RUNVANE_LEVEL_SAFE_TEXT ("安全"),
 *                           RUNVANE_LEVEL_DANGEROUS_TEXT ("危险"),
 *                           RUNVANE_LEVEL_UNKNOWN_TEXT ("未知"); empty otherwise
 *     544  2050  desc       the description (knowledge base or the program's
 *                           version resource)
 *    2594   522  cmdline    the command line; for a startup file its full path
 *    3116   522  company    the company in the program's version resource
 *    3638     2  (padding, zero)
 *    3640     4  selected   0 when made; the host sets it non-zero to have
 *                           DLL_Repair remove the item
 *    3644     4  failed     written by DLL_Repair for every selected node:
 *                           0 removed (or already gone), 1 removal failed
 *    3648     4  type       where the item lives (RUNVANE_TYPE_...)
 *    3652     4  next       the next node, null in the last one
 *  3656 bytes in the 32-bit interface. With 8-byte pointers `next` sits at
 *  3656 and a node has 3664 bytes.
 *  The check-only edition fills the same record from narrower texts: names
 *  up to 127 characters, descriptions, command lines and companies up to
 *  255; a longer scanned text arrives cut (the callback saw it whole). */
typedef struct CheckNode {
  RunvaneChar name[RUNVANE_NAME_UNITS];
  RunvaneChar levelText[RUNVANE_LEVEL_UNITS];
  RunvaneChar desc[RUNVANE_DESC_UNITS];
  RunvaneChar cmdline[RUNVANE_CMDLINE_UNITS];
  RunvaneChar company[RUNVANE_COMPANY_UNITS];
  int32_t selected;
  int32_t failed;
  int32_t type;
  struct CheckNode* next;
} CheckNode;

/* The level texts, as UTF-16 units for an initialiser:
 *   static const RunvaneChar safe[] = RUNVANE_LEVEL_SAFE_TEXT; */
#define RUNVANE_LEVEL_SAFE_TEXT {0x5B89, 0x5168, 0}      /* 安全 */
#define RUNVANE_LEVEL_DANGEROUS_TEXT {0x5371, 0x9669, 0} /* 危险 */
#define RUNVANE_LEVEL_UNKNOWN_TEXT {0x672A, 0x77E5, 0}   /* 未知 */

/* CheckNode.type: 0 to 10 a value of one of the eleven Run-type registry
 * keys (RUNVANE_TYPE_RUN_KEY_FIRST..LAST), 11 a file in the all-users
 * startup folder, 12 one in the current user's. 11 or more is a file. */
#define RUNVANE_TYPE_RUN_KEY_FIRST 0
#define RUNVANE_TYPE_RUN_KEY_LAST 10
#define RUNVANE_TYPE_COMMON_STARTUP 11
#define RUNVANE_TYPE_USER_STARTUP 12

/* --------------------------------------------------------------- FixNode */

/* One name for FixItemByName. The host allocates and frees the list; the
 * module reads `name` and `next` and writes only `result`.
 *
 *  offset  size  field     meaning
 *       0   524  name      a registry value name or a startup file's name
 *                          (with extension), terminated within the field
 *     524     4  result    written by the module: RUNVANE_FIX_REMOVED (0) or
 *                          RUNVANE_FIX_NOTHING_REMOVED (1)
 *     528     8  reserved  not read or written by the module
 *     536     4  next      the next node, null in the last one
 *  540 bytes in the 32-bit interface (544 with 8-byte pointers). */
typedef struct FixNode {
  RunvaneChar name[RUNVANE_FIX_NAME_UNITS];
  int32_t result;
  uint8_t reserved[8];
  struct FixNode* next;
} FixNode;

#define RUNVANE_FIX_REMOVED 0
#define RUNVANE_FIX_NOTHING_REMOVED 1

/* ----------------------------------------------------- progress callback */

/* Called once for every item the module works on, on the calling thread:
 * text is the item (its command line or file path during a check, the
 * node's cmdline during DLL_Repair) and is valid only during the call; the
 * four `minus_one` arguments are always -1, user_data is what the host
 * passed to the export, the three `zero` arguments are always 0.
 * Answer RUNVANE_PROGRESS_CONTINUE (0) to go on; any other answer
 * (RUNVANE_PROGRESS_STOP) makes the module finish the current item and
 * stop. A stopped check still hands back the items found so far. */
typedef int32_t(RUNVANE_CALL* RunvaneProgressCallback)(
    const RunvaneChar* text, int32_t minus_one_1, int32_t minus_one_2, int32_t minus_one_3,
    int32_t minus_one_4, int32_t user_data, int32_t zero_1, int32_t zero_2, int32_t zero_3);

#define RUNVANE_PROGRESS_CONTINUE 0
#define RUNVANE_PROGRESS_STOP 1

/* ----------------------------------------------------------- the exports */

/* DLL_Check(list, callback, count, user_data): scans every startup item and
 * stores the head of a new list of findings in *list (null when nothing was
 * found) and the number of items reported in *count. callback may be null.
 * Returns 0. Free the list with DLL_Release. */
typedef int32_t(RUNVANE_CALL* RunvaneDllCheck)(CheckNode** list, RunvaneProgressCallback callback,
                                               int32_t* count, int32_t user_data);
/* DLL_Release(list): frees every node of a list made by DLL_Check.
 * Returns 0 for a null list, else 1. */
typedef int32_t(RUNVANE_CALL* RunvaneDllRelease)(CheckNode* list);
/* DLL_Repair(list, callback, user_data): removes the item behind every node
 * whose `selected` is non-zero and writes its `failed`. Returns 0 for a null
 * list (the callback is not called), else 1. */
typedef int32_t(RUNVANE_CALL* RunvaneDllRepair)(CheckNode* list, RunvaneProgressCallback callback,
                                                int32_t user_data);
/* FixItemByName(list): for every node, removes the first value or startup
 * file of that name and writes `result`. A null list removes everything a
 * check would list. Returns 0. */
typedef int32_t(RUNVANE_CALL* RunvaneFixItemByName)(FixNode* list);
/* VEK_RemoteInvoke(command_file, response_file), full edition only: carries
 * out an XML command file and writes a UTF-16 XML response. Returns 0 on
 * success, -1 on failure. */
typedef int32_t(RUNVANE_CALL* RunvaneRemoteInvoke)(const RunvaneChar* command_file,
                                                   const RunvaneChar* response_file);

#define RUNVANE_REMOTE_OK 0
#define RUNVANE_REMOTE_FAILED (-1)

/* The export names, for GetProcAddress / dlsym. */
#define RUNVANE_EXPORT_CHECK "DLL_Check"
#define RUNVANE_EXPORT_RELEASE "DLL_Release"
#define RUNVANE_EXPORT_REPAIR "DLL_Repair"
#define RUNVANE_EXPORT_FIX_ITEM_BY_NAME "FixItemByName"
#define RUNVANE_EXPORT_REMOTE_INVOKE "VEK_RemoteInvoke"

#ifndef RUNVANE_NO_PROTOTYPES
RUNVANE_IMPORT int32_t RUNVANE_CALL DLL_Check(CheckNode** list, RunvaneProgressCallback callback,
                                              int32_t* count, int32_t user_data);
RUNVANE_IMPORT int32_t RUNVANE_CALL DLL_Release(CheckNode* list);
RUNVANE_IMPORT int32_t RUNVANE_CALL DLL_Repair(CheckNode* list, RunvaneProgressCallback callback,
                                               int32_t user_data);
RUNVANE_IMPORT int32_t RUNVANE_CALL FixItemByName(FixNode* list);
/* Not in the check-only edition. */
RUNVANE_IMPORT int32_t RUNVANE_CALL VEK_RemoteInvoke(const RunvaneChar* command_file,
                                                     const RunvaneChar* response_file);
#endif

/* ------------------------------------------------------ knowledge base */

/* The module reads its knowledge base afresh on every check from this path
 * under the folder that holds the module file itself (symbolic links
 * resolved on Linux); without it every item is "unknown". The Debian
 * package keeps the file in /usr/share/runvane/ and links the folder there. */
#define RUNVANE_KNOWLEDGE_BASE_WINDOWS "common\\config\\check\\RunLib.xml"
#define RUNVANE_KNOWLEDGE_BASE_POSIX "common/config/check/RunLib.xml"

#ifdef __cplusplus
}
#endif

#pragma pack(pop)

/* -------------------------------------------------------- layout checks */

#if defined(__cplusplus) && (__cplusplus >= 201103L || (defined(_MSC_VER) && _MSC_VER >= 1600))
#define RUNVANE_STATIC_ASSERT(condition, what) static_assert(condition, what)
#elif defined(__STDC_VERSION__) && __STDC_VERSION__ >= 201112L
#define RUNVANE_STATIC_ASSERT(condition, what) _Static_assert(condition, what)
#else
#define RUNVANE_ASSERT_JOIN2(a, b) a##b
#define RUNVANE_ASSERT_JOIN(a, b) RUNVANE_ASSERT_JOIN2(a, b)
#define RUNVANE_STATIC_ASSERT(condition, what) \
  typedef char RUNVANE_ASSERT_JOIN(runvane_layout_check_, __LINE__)[(condition) ? 1 : -1]
#endif

RUNVANE_STATIC_ASSERT(sizeof(RunvaneChar) == 2, "text units are 16 bits");
RUNVANE_STATIC_ASSERT(offsetof(CheckNode, name) == 0, "CheckNode.name");
RUNVANE_STATIC_ASSERT(offsetof(CheckNode, levelText) == 522, "CheckNode.levelText");
RUNVANE_STATIC_ASSERT(offsetof(CheckNode, desc) == 544, "CheckNode.desc");
RUNVANE_STATIC_ASSERT(offsetof(CheckNode, cmdline) == 2594, "CheckNode.cmdline");
RUNVANE_STATIC_ASSERT(offsetof(CheckNode, company) == 3116, "CheckNode.company");
RUNVANE_STATIC_ASSERT(offsetof(CheckNode, selected) == 3640, "CheckNode.selected");
RUNVANE_STATIC_ASSERT(offsetof(CheckNode, failed) == 3644, "CheckNode.failed");
RUNVANE_STATIC_ASSERT(offsetof(CheckNode, type) == 3648, "CheckNode.type");
RUNVANE_STATIC_ASSERT(offsetof(FixNode, name) == 0, "FixNode.name");
RUNVANE_STATIC_ASSERT(offsetof(FixNode, result) == 524, "FixNode.result");
RUNVANE_STATIC_ASSERT(offsetof(FixNode, reserved) == 528, "FixNode.reserved");
RUNVANE_STATIC_ASSERT(offsetof(FixNode, next) == 536, "FixNode.next");
#if UINTPTR_MAX == 0xFFFFFFFFu
/* The 32-bit interface (32-bit Windows, the product's own ABI). */
RUNVANE_STATIC_ASSERT(offsetof(CheckNode, next) == 3652, "CheckNode.next");
RUNVANE_STATIC_ASSERT(sizeof(CheckNode) == 3656, "CheckNode is 3656 bytes");
RUNVANE_STATIC_ASSERT(sizeof(FixNode) == 540, "FixNode is 540 bytes");
#elif UINTPTR_MAX == 0xFFFFFFFFFFFFFFFFu
RUNVANE_STATIC_ASSERT(offsetof(CheckNode, next) == 3656, "CheckNode.next (8-byte pointers)");
RUNVANE_STATIC_ASSERT(sizeof(CheckNode) == 3664, "CheckNode is 3664 bytes with 8-byte pointers");
RUNVANE_STATIC_ASSERT(sizeof(FixNode) == 544, "FixNode is 544 bytes with 8-byte pointers");
#endif

#endif /* RUNVANE_H */
