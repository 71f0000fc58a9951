#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "protocol/base64.h"
#include "protocol/frame.h"
#include "protocol/packet_types.h"
#include "protocol/payload_codec.h"

namespace tramolin {
namespace {

using Status = FrameReader::Status;

struct Packet {
  std::uint8_t type;
  std::string payload;
  friend bool operator==(const Packet&, const Packet&) = default;
};

class FrameReaderTest : public ::testing::Test {
 protected:
  // Feeds the bytes in one chunk and collects every complete packet.
  std::vector<Packet> Receive(std::string_view bytes) {
    reader_.Feed(bytes);
    return Drain();
  }

  std::vector<Packet> Drain() {
    std::vector<Packet> packets;
    for (;;) {
      FrameReader::Result result = reader_.Next();
      if (result.status != Status::kPacket) {
        last_status_ = result.status;
        return packets;
      }
      packets.push_back({result.type, std::move(result.payload)});
    }
  }

  FrameReader reader_;
  Status last_status_ = Status::kNeedMore;
};

const std::string kAcceptedFrame = std::string("\x01;18;eNpjZGBgMAAAADoAMg");
const std::string kActivityReplyFrame = std::string("\x0A;16;eNpjYGBgAAAABAAB");

TEST(BuildPacketTest, ProducesTheReferenceFramesByteForByte) {
  EXPECT_EQ(BuildPacket(pkPolaczenie, "0", false), kAcceptedFrame);
  EXPECT_EQ(BuildPacket(pkAktywnoscOdp, "", false), kActivityReplyFrame);
}

TEST(BuildPacketTest, BuildsNothingWhileClosing) {
  EXPECT_EQ(BuildPacket(pkGotowosc, "12", true), "");
}

TEST_F(FrameReaderTest, DecodesTheReferenceFrames) {
  EXPECT_EQ(Receive(kAcceptedFrame), (std::vector<Packet>{{pkPolaczenie, "0"}}));
  EXPECT_EQ(Receive(kActivityReplyFrame), (std::vector<Packet>{{pkAktywnoscOdp, ""}}));
  EXPECT_EQ(reader_.Pending(), 0u);
}

TEST_F(FrameReaderTest, FrameDeliveredOneByteAtATimeComesOutOnceAtItsLastByte) {
  const std::string frame = BuildPacket(pkZmiany, "3;10;records;", false);
  for (std::size_t i = 0; i + 1 < frame.size(); ++i) {
    ASSERT_TRUE(Receive(frame.substr(i, 1)).empty()) << i;
    ASSERT_EQ(last_status_, Status::kNeedMore);
  }
  EXPECT_EQ(Receive(frame.substr(frame.size() - 1)),
            (std::vector<Packet>{{pkZmiany, "3;10;records;"}}));
}

TEST_F(FrameReaderTest, FrameSplitAtEveryPositionComesOutWhole) {
  const std::string frame = BuildPacket(pkBlad, "2;detail", false);
  for (std::size_t cut = 0; cut <= frame.size(); ++cut) {
    FrameReader reader;
    reader.Feed(frame.substr(0, cut));
    if (cut < frame.size()) {
      ASSERT_EQ(reader.Next().status, Status::kNeedMore) << cut;
    }
    reader.Feed(frame.substr(cut));
    const FrameReader::Result result = reader.Next();
    ASSERT_EQ(result.status, Status::kPacket) << cut;
    EXPECT_EQ(result.payload, "2;detail");
  }
}

TEST_F(FrameReaderTest, TwoFramesInOneReadBothComeOut) {
  const std::string both = BuildPacket(pkPotwierdzenie, "7", false) + kActivityReplyFrame;
  EXPECT_EQ(Receive(both), (std::vector<Packet>{{pkPotwierdzenie, "7"}, {pkAktywnoscOdp, ""}}));
}

TEST_F(FrameReaderTest, BytesAfterAFrameStartTheNextOne) {
  const std::string second = BuildPacket(pkGotowosc, "42", false);
  EXPECT_EQ(Receive(kAcceptedFrame + second.substr(0, 5)).size(), 1u);
  EXPECT_EQ(reader_.Pending(), 5u);
  EXPECT_EQ(Receive(second.substr(5)), (std::vector<Packet>{{pkGotowosc, "42"}}));
}

TEST_F(FrameReaderTest, ManyFramesInManyOddChunks) {
  std::string stream;
  std::vector<Packet> sent;
  for (int i = 0; i < 200; ++i) {
    sent.push_back(
        {static_cast<std::uint8_t>(1 + i % 11), std::string(i * 37 % 3000, 'a' + i % 26)});
    stream += BuildPacket(sent.back().type, sent.back().payload, false);
  }
  std::vector<Packet> received;
  for (std::size_t pos = 0, step = 1; pos < stream.size(); pos += step, step = step * 3 % 1013) {
    for (Packet& packet : Receive(std::string_view(stream).substr(pos, step))) {
      received.push_back(std::move(packet));
    }
  }
  EXPECT_EQ(received, sent);
}

TEST_F(FrameReaderTest, CorruptPayloadLosesOnlyThatFrame) {
  const std::string corrupt = std::string("\x05;8;AAAAAAAA");
  reader_.Feed(corrupt + kAcceptedFrame);
  const FrameReader::Result bad = reader_.Next();
  EXPECT_EQ(bad.status, Status::kCorrupt);
  EXPECT_EQ(bad.type, pkZmiany);
  EXPECT_EQ(Drain(), (std::vector<Packet>{{pkPolaczenie, "0"}}));
}

TEST_F(FrameReaderTest, TruncatedZlibStreamIsCorrupt) {
  const std::string stream = CompressPayload("a payload long enough to cut");
  const std::string encoded = Base64Encode(stream.substr(0, stream.size() - 6));
  reader_.Feed("\x06;" + std::to_string(encoded.size()) + ";" + encoded);
  EXPECT_EQ(reader_.Next().status, Status::kCorrupt);
  EXPECT_FALSE(reader_.Overflowed());
}

class FrameOverflowTest : public ::testing::Test {
 protected:
  static Status FirstStatus(std::string_view bytes, std::size_t limit = 1000) {
    FrameReader reader(limit);
    reader.Feed(bytes);
    return reader.Next().status;
  }
};

TEST_F(FrameOverflowTest, DeclaredLengthAboveTheLimit) {
  EXPECT_EQ(FirstStatus("\x05;1001;"), Status::kOverflow);
  EXPECT_EQ(FirstStatus("\x05;1000;"), Status::kNeedMore);
  // Known to be too long before the separator arrives.
  EXPECT_EQ(FirstStatus("\x05;99999"), Status::kOverflow);
  EXPECT_EQ(FirstStatus("\x05;99999999999999999999999;", kDefaultFrameLimit), Status::kOverflow);
}

TEST_F(FrameOverflowTest, LengthThatIsNotADecimalNumber) {
  for (std::string_view header : {"\x05;12a;", "\x05;;", "\x05;-1;", "\x05;+5;", "\x05; 5;"}) {
    EXPECT_EQ(FirstStatus(header), Status::kOverflow) << header.substr(1);
  }
}

TEST_F(FrameOverflowTest, MissingSeparatorAfterTheType) {
  EXPECT_EQ(FirstStatus("\x05"
                        "18;eNpjZGBgMAAAADoAMg"),
            Status::kOverflow);
}

TEST_F(FrameOverflowTest, DecodedLengthAboveTheLimit) {
  const std::string frame = BuildPacket(pkZmiany, std::string(5000, 'x'), false);
  ASSERT_LT(frame.size(), 1000u);
  EXPECT_EQ(FirstStatus(frame, 1000), Status::kOverflow);
}

TEST_F(FrameOverflowTest, ReaderStaysSpentAfterAnOverflow) {
  FrameReader reader(1000);
  reader.Feed("\x05;x;");
  EXPECT_EQ(reader.Next().status, Status::kOverflow);
  reader.Feed(kAcceptedFrame);
  EXPECT_EQ(reader.Next().status, Status::kOverflow);
  EXPECT_TRUE(reader.Overflowed());
  EXPECT_EQ(reader.Pending(), 0u);
}

}  // namespace
}  // namespace tramolin
