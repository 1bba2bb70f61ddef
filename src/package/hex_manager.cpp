// Loading, validating and handing out the Intel HEX application image.
#include "package/hex_manager.h"

#include <algorithm>
#include <cstring>

#include "platform/module_resources.h"

namespace tessaline {
namespace {

constexpr char kRecordMark = ':';
// Where a stored record keeps its type; the unit takes only these four types, and every image
// needs the first two.
constexpr std::size_t kRecordTypeIndex = 3;
constexpr std::uint8_t kDataRecord = 0x00;
constexpr std::uint8_t kEndOfFileRecord = 0x01;
constexpr std::uint8_t kExtendedLinearAddressRecord = 0x04;
constexpr std::uint8_t kStartLinearAddressRecord = 0x05;
// Bytes of text per record on a typical line (":10" + 16 data bytes + CR LF), for reserving.
constexpr std::size_t kTypicalLineBytes = 45;

bool UnitTakesRecordType(std::uint8_t type) {
  return type == kDataRecord || type == kEndOfFileRecord || type == kExtendedLinearAddressRecord ||
         type == kStartLinearAddressRecord;
}

// Value of one hexadecimal digit, or -1.
int HexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  return -1;
}

std::string HexByte(unsigned value) {
  static constexpr char kDigits[] = "0123456789ABCDEF";
  return {kDigits[(value >> 4) & 0xF], kDigits[value & 0xF]};
}

}  // namespace

bool CHexManager::Fail(std::string reason) {
  lastError_ = "line " + std::to_string(CurrentLineNumber()) + ": " + std::move(reason);
  return false;
}

bool CHexManager::ParseLine(std::string_view line) {
  if (line.empty()) return true;
  if (line.front() != kRecordMark) return Fail("no ':' record mark");
  const std::string_view digits = line.substr(1);
  if (CurrentLineWasCut() || digits.size() > 2 * kMaxHexRecordBytes) {
    return Fail("record longer than " + std::to_string(kMaxHexRecordBytes) + " bytes");
  }
  if (digits.size() % 2 != 0) return Fail("odd number of hexadecimal digits");
  const std::size_t length = digits.size() / 2;
  if (length < kHexRecordOverheadBytes) return Fail("record shorter than 5 bytes");

  Records& records = Own();
  std::vector<std::uint8_t>& store = records.store;
  const std::size_t begin = store.size();
  store.resize(begin + length);
  std::uint8_t* record = store.data() + begin;
  unsigned sum = 0;
  for (std::size_t i = 0; i < length; ++i) {
    const int high = HexDigit(digits[2 * i]);
    const int low = HexDigit(digits[2 * i + 1]);
    if (high < 0 || low < 0) {
      store.resize(begin);
      return Fail("'" + std::string(digits.substr(2 * i, 2)) + "' at column " +
                  std::to_string(2 * i + 2) + " is not a hexadecimal pair");
    }
    record[i] = static_cast<std::uint8_t>(high << 4 | low);
    sum += record[i];
  }
  const std::size_t counted = record[0];
  if (counted + kHexRecordOverheadBytes != length) {
    store.resize(begin);
    return Fail("byte count " + std::to_string(counted) + " disagrees with the line's " +
                std::to_string(length - kHexRecordOverheadBytes) + " data bytes");
  }
  if (checkChecksums_ && (sum & 0xFF) != 0) {
    const unsigned expected = (0x100 - ((sum - record[length - 1]) & 0xFF)) & 0xFF;
    const std::string found = HexByte(record[length - 1]);
    store.resize(begin);
    return Fail("wrong checksum " + found + " (expected " + HexByte(expected) + ")");
  }
  // The unit refuses the whole batch of such a record, but only after the application is erased.
  if (const std::uint8_t type = record[kRecordTypeIndex]; !UnitTakesRecordType(type)) {
    store.resize(begin);
    return Fail("record type " + HexByte(type) + " is not one the unit takes");
  }
  records.offsets.push_back(static_cast<std::uint32_t>(begin));
  return true;
}

const CHexManager::Records& CHexManager::Held() const {
  static const Records kNone;
  return records_ ? *records_ : kNone;
}

CHexManager::Records& CHexManager::Own() {
  if (!records_) records_ = std::make_shared<Records>();
  return *records_;
}

void CHexManager::Reserve(std::size_t textBytes) {
  Records& records = Own();
  records.store.reserve(textBytes / 2);
  records.offsets.reserve(textBytes / kTypicalLineBytes + 1);
}

bool CHexManager::FinishLoad(bool loaded) {
  // Lines that are each sound can still make an image that writes nothing or was cut short;
  // erasing the unit for it would leave the unit without an application.
  if (loaded) {
    const Records& records = Held();
    bool hasData = false;
    bool hasEnd = false;
    for (const std::uint32_t offset : records.offsets) {
      const std::uint8_t type = records.store[offset + kRecordTypeIndex];
      hasData = hasData || (type == kDataRecord && records.store[offset] > 0);
      hasEnd = hasEnd || type == kEndOfFileRecord;
    }
    if (!hasData) {
      lastError_ = "the image has no data records";
      loaded = false;
    } else if (!hasEnd) {
      lastError_ = "the image has no end-of-file record";
      loaded = false;
    }
  }
  if (!loaded) {
    ClearRecords();
    if (lastError_.empty()) lastError_ = "the image could not be read";
  }
  return loaded;
}

bool CHexManager::LoadFromFile(const std::string& path) {
  lastError_.clear();
  return FinishLoad(LoadableText::LoadFromFile(path));
}

bool CHexManager::LoadFromResource(std::string_view name, std::string_view type) {
  const auto bytes = platform::FindModuleResource(type, name);
  if (bytes) return LoadFromMemory(*bytes);
  ClearRecords();
  lastError_ = "no \"" + std::string(type) + "\" resource named " + std::string(name);
  return false;
}

bool CHexManager::LoadFromMemory(std::span<const std::uint8_t> text) {
  lastError_.clear();
  Reset();
  Reserve(text.size());
  return FinishLoad(LoadFromBytes(text));
}

bool CHexManager::LoadHexResource(std::string_view name) {
  return LoadFromResource(name, kHexResourceType);
}

void CHexManager::ShareRecordsOf(const CHexManager& loaded) {
  records_ = loaded.records_;
  lastError_ = loaded.lastError_;
  cursor_ = 0;
  recordsTaken_ = 0;
}

bool CHexManager::RewindRecords() {
  cursor_ = 0;
  recordsTaken_ = 0;
  return true;
}

std::uint16_t CHexManager::NextRecord(std::uint8_t* destination, std::uint32_t capacity) {
  const Records& records = Held();
  if (cursor_ >= records.offsets.size()) return 0;
  const std::size_t begin = records.offsets[cursor_];
  const std::size_t end =
      cursor_ + 1 < records.offsets.size() ? records.offsets[cursor_ + 1] : records.store.size();
  const std::size_t count = std::min<std::size_t>(end - begin, capacity);
  if (count > 0) std::memcpy(destination, records.store.data() + begin, count);
  ++cursor_;
  ++recordsTaken_;
  return static_cast<std::uint16_t>(count);
}

void CHexManager::ClearRecords() {
  records_.reset();
  cursor_ = 0;
  recordsTaken_ = 0;
}

}  // namespace tessaline
