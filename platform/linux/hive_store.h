// The registry store of an offline Windows volume: its hives read through
// libhivex into the same key tree the registry operations use for Wine's
// text files, and every change written back into the hive it came from.
//
// HKEY_LOCAL_MACHINE holds SOFTWARE (read and written) and the part of
// SYSTEM the environment needs (read only: Select and the current control
// set's Session Manager\Environment, also under CurrentControlSet);
// HKEY_CURRENT_USER is the chosen user's NTUSER.DAT.
//
// A change touches only the keys it changed in the hive; the new hive is
// committed to a temporary file beside the old one, flushed and renamed over
// it, keeping owner and mode, after a copy of the hive as it was has been
// kept beside it once a run (<hive>.runvane-backup-<date>). A hive whose
// sequence numbers differ is read as it is, with a warning, and never
// written; a damaged one is not read at all.
#pragma once

#include <functional>
#include <string>

#include "platform/linux/registry_file.h"
#include "platform/linux/registry_store.h"
#include "platform/win32_types.h"

namespace platform {
namespace backend {

// True when the current image is an offline Windows volume.
bool OfflineImage();

// The chosen user's profile folder ("C:\Users\alice") and name; empty when
// the image is no offline volume or no user could be chosen.
std::u16string OfflineProfileFolder();
std::u16string OfflineUserName();

namespace hivestore {

// As backend::ReadHive and backend::ChangeHive, on the volume's hives.
regfile::File* ReadHive(Hive hive, LONG* error);
LONG ChangeHive(Hive hive, const std::function<LONG(regfile::File& file, bool* modified)>& change);
// As backend::BeginTransaction and EndTransaction (the caller holds the
// backend's lock): a group's changes are written once each hive at its end.
void BeginTransaction();
bool EndTransaction(bool commit);

}  // namespace hivestore
}  // namespace backend
}  // namespace platform
