// FindPortHolders: the lock table and the processes' descriptors under the proc root.
#include "platform/portholders.h"

#include <dirent.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <algorithm>
#include <charconv>
#include <fstream>
#include <iterator>
#include <memory>
#include <sstream>
#include <string_view>

namespace talyx::platform {

namespace {

struct CloseDirectory {
  void operator()(DIR* directory) const { closedir(directory); }
};
using Directory = std::unique_ptr<DIR, CloseDirectory>;

Directory OpenDirectory(const std::string& path) { return Directory(opendir(path.c_str())); }

template <typename Number>
bool ParseNumber(std::string_view text, Number& value, int base = 10) {
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value, base);
  return error == std::errc() && end == text.data() + text.size();
}

// Whether text is a lock's "major:minor:inode" (device numbers in hex) naming the node.
bool NamesNode(std::string_view text, const struct stat& node) {
  const size_t first = text.find(':');
  const size_t second = text.find(':', first + 1);
  if (first == std::string_view::npos || second == std::string_view::npos) return false;
  unsigned int majorNumber = 0;
  unsigned int minorNumber = 0;
  unsigned long long inode = 0;
  return ParseNumber(text.substr(0, first), majorNumber, 16) &&
         ParseNumber(text.substr(first + 1, second - first - 1), minorNumber, 16) &&
         ParseNumber(text.substr(second + 1), inode) && majorNumber == major(node.st_dev) &&
         minorNumber == minor(node.st_dev) && inode == node.st_ino;
}

// The pids of the locks held on the node, in table order. A line reads "1: FLOCK ADVISORY WRITE
// 1234 00:05:87 0 EOF"; the pid stands before the node (-1 or 0 for a holder out of view).
std::vector<int> LockHolders(const std::string& procRoot, const struct stat& node) {
  std::vector<int> pids;
  std::ifstream locks(procRoot + "/locks");
  std::string line;
  while (std::getline(locks, line)) {
    std::istringstream fields(line);
    const std::vector<std::string> tokens{std::istream_iterator<std::string>(fields),
                                          std::istream_iterator<std::string>()};
    if (tokens.size() < 3 || tokens[1] == "->") continue;
    for (size_t i = 2; i < tokens.size(); ++i) {
      if (!NamesNode(tokens[i], node)) continue;
      int pid = 0;
      if (!ParseNumber(tokens[i - 1], pid) || pid < 0) pid = 0;
      pids.push_back(pid);
      break;
    }
  }
  return pids;
}

bool SameDevice(const struct stat& node, const struct stat& opened) {
  if (S_ISCHR(node.st_mode)) return S_ISCHR(opened.st_mode) && opened.st_rdev == node.st_rdev;
  return opened.st_dev == node.st_dev && opened.st_ino == node.st_ino;
}

bool HasOpen(const std::string& fdFolder, const struct stat& node) {
  const Directory descriptors = OpenDirectory(fdFolder);
  if (descriptors == nullptr) return false;
  while (const dirent* entry = readdir(descriptors.get())) {
    if (entry->d_name[0] == '.') continue;
    struct stat opened {};
    if (fstatat(dirfd(descriptors.get()), entry->d_name, &opened, 0) == 0 &&
        SameDevice(node, opened)) {
      return true;
    }
  }
  return false;
}

// The pids of the processes (other than self) with the node open, as far as they can be seen.
std::vector<int> DescriptorHolders(const std::string& procRoot, const struct stat& node, int self) {
  std::vector<int> pids;
  const Directory processes = OpenDirectory(procRoot);
  if (processes == nullptr) return pids;
  while (const dirent* process = readdir(processes.get())) {
    int pid = 0;
    if (!ParseNumber(std::string_view(process->d_name), pid) || pid <= 0 || pid == self) continue;
    if (HasOpen(procRoot + "/" + process->d_name + "/fd", node)) pids.push_back(pid);
  }
  return pids;
}

std::string ProgramOf(const std::string& procRoot, int pid) {
  std::ifstream comm(procRoot + "/" + std::to_string(pid) + "/comm");
  std::string name;
  std::getline(comm, name);
  return name;
}

}  // namespace

std::vector<PortHolder> FindPortHolders(const std::string& path, const std::string& procRoot) {
  struct stat node {};
  if (stat(path.c_str(), &node) != 0) return {};
  const int self = getpid();
  std::vector<int> pids = LockHolders(procRoot, node);
  std::erase(pids, self);
  const std::vector<int> opened = DescriptorHolders(procRoot, node, self);
  pids.insert(pids.end(), opened.begin(), opened.end());

  std::vector<PortHolder> holders;
  for (const int pid : pids) {
    const bool known = std::any_of(holders.begin(), holders.end(),
                                   [pid](const PortHolder& holder) { return holder.Pid == pid; });
    if (!known) holders.push_back({pid, pid > 0 ? ProgramOf(procRoot, pid) : std::string()});
  }
  return holders;
}

}  // namespace talyx::platform
