// An offline Windows volume as a system image: a mounted Windows partition
// (or a copy of one) recognised by Windows/System32/config/SOFTWARE. These
// calls find its hives and choose the user whose NTUSER.DAT is
// HKEY_CURRENT_USER; they need nothing of the module, so the reference host
// uses them too to tell the user which profiles there are.
#pragma once

#include <string>
#include <vector>

namespace platform {
namespace offline {

// The host path of an entry below root whose components are matched
// ignoring case, as an NTFS mount may spell them ("" when there is none).
std::string FindIgnoringCase(const std::string& root, const std::string& relative);

// True when root holds Windows/System32/config/SOFTWARE (any case).
bool IsOfflineWindows(const std::string& root);

// The host paths of the volume's machine hives ("" when missing).
std::string SoftwareHivePath(const std::string& root);
std::string SystemHivePath(const std::string& root);

struct Profile {
  std::string name;          // the profile folder's name ("alice")
  std::u16string folder;     // its Windows path ("C:\Users\alice")
  std::string userHive;      // host path of its NTUSER.DAT ("" when it has none)
};

// The user profiles of the volume: ProfileList of SOFTWARE (users' SIDs
// only, not the service accounts), else the folders of Users\ and
// Documents and Settings\. Default, Default User, All Users and Public are
// no users.
std::vector<Profile> Profiles(const std::string& root);

// The profile whose NTUSER.DAT is HKEY_CURRENT_USER: the one named wanted
// (the folder name, ignoring case), else the only one with an NTUSER.DAT.
// False with a message for the user that names the candidates.
bool ChooseProfile(const std::string& root, const std::string& wanted, Profile* chosen,
                   std::string* error);

// The user RUNVANE_USER names ("" when unset).
std::string WantedUser();

}  // namespace offline
}  // namespace platform
