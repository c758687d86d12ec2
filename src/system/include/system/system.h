// Operating system services: folders, the primary display, files, and starting other programs.
//
// Everything here is a thin, synchronous wrapper over POSIX. Calls that can fail return false,
// an empty string or an empty optional, and where the reason matters they fill `error` with text
// a user can read. Nothing here throws.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace kestrum::sys {

// The process's working directory, without a trailing separator; empty if it cannot be read.
std::string currentDirectory();
// Makes `path` the working directory. An empty path leaves it unchanged and succeeds.
bool setCurrentDirectory(const std::string& path);

// The user's profile folder ($HOME) ending in "/"; empty when HOME is unset or not a folder.
std::string profileFolder();

// Appends "/" unless `folder` is empty or already ends in "/" or "\".
std::string withTrailingSeparator(std::string folder);
// The part of `path` after its last "/" or "\" (the whole path when it has neither).
std::string_view fileNamePart(std::string_view path);
// Everything up to and including the last "/" or "\" (empty when it has neither).
std::string_view folderPart(std::string_view path);
// True when `path` starts at the root ("/"). A leading "\" is an ordinary file-name character
// here, so "\name" is relative.
bool isAbsolutePath(std::string_view path);
// `path` taken relative to `folder`: absolute or empty paths, and any path when `folder` is empty,
// come back unchanged; otherwise the folder (with a separator added) followed by the path.
std::string resolvePath(const std::string& folder, const std::string& path);
// `path` made absolute against the working directory (unchanged when already absolute or empty).
std::string absolutePath(const std::string& path);

// Makes a folder the working directory for the life of the object and restores the one that was
// current before on every way out.
class WorkingDirectoryGuard {
 public:
  WorkingDirectoryGuard() : saved_(currentDirectory()) {}
  ~WorkingDirectoryGuard() {
    if (!saved_.empty()) setCurrentDirectory(saved_);
  }
  WorkingDirectoryGuard(const WorkingDirectoryGuard&) = delete;
  WorkingDirectoryGuard& operator=(const WorkingDirectoryGuard&) = delete;

  // Refuses when the present folder cannot be read back, since it could not be restored.
  bool enter(const std::string& folder) {
    if (folder.empty()) return true;
    return !saved_.empty() && setCurrentDirectory(folder);
  }

 private:
  std::string saved_;
};

struct DisplaySize {
  int width = 0;
  int height = 0;
};
// The primary display's size in pixels. The window toolkit registers the query when it starts;
// without one (headless programs) the result is {0, 0}.
DisplaySize primaryDisplaySize();
void setDisplaySizeQuery(std::function<DisplaySize()> query);

bool fileExists(const std::string& path);
bool isDirectory(const std::string& path);
// Deletes a file; false if it did not exist or could not be removed.
bool deleteFile(const std::string& path);

// Reads a whole regular file. Refuses files larger than `maxBytes`, folders and unreadable files.
std::optional<std::vector<uint8_t>> readFile(const std::string& path,
                                             size_t maxBytes = size_t{1} << 30,
                                             std::string* error = nullptr);

// Replaces `path` with `data` so that it is never seen half-written: the bytes go to a
// temporary file in the same folder, are flushed to disk, and the temporary file is renamed over
// `path`. On any failure the temporary file is removed and the old `path` is left as it was.
// A `path` that is a symbolic link stays one: the file it leads to (through any chain of links,
// created if it does not exist) is what gets replaced, from a temporary file in that file's
// folder. A replaced file keeps its permissions; a new one gets 0666 less the umask.
bool writeFileAtomic(const std::string& path, const void* data, size_t size,
                     std::string* error = nullptr);

// Starts `program` with `arguments` in `workingDirectory` (empty: the current one), waits for
// it to end and returns its exit status; -1 when it could not be started or did not exit
// normally.
int runProgramAndWait(const std::string& program, const std::vector<std::string>& arguments,
                      const std::string& workingDirectory = {}, std::string* error = nullptr);

// Opens a document with the desktop's default program (xdg-open), without waiting.
// Returns false when no opener could be started.
bool openDocument(const std::string& path);

}  // namespace kestrum::sys
