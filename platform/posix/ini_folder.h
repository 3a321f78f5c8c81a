#pragma once
// Finding and making the settings store's folders, and following settings.ini when it is a link.

#include <sys/stat.h>

#include <optional>
#include <string>

#include "platform/posix/posix_file.h"

namespace qv::posix {

// The folder part of a path ("/" for a file at the top, "." for a bare name), and the rest.
std::string folderOf(const std::string& path);
std::string fileNameOf(const std::string& path);

// The file that a save replaces: `path` (relative to the open folder `folder`, or absolute)
// itself or, when it is a symbolic link, the end of its chain of links, which need not exist
// yet. Replacing the target keeps the link a link. 0, or the errno of the failure.
int resolveLinks(int folder, std::string path, std::string& out);

// mkdir -p for the store's folder; new folders are private to the user, as XDG asks.
int makeFolders(const std::string& folder);

// Opens the folder at `path`, relative to the open folder `at` (or absolute). 0, or the errno.
int openFolder(int at, const std::string& path, Fd& out);

// Waits until a rename in the open folder has reached the disk. 0, or the errno of the failure.
int syncFolder(int folder);

// Why the folder with this status must not be saved into, or "" when it may: others could plant
// links in it. It must be the user's own, and no one else may write to it: not every user, nor
// its group when the group has members other than the user.
std::string distrustOf(const struct stat& folder);

std::string withoutTrailingSlashes(std::string path);

// $XDG_CONFIG_HOME when it is an absolute path; else $HOME/.config when HOME is absolute; else
// the home folder from the password database, plus /.config. std::nullopt when none is known.
std::optional<std::string> userConfigHome();

}  // namespace qv::posix
