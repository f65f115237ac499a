// A fresh folder under the system temp folder, removed with its content when
// the object goes away. path() ends in '/'.
#pragma once

#include <string>
#include <vector>

namespace plinka::test {

class TempDir {
public:
  TempDir();
  ~TempDir();
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;

  const std::string& path() const { return path_; }
  std::string file(const std::string& name) const { return path_ + name; }

private:
  std::string path_;
};

// Whole-file helpers for fixtures.
std::string readFile(const std::string& path);
void writeFile(const std::string& path, const std::string& bytes);
// The names in a folder, sorted.
std::vector<std::string> namesIn(const std::string& folder);

}  // namespace plinka::test
