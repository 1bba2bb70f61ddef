// Fuzzes the collection of a text reply by TextQuery through an in-memory transport.
#include <cstdint>
#include <string>
#include <vector>

#include "fuzz_input.h"
#include "transport/transport.h"

namespace {

using tessaline::fuzz::FuzzInput;
using tessaline::fuzz::Require;

// Input that was waiting before the command, then the unit's answer, handed out in chunks.
class MemoryTransport final : public tessaline::Transport {
 public:
  MemoryTransport(std::string_view kind, std::vector<std::uint8_t> waiting,
                  std::vector<std::uint8_t> answer, FuzzInput& cuts)
      : kind_(kind), waiting_(std::move(waiting)), answer_(std::move(answer)), cuts_(cuts) {}

  bool Open() override { return true; }
  bool IsOpen() const override { return true; }
  bool Write(const std::uint8_t* bytes, std::uint32_t count) override {
    written_.insert(written_.end(), bytes, bytes + count);
    return true;
  }
  std::uint32_t Read(std::uint8_t* buffer, std::uint32_t capacity) override {
    Require(capacity > 0, "nobody reads into no room");
    ++reads_;
    auto& source = written_.empty() ? waiting_ : answer_;
    auto& at = written_.empty() ? waitingAt_ : answerAt_;
    // Now and then a read gets nothing, as a real line between two bursts.
    if (at >= source.size() || (!cuts_.Empty() && cuts_.Byte() % 8 == 0)) return 0;
    const std::size_t count =
        std::min<std::size_t>({cuts_.InRange(1, 130), capacity, source.size() - at});
    std::copy_n(source.begin() + static_cast<std::ptrdiff_t>(at), count, buffer);
    at += count;
    if (&source == &answer_) delivered_ = at;
    return static_cast<std::uint32_t>(count);
  }
  std::string_view GetKind() const override { return kind_; }

  const std::vector<std::uint8_t>& Written() const { return written_; }
  std::size_t Delivered() const { return delivered_; }

 private:
  std::string_view kind_;
  std::vector<std::uint8_t> waiting_;
  std::vector<std::uint8_t> answer_;
  FuzzInput& cuts_;
  std::size_t waitingAt_ = 0;
  std::size_t answerAt_ = 0;
  std::size_t delivered_ = 0;
  std::uint32_t reads_ = 0;
  std::vector<std::uint8_t> written_;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  FuzzInput input(data, size);
  const bool serial = input.Flag();
  const auto replyLimit = static_cast<std::uint32_t>(input.InRange(0, 40));
  const auto timeoutMs = static_cast<std::uint32_t>(input.InRange(0, 400));
  const auto cutBytes = input.Take(input.InRange(0, 64));
  const auto waitingBytes = input.Take(input.InRange(0, 32));
  const auto answerBytes = input.Rest();
  FuzzInput cuts(cutBytes.data(), cutBytes.size());

  const std::vector<std::uint8_t> answer(answerBytes.begin(), answerBytes.end());
  MemoryTransport transport(serial ? tessaline::kKindCom : tessaline::kKindTcp,
                            {waitingBytes.begin(), waitingBytes.end()}, answer, cuts);
  std::string reply = "stale";
  const bool complete = transport.TextQuery("<SY,BQ/>", reply, replyLimit, timeoutMs);

  const std::string expectedWrite = serial ? "<SY,BQ/>" : "<SY,BQ/>\r\n";
  Require(std::string(transport.Written().begin(), transport.Written().end()) == expectedWrite,
          "the command goes out once, with CR LF only on a network kind");
  Require(reply.size() <= replyLimit, "the reply never passes its limit");

  // Whatever was collected is the answer from its first '<' on, never the waiting input.
  const std::string_view stream = tessaline::fuzz::AsText(answer);
  const std::size_t start = stream.find('<');
  if (reply.empty()) {
    Require(!complete, "an empty reply is not complete");
    return 0;
  }
  Require(start != std::string_view::npos && stream.substr(start).starts_with(reply),
          "the reply is the answer from its first '<'");
  Require(reply.find('>') == reply.size() - 1 || reply.find('>') == std::string::npos,
          "collection stops at the first '>'");
  Require(complete == (reply.back() == '>'), "a reply is complete exactly when it ends in '>'");
  Require(start + reply.size() <= transport.Delivered(), "only delivered bytes are collected");
  return 0;
}
