// Fuzzes the Intel HEX loader past its checksum check, so mutations reach the later rules.
#include "hex_image_checks.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  tessaline::fuzz::CheckHexImage(data, size, false);
  return 0;
}
