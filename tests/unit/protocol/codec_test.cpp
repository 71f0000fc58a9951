#include <gtest/gtest.h>
#include <zlib.h>

#include <cstdint>
#include <string>

#include "protocol/base64.h"
#include "protocol/frame.h"
#include "protocol/payload_codec.h"

namespace tramolin {
namespace {

constexpr std::size_t kNoLimit = kDefaultFrameLimit;

std::string Bytes(std::initializer_list<unsigned char> values) {
  std::string out;
  for (unsigned char v : values) out.push_back(static_cast<char>(v));
  return out;
}

std::string LengthPrefix(std::uint32_t length) {
  return Bytes({static_cast<unsigned char>(length), static_cast<unsigned char>(length >> 8),
                static_cast<unsigned char>(length >> 16),
                static_cast<unsigned char>(length >> 24)});
}

// A zlib stream of exactly this content, prefix included, made by zlib itself.
std::string RawZlib(const std::string& content) {
  uLongf size = compressBound(content.size());
  std::string out(size, '\0');
  compress2(reinterpret_cast<Bytef*>(out.data()), &size,
            reinterpret_cast<const Bytef*>(content.data()), content.size(), 9);
  out.resize(size);
  return out;
}

TEST(Base64Test, EncodesWithoutPadding) {
  EXPECT_EQ(Base64Encode("Man"), "TWFu");
  EXPECT_EQ(Base64Encode("Ma"), "TWE");
  EXPECT_EQ(Base64Encode("M"), "TQ");
  EXPECT_EQ(Base64Encode(""), "");
}

TEST(Base64Test, DecodesLeftoversAndPadding) {
  EXPECT_EQ(Base64Decode("TWFu"), "Man");
  EXPECT_EQ(Base64Decode("TWE"), "Ma");
  EXPECT_EQ(Base64Decode("TWE="), "Ma");
  EXPECT_EQ(Base64Decode("TW"), "M");
  EXPECT_EQ(Base64Decode("T"), "");
}

TEST(Base64Test, DecodingSkipsEverythingOutsideTheAlphabet) {
  EXPECT_EQ(Base64Decode("TW\r\nFu"), "Man");
  EXPECT_EQ(Base64Decode(std::string("T;W\x80\xff F\0u", 10)), "Man");
}

TEST(Base64Test, EveryByteValueRoundTrips) {
  std::string all;
  for (int i = 0; i < 256; ++i) all.push_back(static_cast<char>(i));
  for (std::size_t cut = 0; cut < 4; ++cut) {
    const std::string bytes = all.substr(cut);
    EXPECT_EQ(Base64Decode(Base64Encode(bytes)), bytes);
  }
}

TEST(PayloadCodecTest, CompressesTheLengthPrefixAtLevelNine) {
  EXPECT_EQ(CompressPayload("0"),
            Bytes({0x78, 0xDA, 0x63, 0x64, 0x60, 0x60, 0x30, 0x00, 0x00, 0x00, 0x3A, 0x00, 0x32}));
  EXPECT_EQ(CompressPayload(""),
            Bytes({0x78, 0xDA, 0x63, 0x60, 0x60, 0x60, 0x00, 0x00, 0x00, 0x04, 0x00, 0x01}));
}

// Change-like records, long enough to be compressed by the fast path.
std::string ChangeLikeText(std::size_t size) {
  std::string text;
  for (int i = 0; text.size() < size; ++i) {
    text += std::to_string(1000 + i * 7 % 900) + ";29;1;3;CENA;2;" + std::to_string(i % 977) +
            ".25;ID;1;" + std::to_string(i) + ";NAZWA;0;9;Towar " + std::to_string(i % 100) + ";";
  }
  return text;
}

TEST(PayloadCodecTest, LongTextsAreAZlibStreamZlibDecodesNoLargerThanLevelNine) {
  for (std::size_t size : {std::size_t{4096}, std::size_t{300000}}) {
    const std::string text = ChangeLikeText(size);
    const std::string content = LengthPrefix(static_cast<std::uint32_t>(text.size())) + text;
    const std::string stream = CompressPayload(text);
    std::string decoded(content.size(), '\0');
    uLongf decoded_size = decoded.size();
    ASSERT_EQ(uncompress(reinterpret_cast<Bytef*>(decoded.data()), &decoded_size,
                         reinterpret_cast<const Bytef*>(stream.data()), stream.size()),
              Z_OK);
    EXPECT_EQ(decoded, content);
    EXPECT_LE(stream.size(), RawZlib(content).size());
  }
}

TEST(PayloadCodecTest, RoundTripsBinaryAndLargeTexts) {
  std::string text;
  for (int i = 0; i < 300000; ++i) text.push_back(static_cast<char>((i * 31) % 251));
  EXPECT_EQ(DecompressPayload(CompressPayload(text), kNoLimit), text);
  EXPECT_EQ(DecompressPayload(CompressPayload(""), kNoLimit), "");
}

TEST(PayloadCodecTest, IgnoresBytesAfterTheStream) {
  EXPECT_EQ(DecompressPayload(CompressPayload("abc") + "trailing junk", kNoLimit), "abc");
}

TEST(PayloadCodecTest, IgnoresContentBeyondTheDeclaredLength) {
  EXPECT_EQ(DecompressPayload(RawZlib(LengthPrefix(2) + "abcde"), kNoLimit), "ab");
}

TEST(PayloadCodecTest, DeclaredLengthAboveTheLimitFailsBeforeReading) {
  EXPECT_THROW(DecompressPayload(RawZlib(LengthPrefix(1000) + "abc"), 999), PayloadTooLargeError);
  EXPECT_EQ(DecompressPayload(CompressPayload(std::string(999, 'a')), 999).size(), 999u);
}

class CorruptStreamTest : public ::testing::Test {
 protected:
  static void ExpectCorrupt(const std::string& stream) {
    try {
      DecompressPayload(stream, kNoLimit);
      FAIL() << "no error";
    } catch (const CorruptPayloadError& error) {
      EXPECT_STREQ(error.what(), "error");
    }
  }
  const std::string good_ = CompressPayload(std::string(5000, 'x') + "tail");
};

TEST_F(CorruptStreamTest, TruncatedStreamsFail) {
  for (std::size_t size :
       {std::size_t{0}, std::size_t{1}, std::size_t{5}, good_.size() / 2, good_.size() - 1}) {
    SCOPED_TRACE(size);
    ExpectCorrupt(good_.substr(0, size));
  }
}

TEST_F(CorruptStreamTest, NotZlibFails) { ExpectCorrupt("this is not a zlib stream"); }

TEST_F(CorruptStreamTest, DamagedChecksumFails) {
  std::string damaged = good_;
  damaged.back() = static_cast<char>(damaged.back() ^ 1);
  ExpectCorrupt(damaged);
}

TEST_F(CorruptStreamTest, DeclaredLengthLongerThanContentFails) {
  ExpectCorrupt(RawZlib(LengthPrefix(10) + "abc"));
  ExpectCorrupt(RawZlib(LengthPrefix(100000) + std::string(70000, 'x')));
  ExpectCorrupt(RawZlib("ab"));
}

TEST_F(CorruptStreamTest, DeclaredLengthNoStreamOfThatSizeCouldHoldFails) {
  ExpectCorrupt(RawZlib(LengthPrefix(200'000'000) + "abc"));
}

TEST_F(CorruptStreamTest, StreamInflatingFarBeyondItsDeclaredLengthFails) {
  // A few kilobytes on the wire that would inflate to 16 MB of zeros behind a text of 0 or 3.
  ExpectCorrupt(RawZlib(LengthPrefix(0) + std::string(16 << 20, '\0')));
  ExpectCorrupt(RawZlib(LengthPrefix(3) + "abc" + std::string(16 << 20, '\0')));
}

TEST_F(CorruptStreamTest, NegativeDeclaredLengthFails) {
  ExpectCorrupt(RawZlib(Bytes({0xff, 0xff, 0xff, 0xff}) + "abc"));
}

}  // namespace
}  // namespace tramolin
