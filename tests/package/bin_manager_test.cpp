// The flash data image: addressed chunks from the base, rewinding, releasing, file loads.
#include "package/bin_manager.h"

#include <gtest/gtest.h>

#include <array>
#include <string>
#include <vector>

#include "package/temp_file.h"

namespace tessaline {
namespace {

struct Chunk {
  std::uint32_t address;
  std::vector<std::uint8_t> bytes;
};

std::vector<Chunk> TakeAll(CBinManager& image, std::uint32_t capacity) {
  std::vector<Chunk> chunks;
  std::vector<std::uint8_t> buffer(capacity);
  std::uint32_t address = 0;
  while (const std::uint16_t n = image.NextChunk(buffer.data(), capacity, address)) {
    chunks.push_back({address, {buffer.begin(), buffer.begin() + n}});
  }
  return chunks;
}

std::string Pattern(std::size_t size) {
  std::string bytes(size, '\0');
  for (std::size_t i = 0; i < size; ++i) bytes[i] = static_cast<char>(i * 7 + 3);
  return bytes;
}

struct ChunkCase {
  std::size_t imageBytes;
  std::uint32_t capacity;
  std::vector<std::uint32_t> sizes;
};

TEST(CBinManager, CutsTheImageIntoChunksAtTheirAddresses) {
  const std::vector<ChunkCase> cases = {
      {128, 64, {64, 64}}, {130, 64, {64, 64, 2}}, {1, 64, {1}}, {10, 4, {4, 4, 2}},
  };
  for (const ChunkCase& c : cases) {
    const std::string content = Pattern(c.imageBytes);
    const test::TempFile file(content);
    CBinManager image;
    ASSERT_TRUE(image.LoadFromFile(file.Path()));
    EXPECT_EQ(image.GetImageSize(), c.imageBytes);
    const auto chunks = TakeAll(image, c.capacity);
    ASSERT_EQ(chunks.size(), c.sizes.size()) << c.imageBytes;
    std::string joined;
    std::uint32_t expectedAddress = kFlashDataBase;
    for (std::size_t i = 0; i < chunks.size(); ++i) {
      EXPECT_EQ(chunks[i].address, expectedAddress);
      EXPECT_EQ(chunks[i].bytes.size(), c.sizes[i]);
      expectedAddress += c.sizes[i];
      joined.append(chunks[i].bytes.begin(), chunks[i].bytes.end());
    }
    EXPECT_EQ(joined, content);
    EXPECT_EQ(image.BytesTaken(), c.imageBytes);
  }
}

TEST(CBinManager, AnExhaustedImageLeavesTheAddressAlone) {
  const test::TempFile file(Pattern(3));
  CBinManager image(0x1000);
  ASSERT_TRUE(image.LoadFromFile(file.Path()));
  std::array<std::uint8_t, 64> buffer{};
  std::uint32_t address = 0;
  EXPECT_EQ(image.NextChunk(buffer.data(), buffer.size(), address), 3u);
  EXPECT_EQ(address, 0x1000u);
  address = 0xDEADBEEF;
  EXPECT_EQ(image.NextChunk(buffer.data(), buffer.size(), address), 0u);
  EXPECT_EQ(address, 0xDEADBEEFu);
  EXPECT_EQ(image.BytesTaken(), 3u);

  EXPECT_TRUE(image.RewindChunks());
  EXPECT_EQ(image.BytesTaken(), 0u);
  EXPECT_EQ(image.NextChunk(buffer.data(), buffer.size(), address), 3u);
  EXPECT_EQ(address, 0x1000u);
}

TEST(CBinManager, AChunkNeverOutgrowsItsSixteenBitCount) {
  const std::string content = Pattern(kMaxChunkBytes + 10);
  const test::TempFile file(content);
  CBinManager image;
  ASSERT_TRUE(image.LoadFromFile(file.Path()));
  const auto chunks = TakeAll(image, 0x20000);
  ASSERT_EQ(chunks.size(), 2u);
  EXPECT_EQ(chunks[0].bytes.size(), kMaxChunkBytes);
  EXPECT_EQ(chunks[1].bytes.size(), 10u);
  EXPECT_EQ(chunks[1].address, kFlashDataBase + kMaxChunkBytes);
}

TEST(CBinManager, AnImageWithNoChunksIsRefusedWithItsReason) {
  const test::TempFile empty("");
  CBinManager image;
  EXPECT_FALSE(image.LoadFromFile(empty.Path()));
  EXPECT_EQ(image.LastError(), empty.Path() + " is empty");
  EXPECT_EQ(image.GetImageSize(), 0u);
  std::array<std::uint8_t, 64> buffer{};
  std::uint32_t address = 0;
  EXPECT_EQ(image.NextChunk(buffer.data(), buffer.size(), address), 0u);
  const test::TempFile one("x");
  EXPECT_TRUE(image.LoadFromFile(one.Path()));
  EXPECT_TRUE(image.LastError().empty());
}

TEST(CBinManager, ReleasingOrReloadingRewindsAndEmpties) {
  const test::TempFile file(Pattern(100));
  CBinManager image;
  ASSERT_TRUE(image.LoadFromFile(file.Path()));
  EXPECT_FALSE(image.IsResourceBacked());
  std::array<std::uint8_t, 64> buffer{};
  std::uint32_t address = 0;
  image.NextChunk(buffer.data(), buffer.size(), address);
  ASSERT_EQ(image.BytesTaken(), 64u);

  ASSERT_TRUE(image.LoadFromFile(file.Path()));
  EXPECT_EQ(image.BytesTaken(), 0u);

  image.NextChunk(buffer.data(), buffer.size(), address);
  image.ReleaseImage();
  EXPECT_EQ(image.GetImageSize(), 0u);
  EXPECT_EQ(image.BytesTaken(), 0u);
  EXPECT_EQ(image.NextChunk(buffer.data(), buffer.size(), address), 0u);

  ASSERT_TRUE(image.LoadFromFile(file.Path()));
  EXPECT_FALSE(image.LoadFromFile(file.Path() + ".absent"));
  EXPECT_EQ(image.GetImageSize(), 0u);
  EXPECT_FALSE(image.LoadFromResource("FLASH_GD32_ADAU1462"));
  EXPECT_EQ(image.GetImageSize(), 0u);
}

}  // namespace
}  // namespace tessaline
