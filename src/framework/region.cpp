// Region and domain decoding: no named regions or domain texts are known,
// so every region or domain text means "no domain".
#include "framework/region.hpp"

#include "framework/missing.hpp"

int DOM_decode(const char *, Domain *domain) {
  if (domain != nullptr) domain->proj = tv::kMissInt;
  return -1;
}
