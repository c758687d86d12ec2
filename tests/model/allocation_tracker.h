// Watches the largest single allocation made through operator new while an object lives, so a
// test can show that a hostile count does not make the code allocate for what it claims.
#pragma once

#include <cstddef>

class LargestAllocation {
 public:
  LargestAllocation();
  ~LargestAllocation();
  LargestAllocation(const LargestAllocation&) = delete;
  LargestAllocation& operator=(const LargestAllocation&) = delete;
  size_t bytes() const;
};
