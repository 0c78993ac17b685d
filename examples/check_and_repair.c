/*
 * A host program in plain C, built against runvane.h alone: it loads the
 * module at run time, checks the startup items, shows the findings, removes
 * every dangerous one with DLL_Repair, removes the items named on the
 * command line with FixItemByName, and checks again.
 *
 *   check_and_repair MODULE [NAME...]
 *
 * MODULE is runvane.dll (or runvane_check.dll) on Windows and the path of
 * librunvane.so.1 (or librunvane_check.so.1) on Linux, where the module
 * works on the Windows system image named by RUNVANE_SYSTEM_ROOT (else
 * WINEPREFIX, else ~/.wine).
 *
 * Exit status: 0 when every removal succeeded and the second check finds
 * nothing dangerous, 1 when not, 2 on a usage or loading error.
 *
 * Build:  cc -Iinclude examples/check_and_repair.c -ldl           (Linux)
 *         i686-w64-mingw32-gcc -Iinclude examples/check_and_repair.c (Windows)
 */
#define RUNVANE_NO_PROTOTYPES
#include "runvane.h"

#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#ifdef _WIN32
#include <windows.h>
#else
#include <dlfcn.h>
#endif

struct module {
  void* handle;
  RunvaneDllCheck check;
  RunvaneDllRelease release;
  RunvaneDllRepair repair;
  RunvaneFixItemByName fix_item_by_name;
};

/* Converts a function address found by name; a data pointer and a function
 * pointer have the same size on every platform the module runs on. */
static void* find_export(void* handle, const char* name) {
#ifdef _WIN32
  FARPROC address = GetProcAddress((HMODULE)handle, name);
  void* result;
  memcpy(&result, &address, sizeof result);
  return result;
#else
  return dlsym(handle, name);
#endif
}

static int load_module(const char* path, struct module* module) {
  void* address;
  memset(module, 0, sizeof *module);
#ifdef _WIN32
  module->handle = (void*)LoadLibraryA(path);
  if (module->handle == NULL) {
    fprintf(stderr, "cannot load %s (error %lu)\n", path, (unsigned long)GetLastError());
    return 0;
  }
#else
  module->handle = dlopen(path, RTLD_NOW | RTLD_LOCAL);
  if (module->handle == NULL) {
    fprintf(stderr, "cannot load %s: %s\n", path, dlerror());
    return 0;
  }
#endif
  address = find_export(module->handle, RUNVANE_EXPORT_CHECK);
  memcpy(&module->check, &address, sizeof address);
  address = find_export(module->handle, RUNVANE_EXPORT_RELEASE);
  memcpy(&module->release, &address, sizeof address);
  address = find_export(module->handle, RUNVANE_EXPORT_REPAIR);
  memcpy(&module->repair, &address, sizeof address);
  address = find_export(module->handle, RUNVANE_EXPORT_FIX_ITEM_BY_NAME);
  memcpy(&module->fix_item_by_name, &address, sizeof address);
  if (module->check == NULL || module->release == NULL || module->repair == NULL ||
      module->fix_item_by_name == NULL) {
    fprintf(stderr, "%s lacks one of the check exports\n", path);
    return 0;
  }
  return 1;
}

static void unload_module(struct module* module) {
  if (module->handle == NULL) return;
#ifdef _WIN32
  FreeLibrary((HMODULE)module->handle);
#else
  dlclose(module->handle);
#endif
  module->handle = NULL;
}

/* UTF-16 to UTF-8 into out (always terminated); an unpaired surrogate
 * becomes U+FFFD. */
static void to_utf8(const RunvaneChar* text, size_t units, char* out, size_t size) {
  size_t used = 0, i;
  if (size == 0) return;
  for (i = 0; i < units && text[i] != 0; ++i) {
    unsigned long c = text[i];
    char bytes[4];
    size_t n, k;
    if (c >= 0xD800 && c <= 0xDBFF && i + 1 < units && text[i + 1] >= 0xDC00 &&
        text[i + 1] <= 0xDFFF) {
      c = 0x10000 + ((c - 0xD800) << 10) + (text[i + 1] - 0xDC00);
      ++i;
    } else if (c >= 0xD800 && c <= 0xDFFF) {
      c = 0xFFFD;
    }
    if (c < 0x80) {
      bytes[0] = (char)c;
      n = 1;
    } else if (c < 0x800) {
      bytes[0] = (char)(0xC0 | (c >> 6));
      bytes[1] = (char)(0x80 | (c & 0x3F));
      n = 2;
    } else if (c < 0x10000) {
      bytes[0] = (char)(0xE0 | (c >> 12));
      bytes[1] = (char)(0x80 | ((c >> 6) & 0x3F));
      bytes[2] = (char)(0x80 | (c & 0x3F));
      n = 3;
    } else {
      bytes[0] = (char)(0xF0 | (c >> 18));
      bytes[1] = (char)(0x80 | ((c >> 12) & 0x3F));
      bytes[2] = (char)(0x80 | ((c >> 6) & 0x3F));
      bytes[3] = (char)(0x80 | (c & 0x3F));
      n = 4;
    }
    if (used + n >= size) break;
    for (k = 0; k < n; ++k) out[used++] = bytes[k];
  }
  out[used] = 0;
}

