// Fuzzes the Intel HEX loader with every validation in force.
#include "hex_image_checks.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  tessaline::fuzz::CheckHexImage(data, size, true);
  return 0;
}
