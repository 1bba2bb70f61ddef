// Fuzzes one line of a receipts file: reading never fails loudly, and what reads back writes the
// same line again.
#include <cstdint>
#include <string>

#include "fuzz_input.h"
#include "receipts/receipt.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using tessaline::fuzz::Require;
  std::string why;
  const auto receipt =
      tessaline::receipts::ParseReceiptLine(tessaline::fuzz::AsText({data, size}), why);
  if (!receipt) {
    Require(!why.empty(), "a refused line says why");
    return 0;
  }
  const std::string line = tessaline::receipts::ReceiptJsonLine(*receipt);
  const auto again = tessaline::receipts::ParseReceiptLine(line, why);
  Require(again.has_value(), "a written receipt reads back");
  Require(tessaline::receipts::ReceiptJsonLine(*again) == line, "writing is stable");
  return 0;
}
