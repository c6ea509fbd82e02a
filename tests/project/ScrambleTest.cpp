#include <gtest/gtest.h>

#include <random>
#include <string>

#include "project/Scramble.h"

namespace qlm {
namespace {

using namespace std::string_literals;

TEST(Scramble, KnownAnswers) {
  const struct {
    std::string clear, scrambled;
  } cases[] = {
      {"", ""},
      {"a", "w\xC8x"},
      {"secret", "y1yu\x1Arx\x08oz<vw\xBDkp0u"},
      {"Pass word!", "v\xDAwqRrx\x80p{\xB2vr\xDEgs\x8Fux |q\x87wis{o\xE6z"},
      // Eleven bytes: the key wraps around after ten positions.
      {"0123456789a", "v\xEEuq\xFFow4l{\xC6rv\xF0hq\xE1qowyv\x02sm\x18xw-{w\xC8x"},
      {"\x00\xff"s, "v\x8Cr\x7F\x05{"},
      {"\x95\x5c", "{\x19{|\xBCq"},  // a Shift_JIS character passes as two bytes
      // Middle bytes that would be NUL (LF at 0) or a double quote (' at 1) become the first.
      {"\n", "\x80\x80r"},
      {"a'", "w\xC8xwwn"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(Scramble(c.clear), c.scrambled) << c.clear;
    EXPECT_EQ(Unscramble(c.scrambled), c.clear) << c.clear;
  }
}

// A group depends only on the byte and its position modulo 10, so this covers every group the
// scrambler can produce.
TEST(Scramble, EveryByteAtEveryKeyPositionRoundTripsAndIsSafeInQuotes) {
  for (size_t position = 0; position < 10; ++position) {
    for (int byte = 0; byte < 256; ++byte) {
      const std::string clear = std::string(position, 'p') + static_cast<char>(byte);
      const std::string scrambled = Scramble(clear);
      ASSERT_EQ(scrambled.size(), clear.size() * 3);
      EXPECT_EQ(Unscramble(scrambled), clear) << position << ' ' << byte;
      for (const char unsafe : {'"', '\0', '\r', '\n'}) {
        EXPECT_EQ(scrambled.find(unsafe), std::string::npos) << position << ' ' << byte;
      }
    }
  }
}

TEST(Scramble, RandomTextsOfManyLengthsRoundTrip) {
  std::mt19937 random(20240521);
  for (size_t length = 0; length <= 64; ++length) {
    std::string clear(length, '\0');
    for (char& c : clear) c = static_cast<char>(random());
    EXPECT_EQ(Unscramble(Scramble(clear)), clear) << length;
  }
}

TEST(Unscramble, IgnoresMiddleBytesAndDropsABrokenLastGroup) {
  std::string scrambled = Scramble("password");
  for (size_t j = 1; j < scrambled.size(); j += 3) scrambled[j] = static_cast<char>(j * 37);
  EXPECT_EQ(Unscramble(scrambled), "password");
  EXPECT_EQ(Unscramble(scrambled.substr(0, 3 * 4 + 2)), "pass");
  EXPECT_EQ(Unscramble("ab"), "");
}

}  // namespace
}  // namespace qlm
