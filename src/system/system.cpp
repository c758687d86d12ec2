#include "system/system.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace kestrum::sys {
namespace {

std::function<DisplaySize()>& displayQuery() {
  static std::function<DisplaySize()> query;
  return query;
}

void setError(std::string* error, const std::string& text) {
  if (error) *error = text;
}

std::string errnoText(const std::string& what, const std::string& path) {
  return what + " " + path + ": " + std::strerror(errno);
}

bool isSeparator(char c) {
  return c == '/' || c == '\\';
}

}  // namespace

std::string currentDirectory() {
  std::vector<char> buffer(4096);
  while (getcwd(buffer.data(), buffer.size()) == nullptr) {
    if (errno != ERANGE || buffer.size() > (1u << 20)) return {};
    buffer.resize(buffer.size() * 2);
  }
  return buffer.data();
}

bool setCurrentDirectory(const std::string& path) {
  if (path.empty()) return true;
  return chdir(path.c_str()) == 0;
}

std::string profileFolder() {
  const char* home = std::getenv("HOME");
  if (!home || !*home || !isDirectory(home)) return {};
  return withTrailingSeparator(home);
}

std::string withTrailingSeparator(std::string folder) {
  if (!folder.empty() && !isSeparator(folder.back())) folder += '/';
  return folder;
}

std::string_view fileNamePart(std::string_view path) {
  size_t cut = path.find_last_of("/\\");
  return cut == std::string_view::npos ? path : path.substr(cut + 1);
}

std::string_view folderPart(std::string_view path) {
  size_t cut = path.find_last_of("/\\");
  return cut == std::string_view::npos ? std::string_view{} : path.substr(0, cut + 1);
}

bool isAbsolutePath(std::string_view path) {
  return !path.empty() && path[0] == '/';
}

std::string resolvePath(const std::string& folder, const std::string& path) {
  if (path.empty() || isAbsolutePath(path) || folder.empty()) return path;
  return withTrailingSeparator(folder) + path;
}

std::string absolutePath(const std::string& path) {
  return resolvePath(currentDirectory(), path);
}

DisplaySize primaryDisplaySize() {
  auto& query = displayQuery();
  return query ? query() : DisplaySize{};
}

void setDisplaySizeQuery(std::function<DisplaySize()> query) {
  displayQuery() = std::move(query);
}

bool fileExists(const std::string& path) {
  struct stat st {};
  return stat(path.c_str(), &st) == 0;
}

bool isDirectory(const std::string& path) {
  struct stat st {};
  return stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

bool deleteFile(const std::string& path) {
  return !path.empty() && unlink(path.c_str()) == 0;
}

std::optional<std::vector<uint8_t>> readFile(const std::string& path, size_t maxBytes,
                                             std::string* error) {
  // Without O_NONBLOCK, opening a FIFO would wait for a writer forever; regular files ignore it.
  int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
  if (fd < 0) {
    setError(error, errnoText("cannot open", path));
    return std::nullopt;
  }
  struct stat st {};
  if (fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
    setError(error, path + " is not a regular file");
    close(fd);
    return std::nullopt;
  }
  if (static_cast<uint64_t>(st.st_size) > maxBytes) {
    setError(error, path + " is too large");
    close(fd);
    return std::nullopt;
  }
  std::vector<uint8_t> data(static_cast<size_t>(st.st_size));
  size_t done = 0;
  while (done < data.size()) {
    ssize_t n = read(fd, data.data() + done, data.size() - done);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) {
      setError(error, errnoText("cannot read", path));
      close(fd);
      return std::nullopt;
    }
    if (n == 0) break;  // the file shrank while we read it
    done += static_cast<size_t>(n);
  }
  data.resize(done);
  close(fd);
  return data;
}

namespace {

// Where a write to `path` must land: through any symbolic links, to the file they name (which
// need not exist yet). `path` itself when it is no link; empty when the links go round in a
// circle or too deep.
std::string followLinks(const std::string& path, std::string* error) {
  std::string current = path;
  for (int depth = 0; depth < 40; ++depth) {
    struct stat st {};
    if (lstat(current.c_str(), &st) != 0 || !S_ISLNK(st.st_mode)) return current;
    std::vector<char> buffer(static_cast<size_t>(st.st_size > 0 ? st.st_size : 255) + 1);
    ssize_t n = readlink(current.c_str(), buffer.data(), buffer.size());
    if (n < 0) {
      setError(error, errnoText("cannot follow the link", current));
      return {};
    }
    if (static_cast<size_t>(n) >= buffer.size()) continue;  // it changed meanwhile: read again
    std::string target(buffer.data(), static_cast<size_t>(n));
    current = isAbsolutePath(target) ? target : std::string(folderPart(current)) + target;
  }
  setError(error, "too many symbolic links in " + path);
  return {};
}

// Gives the new file the replaced one's owner and group as far as the system lets us: only root
// may give a file away, and a member of the group may set the group.
void keepOwner(int fd, const struct stat& old) {
  if (fchown(fd, old.st_uid, old.st_gid) == 0) return;
  if (fchown(fd, static_cast<uid_t>(-1), old.st_gid) == 0) return;
}

}  // namespace

