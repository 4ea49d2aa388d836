// Whether a host path is what it names. Under Wine only a link to a folder
// shows the reparse attribute: a link to a file looks like a plain file, and
// a link to nothing is not listed at all, yet writing or deleting through
// either reaches whatever it points at. So every path the programs delete or
// write beneath a folder the user chose is checked here first.
// Paths are ANSI (the system code page).
#pragma once
#include <windows.h>

#include <string>

namespace cl {

// Whether something visible stands at path (a link to nothing is not).
bool HostPathExists(const std::string& path);
// Whether path, as named, is itself: something visible stands there, it is
// no link, and no link lies on the way down from root. The path is compared
// with where the system ends up when it opens it (every link followed),
// against root's own end point followed by the rest of path; so root itself
// may be reached through links (the user chose it), its subfolders not.
// Root itself counts as plain. False when path lies not below root, or when
// nothing visible stands there.
bool IsPlainBelow(const std::string& root, const std::string& path);
// Creates path anew with CREATE_NEW, for access with exclusive sharing. When
// the name is taken, a plain file below root there is deleted first (a
// folder, a link, a file another program holds, or something invisible
// that takes the name stays) and the result is INVALID_HANDLE_VALUE.
HANDLE CreateFreshFileBelow(const std::string& root, const std::string& path, DWORD access);

}  // namespace cl
