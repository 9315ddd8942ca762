#include "platform/Paths.h"

namespace platform {

std::string ExtractFilePath(const std::string& path) {
  auto pos = path.rfind(PathDelim);
  return pos == std::string::npos ? std::string() : path.substr(0, pos + 1);
}

std::string ExtractFileName(const std::string& path) {
  auto pos = path.rfind(PathDelim);
  return pos == std::string::npos ? path : path.substr(pos + 1);
}

std::string ExtractFileExt(const std::string& path) {
  auto name = ExtractFileName(path);
  auto dot = name.rfind('.');
  return dot == std::string::npos ? std::string() : name.substr(dot);
}

std::string ChangeFileExt(const std::string& path, const std::string& ext) {
  auto delim = path.rfind(PathDelim);
  auto dot = path.rfind('.');
  if (dot == std::string::npos || (delim != std::string::npos && dot < delim)) return path + ext;
  return path.substr(0, dot) + ext;
}

std::string IncludeTrailingPathDelimiter(const std::string& path) {
  if (!path.empty() && path.back() == PathDelim) return path;
  return path + PathDelim;
}

std::string ExcludeTrailingPathDelimiter(const std::string& path) {
  if (!path.empty() && path.back() == PathDelim) return path.substr(0, path.size() - 1);
  return path;
}

}  // namespace platform
