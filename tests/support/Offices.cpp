#include "Offices.h"

#include <filesystem>
#include <fstream>
#include <map>
#include <set>
#include <sstream>

#include "TestEnv.h"

namespace testsupport {

std::vector<int> OfficesUnder(const std::string& folder) {
  const std::string profileArg = "-env:UserInstallation=file://" + folder + "/";
  std::vector<int> pids;
  std::error_code ec;
  for (auto it = std::filesystem::directory_iterator("/proc", ec); !ec && it != std::filesystem::directory_iterator();
       it.increment(ec)) {
    std::string name = it->path().filename();
    if (name.empty() || name.find_first_not_of("0123456789") != std::string::npos) continue;
    std::ifstream comm(it->path() / "comm");
    std::string c;
    std::getline(comm, c);
    if (c.rfind("soffice", 0) != 0) continue;
    std::istringstream args(ReadFile(it->path() / "cmdline"));
    for (std::string arg; std::getline(args, arg, '\0');) {
      if (arg.rfind(profileArg, 0) == 0) {
        pids.push_back(std::stoi(name));
        break;
      }
    }
  }
  return pids;
}

std::vector<std::string> BoundSockets(int pid) {
  // The process's own net/unix maps socket inodes to bound paths (an office lists its sockets
  // in the network namespace it runs in); the process's descriptors name inodes.
  std::map<std::string, std::string> pathByInode;
  std::ifstream table("/proc/" + std::to_string(pid) + "/net/unix");
  std::string line;
  std::getline(table, line);
  while (std::getline(table, line)) {
    std::istringstream fields(line);
    std::string num, refs, protocol, flags, type, state, inode, path;
    if (fields >> num >> refs >> protocol >> flags >> type >> state >> inode >> path && path[0] == '/')
      pathByInode["socket:[" + inode + "]"] = path;
  }
  std::set<std::string> paths;
  std::error_code ec;
  std::string fds = "/proc/" + std::to_string(pid) + "/fd";
  for (auto it = std::filesystem::directory_iterator(fds, ec); !ec && it != std::filesystem::directory_iterator();
       it.increment(ec)) {
    std::error_code linkError;
    auto target = std::filesystem::read_symlink(it->path(), linkError);
    auto found = pathByInode.find(target.string());
    if (!linkError && found != pathByInode.end()) paths.insert(found->second);
  }
  return {paths.begin(), paths.end()};
}

}  // namespace testsupport