bool writeFileAtomic(const std::string& path, const void* data, size_t size, std::string* error) {
  if (path.empty()) {
    setError(error, "no file name given");
    return false;
  }
  // A link stays a link: its target is what gets replaced.
  const std::string target = followLinks(path, error);
  if (target.empty()) return false;
  struct stat old {};
  const bool replacing = stat(target.c_str(), &old) == 0 && S_ISREG(old.st_mode);

  std::string temp =
      std::string(folderPart(target)) + "." + std::string(fileNamePart(target)) + ".XXXXXX";
  int fd = mkstemp(temp.data());
  if (fd < 0) {
    setError(error, errnoText("cannot write in the folder of", path));
    return false;
  }
  const auto* bytes = static_cast<const uint8_t*>(data);
  size_t done = 0;
  bool ok = true;
  while (done < size) {
    ssize_t n = write(fd, bytes + done, size - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) {
      setError(error, errnoText("cannot write", path));
      ok = false;
      break;
    }
    done += static_cast<size_t>(n);
  }
  if (ok && fsync(fd) != 0) {
    setError(error, errnoText("cannot write", path));
    ok = false;
  }
  // mkstemp creates the file 0600: a replaced file keeps its permissions (and, where we may, its
  // group), a new one gets the usual permissions for a user's file.
  if (ok) {
    if (replacing) {
      keepOwner(fd, old);
      fchmod(fd, old.st_mode & 07777);
    } else {
      mode_t mask = umask(0);
      umask(mask);
      fchmod(fd, 0666 & ~mask);
    }
  }
  if (close(fd) != 0 && ok) {
    setError(error, errnoText("cannot write", path));
    ok = false;
  }
  if (ok && rename(temp.c_str(), target.c_str()) != 0) {
    setError(error, errnoText("cannot replace", path));
    ok = false;
  }
  if (!ok) unlink(temp.c_str());
  return ok;
}

namespace {

int spawnProgram(const std::string& program, const std::vector<std::string>& arguments,
                 const std::string& workingDirectory, bool wait, std::string* error) {
  std::vector<char*> argv;
  std::string argv0 = program;
  argv.push_back(argv0.data());
  std::vector<std::string> copies = arguments;
  for (auto& a : copies) argv.push_back(a.data());
  argv.push_back(nullptr);

  // posix_spawn has no portable "change directory" action in glibc 2.36's public API, so the
  // working directory is switched around the spawn (single-threaded callers only).
  std::string previous;
  if (!workingDirectory.empty()) {
    previous = currentDirectory();
    if (!setCurrentDirectory(workingDirectory)) {
      setError(error, errnoText("cannot enter", workingDirectory));
      return -1;
    }
  }
  pid_t pid = 0;
  int rc = program.find('/') == std::string::npos
               ? posix_spawnp(&pid, program.c_str(), nullptr, nullptr, argv.data(), environ)
               : posix_spawn(&pid, program.c_str(), nullptr, nullptr, argv.data(), environ);
  if (!previous.empty()) setCurrentDirectory(previous);
  if (rc != 0) {
    setError(error, "cannot start " + program + ": " + std::strerror(rc));
    return -1;
  }
  if (!wait) return 0;
  int status = 0;
  while (waitpid(pid, &status, 0) < 0) {
    if (errno != EINTR) {
      setError(error, errnoText("lost track of", program));
      return -1;
    }
  }
  if (!WIFEXITED(status)) {
    setError(error, program + " did not exit normally");
    return -1;
  }
  return WEXITSTATUS(status);
}

}  // namespace

int runProgramAndWait(const std::string& program, const std::vector<std::string>& arguments,
                      const std::string& workingDirectory, std::string* error) {
  return spawnProgram(program, arguments, workingDirectory, true, error);
}

bool openDocument(const std::string& path) {
  // Detach through a short-lived shell so the opener is never left as our zombie.
  std::vector<std::string> args = {"-c", "xdg-open \"$0\" >/dev/null 2>&1 &", path};
  return spawnProgram("/bin/sh", args, {}, true, nullptr) == 0;
}

}  // namespace kestrum::sys