/* ASCII or UTF-8 text into a FixNode name; 0 when it does not fit. */
static int set_fix_name(FixNode* node, const char* text) {
  const unsigned char* p = (const unsigned char*)text;
  size_t used = 0;
  while (*p != 0) {
    unsigned long c = *p++;
    int more = 0;
    if (c >= 0xF0) { c &= 0x07; more = 3; }
    else if (c >= 0xE0) { c &= 0x0F; more = 2; }
    else if (c >= 0xC0) { c &= 0x1F; more = 1; }
    while (more-- > 0 && (*p & 0xC0) == 0x80) c = (c << 6) | (*p++ & 0x3F);
    if (c >= 0x10000) {
      if (used + 2 >= RUNVANE_FIX_NAME_UNITS) return 0;
      c -= 0x10000;
      node->name[used++] = (RunvaneChar)(0xD800 + (c >> 10));
      node->name[used++] = (RunvaneChar)(0xDC00 + (c & 0x3FF));
    } else {
      if (used + 1 >= RUNVANE_FIX_NAME_UNITS) return 0;
      node->name[used++] = (RunvaneChar)c;
    }
  }
  node->name[used] = 0;
  return 1;
}

static int same_text(const RunvaneChar* a, const RunvaneChar* b) {
  while (*a != 0 && *a == *b) ++a, ++b;
  return *a == *b;
}

static long g_progress_calls = 0;

static int32_t RUNVANE_CALL count_progress(const RunvaneChar* text, int32_t a, int32_t b,
                                           int32_t c, int32_t d, int32_t user_data, int32_t e,
                                           int32_t f, int32_t g) {
  (void)text, (void)a, (void)b, (void)c, (void)d, (void)user_data, (void)e, (void)f, (void)g;
  ++g_progress_calls;
  return RUNVANE_PROGRESS_CONTINUE;
}

static const RunvaneChar kDangerous[] = RUNVANE_LEVEL_DANGEROUS_TEXT;

/* Prints the list; returns the number of dangerous findings. */
static int show(const CheckNode* head) {
  char name[4 * RUNVANE_NAME_UNITS], level[4 * RUNVANE_LEVEL_UNITS],
      cmdline[4 * RUNVANE_CMDLINE_UNITS];
  int dangerous = 0, index = 1;
  for (; head != NULL; head = head->next, ++index) {
    to_utf8(head->name, RUNVANE_NAME_UNITS, name, sizeof name);
    to_utf8(head->levelText, RUNVANE_LEVEL_UNITS, level, sizeof level);
    to_utf8(head->cmdline, RUNVANE_CMDLINE_UNITS, cmdline, sizeof cmdline);
    printf("  %2d  %-6s  %-24s  type %-2ld  %s\n", index, level, name, (long)head->type, cmdline);
    if (same_text(head->levelText, kDangerous)) ++dangerous;
  }
  return dangerous;
}

int main(int argc, char** argv) {
  struct module module;
  CheckNode* list = NULL;
  CheckNode* node;
  FixNode* names = NULL;
  int32_t count = 0;
  int dangerous, selected = 0, failures = 0, i;

  if (argc < 2) {
    fprintf(stderr, "usage: check_and_repair MODULE [NAME...]\n");
    return 2;
  }
  if (!load_module(argv[1], &module)) {
    unload_module(&module);
    return 2;
  }

  module.check(&list, count_progress, &count, 0);
  printf("check: %ld item(s) reported, %ld progress call(s)\n", (long)count, g_progress_calls);
  dangerous = show(list);

  for (node = list; node != NULL; node = node->next) {
    node->selected = same_text(node->levelText, kDangerous) ? 1 : 0;
    selected += node->selected;
  }
  if (selected > 0) {
    module.repair(list, count_progress, 0);
    for (node = list; node != NULL; node = node->next) {
      char name[4 * RUNVANE_NAME_UNITS];
      if (!node->selected) continue;
      to_utf8(node->name, RUNVANE_NAME_UNITS, name, sizeof name);
      printf("repair: %s %s\n", name, node->failed ? "FAILED" : "removed");
      failures += node->failed != 0;
    }
  }
  module.release(list);
  list = NULL;

  if (argc > 2) {
    names = (FixNode*)calloc((size_t)(argc - 2), sizeof(FixNode));
    if (names == NULL) {
      unload_module(&module);
      return 2;
    }
    for (i = 2; i < argc; ++i) {
      if (!set_fix_name(&names[i - 2], argv[i])) {
        fprintf(stderr, "name too long: %s\n", argv[i]);
        free(names);
        unload_module(&module);
        return 2;
      }
      names[i - 2].next = i + 1 < argc ? &names[i - 1] : NULL;
    }
    module.fix_item_by_name(names);
    for (i = 2; i < argc; ++i) {
      printf("fix by name: %s %s\n", argv[i],
             names[i - 2].result == RUNVANE_FIX_REMOVED ? "removed" : "not found");
      failures += names[i - 2].result != RUNVANE_FIX_REMOVED;
    }
    free(names);
  }

  count = 0;
  module.check(&list, NULL, &count, 0);
  printf("check again: %ld item(s)\n", (long)count);
  dangerous = show(list);
  module.release(list);
  unload_module(&module);

  printf("%d dangerous item(s) left, %d removal(s) failed\n", dangerous, failures);
  return dangerous == 0 && failures == 0 ? 0 : 1;
}
