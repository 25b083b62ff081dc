#pragma once

#include <string>
#include <string_view>

// Storing a small file's whole content safely. The INI file keeps its lines in
// memory and hands them here; everything that depends on the operating system's
// file calls lives behind these two functions.
namespace plat {

// True when something exists at `path`, a symbolic link being followed.
bool PathExists(const std::string& path);

// Makes `content` the whole content of the file at `path` and flushes it to disk.
//
// - A symbolic link is followed to its final target, which gets the content; the
//   link stays a link.
// - The content goes into a temporary file beside the target, which then replaces
//   the target by a rename (the directory is flushed too), so a crash or a full
//   disk leaves the old content or the new, whole.
// - The replacement keeps the old file's mode, owner and group (the option file
//   holds a password in plain text); a new file gets mode 0600.
// - Where that cannot be done (no temporary file can be made beside the target,
//   it cannot be given the old file's owner, or the rename is refused), the file
//   is overwritten in place and flushed, as the platform's INI functions do.
// - An existing file that is not writable, or is no regular file, is left alone.
//
// Returns false when the content could not be stored; the old file then holds its
// old content, except after a failed write in place.
bool StoreFileContent(const std::string& path, std::string_view content);

}  // namespace plat
