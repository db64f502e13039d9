// The chain of directories any local user can plant: thousands deep, each
// name as long as names go. Its paths are far beyond PATH_MAX, so it is
// made and removed one open directory at a time (nftw cannot walk it).
#pragma once

#include <string>

namespace tidwen::bench {

class DeepChain {
 public:
  // Makes depth directories of nameBytes-byte names below root, the first
  // directly in it, with a junk file "x.tmp" at every level. Throws
  // std::runtime_error when it cannot.
  DeepChain(std::string root, int depth, int nameBytes);
  // Removes the chain and what the scan left of it.
  ~DeepChain();
  DeepChain(const DeepChain&) = delete;
  DeepChain& operator=(const DeepChain&) = delete;

  int Depth() const { return depth_; }

 private:
  std::string root_;
  std::string name_;
  int depth_;
};

}  // namespace tidwen::bench
