#pragma once
// Finding and making the settings store's folders, and following settings.ini when it is a link.

#include <string>

namespace qv::posix {

// The folder part of an absolute path ("/" for a file at the top).
std::string folderOf(const std::string& path);

// The file that a save replaces: `path` itself or, when it is a symbolic link, the end of its
// chain of links, which need not exist yet. Replacing the target keeps the link a link.
// 0, or the errno of the failure.
int resolveLinks(std::string path, std::string& out);

// mkdir -p for the store's folder; new folders are private to the user, as XDG asks.
int makeFolders(const std::string& folder);

// Waits until a rename in `folder` has reached the disk. 0, or the errno of the failure.
int syncFolder(const std::string& folder);

std::string withoutTrailingSlashes(std::string path);

}  // namespace qv::posix
