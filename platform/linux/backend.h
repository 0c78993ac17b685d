// Internals shared by the files of the Linux backend: the one lock that
// serialises every operation, fault injection, the image's root and the
// mapping of host errors to Win32 errors.
#pragma once

#include <mutex>
#include <string>

#include "platform/platform.h"

namespace platform {
namespace backend {

// Every public operation holds this lock while it runs. Recursive, because
// shell and search operations read the registry through the same code.
std::recursive_mutex& Mutex();
using Guard = std::lock_guard<std::recursive_mutex>;

// Counts one platform operation; true when fault injection says that this
// one must fail.
bool InjectedFault();

// The current image root (resolved from the environment on first use).
const std::string& RootPath();
// Changes every time the root changes, so caches can tell.
unsigned long RootGeneration();

// True while a Wine server owns the current image (and so its registry).
bool WineServerOwnsImage();

// Host path of a Windows path of the image, or "" when no drive maps it.
std::string MapPath(const std::u16string& windowsPath);

// True when a change at hostPath stays inside the current image: the folder
// that holds it, followed through every link, lies in the image's root. The
// last component is not followed: deletes and moves act on a link itself.
bool InsideImage(const std::string& hostPath);

// Win32 error for an errno of a failed call on hostPath.
DWORD ErrorFromErrno(int error, const std::string& hostPath);

// Parent folder of a host path ("/" for top-level entries).
std::string ParentOf(const std::string& hostPath);
bool IsDirectory(const std::string& hostPath);
bool Exists(const std::string& hostPath);
// mkdir -p; false when a component cannot be made.
bool MakeDirectories(const std::string& hostPath);

// The user name of the image (HKCU "Volatile Environment", else the host's).
std::u16string ImageUserName();

// Expands %NAME% references over the image's environment.
std::u16string ExpandImageEnvironment(const std::u16string& text);

// The module's own path in the image's namespace (or the test override).
std::u16string ModuleFilePath();

// The export call running on this thread (platform/call_scope.h): 0 outside
// any, else a number no other call has had. What a cache keeps under one
// serial is good for that call only.
unsigned long CallSerial();
// Tells the path mapping that this process deleted or moved an entry, so
// that no thread maps a path through what it found of that entry before.
void FolderEntriesTaken();
// Drops what this thread kept for the call that just ended (the open file of
// the version reader).
void ForgetCall();

}  // namespace backend
}  // namespace platform
