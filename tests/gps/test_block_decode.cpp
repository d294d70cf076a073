// Block decoding: the versions table, substitutions, the byte decoder, tag
// dispatch and record framing.
#include <gtest/gtest.h>

#include <algorithm>
#include <climits>
#include <cstdio>
#include <string>

#include "gps/zov_gps_block.h"
#include "gps/zov_gps_format_constants.h"
#include "tests/gps/block_test_encode.h"

namespace {

using namespace gpstest;

// ---- Substitutions ----------------------------------------------------------

TEST(SubstitutionA, KeyZeroIsTheBaseAlphabet) {
  auto a = ZovSubstitutionAlphabetA(0);
  EXPECT_EQ(std::string(a.begin(), a.end()), std::string(kGpsAlphabetA));
}

TEST(SubstitutionA, RotationAndSwaps) {
  const std::string base = kGpsAlphabetA;
  // k = 1: rotate by one, then swap 0 and 42.
  auto a1 = ZovSubstitutionAlphabetA(1);
  std::string rotated = base.substr(1) + base.substr(0, 1);
  std::swap(rotated[0], rotated[42]);
  EXPECT_EQ(std::string(a1.begin(), a1.end()), rotated);
  // k = 43 = 0b101011: no rotation, swaps of pairs 0, 1, 3 and 5.
  auto a43 = ZovSubstitutionAlphabetA(43);
  std::string s = base;
  for (int i : {0, 1, 3, 5}) std::swap(s[i], s[42 - i]);
  EXPECT_EQ(std::string(a43.begin(), a43.end()), s);
  // Bits above 20 only rotate.
  uint32_t k = 1u << 21;
  auto big = ZovSubstitutionAlphabetA(k);
  std::string r = base.substr(k % 43) + base.substr(0, k % 43);
  EXPECT_EQ(std::string(big.begin(), big.end()), r);
}

TEST(SubstitutionB, PermutesTheTail) {
  const std::string base = kGpsAlphabetB;
  auto same = [&](int64_t k) { auto b = ZovSubstitutionAlphabetB(k); return std::string(b.begin(), b.end()); };
  EXPECT_EQ(same(0), base);
  EXPECT_EQ(same(1), base);
  // k = 2: m = 2, the last two swapped.
  std::string k2 = base;
  std::swap(k2[46], k2[47]);
  EXPECT_EQ(same(2), k2);
  // k = 3: m = 3, third permutation of abc is bac.
  std::string k3 = base;
  k3[45] = base[46], k3[46] = base[45], k3[47] = base[47];
  EXPECT_EQ(same(3), k3);
  // k = 6: cba.
  std::string k6 = base;
  k6[45] = base[47], k6[47] = base[45];
  EXPECT_EQ(same(6), k6);
  // k = 7: m = 4, seventh permutation of abcd is bacd.
  std::string k7 = base;
  k7[44] = base[45], k7[45] = base[44];
  EXPECT_EQ(same(7), k7);
  // Keys beyond 20! permute the last 21 characters; the largest key gives a
  // permutation that leaves the head alone.
  std::string huge = same(INT64_MAX);
  EXPECT_EQ(huge.substr(0, 27), base.substr(0, 27));
  EXPECT_NE(huge.substr(27), base.substr(27));
  std::string sortedHuge = huge.substr(27), sortedBase = base.substr(27);
  std::sort(sortedHuge.begin(), sortedHuge.end());
  std::sort(sortedBase.begin(), sortedBase.end());
  EXPECT_EQ(sortedHuge, sortedBase);
  // The fixed keys touch only the last 8 or 9 characters.
  EXPECT_EQ(same(kGpsKeyV12).substr(0, 40), base.substr(0, 40));
  EXPECT_EQ(same(kGpsKeyV45).substr(0, 39), base.substr(0, 39));
  EXPECT_NE(same(kGpsKeyV12), base);
  EXPECT_NE(same(kGpsKeyV45), same(kGpsKeyV12));
}

TEST(Substitution, DecodeRoundTripAndAbsentCharacters) {
  const std::string plain = "2023/01/05 12:34:56 N:22.53 E:114.05 M:E12 ABCXYZ<=>?@";
  for (uint32_t k : {0u, 255u, 7u * 255u, 65535u * 255u}) {
    auto a = ZovSubstitutionAlphabetA(k);
    std::string coded = plain;
    ASSERT_TRUE(EncodeSubstitution(coded, a.data(), a.size()));
    Bytes t(coded.begin(), coded.end());
    ZovSubstituteText(t.data(), t.size(), a.data(), a.size());
    EXPECT_EQ(std::string(t.begin(), t.end()), plain) << "k=" << k;
  }
  // In alphabet B a character missing from the derived alphabet decodes to 0;
  // bytes outside 0x30-0x5A are copied.
  const char only[] = "012";
  Bytes t = {'1', '9', ' ', '2', 0x7F};
  ZovSubstituteText(t.data(), t.size(), only, 3);
  EXPECT_EQ(t, (Bytes{'1', 0, ' ', '2', 0x7F}));
}

// ---- Byte decoder -----------------------------------------------------------

TEST(ByteDecoder, Groups) {
  uint8_t out[16];
  // c < 0x20: (c & 0x13) | b1.
  const uint8_t single[] = {0x13, 0x40};
  EXPECT_EQ(ZovByteDecode(single, 2, out, sizeof out), 1);
  EXPECT_EQ(out[0], 0x53);
  // 0x40-0x5F: blank first. c = 0x5F: bits 1, 6, 0x18.
  const uint8_t g1[] = {0x5F, 0x20, 0x20, 0x20};
  EXPECT_EQ(ZovByteDecode(g1, 4, out, sizeof out), 4);
  EXPECT_EQ(Bytes(out, out + 4), (Bytes{0x20, 0x01, 0x06, 0x18}));
  const uint8_t g2[] = {0x7F, 0x20, 0x20, 0x20};
  EXPECT_EQ(ZovByteDecode(g2, 4, out, sizeof out), 4);
  EXPECT_EQ(Bytes(out, out + 4), (Bytes{0x03, 0x20, 0x04, 0x18}));
  const uint8_t g3[] = {0x9F, 0x20, 0x20, 0x20};
  EXPECT_EQ(ZovByteDecode(g3, 4, out, sizeof out), 4);
  EXPECT_EQ(Bytes(out, out + 4), (Bytes{0x03, 0x0C, 0x20, 0x10}));
  const uint8_t g4[] = {0xBF, 0x20, 0x20, 0x20};
  EXPECT_EQ(ZovByteDecode(g4, 4, out, sizeof out), 4);
  EXPECT_EQ(Bytes(out, out + 4), (Bytes{0x01, 0x06, 0x18, 0x20}));
  // 0xC0-0xFF: five bytes in, four out; operands are XOR 0x20.
  const uint8_t g5[] = {0xFF, 0x61, 0x61, 0x61, 0x61};
  EXPECT_EQ(ZovByteDecode(g5, 5, out, sizeof out), 4);
  EXPECT_EQ(Bytes(out, out + 4), (Bytes{0x41, 0x43, 0x4D, 0x71}));
}

TEST(ByteDecoder, InvalidControlAndCutGroup) {
  uint8_t out[16];
  const uint8_t bad[] = {0x01, 0x41, 0x30, 0x00};
  EXPECT_EQ(ZovByteDecode(bad, sizeof bad, out, sizeof out), -1);
  // A five-byte group cut after three bytes: only the complete groups count.
  const uint8_t cut[] = {0x00, 0x41, 0xC0, 0x41, 0x41};
  EXPECT_EQ(ZovByteDecode(cut, sizeof cut, out, sizeof out), 1);
  EXPECT_EQ(out[0], 0x41);
  EXPECT_EQ(out[1], 0);  // the output is cleared first
}

TEST(ByteDecoder, RoundTrip) {
  Bytes plain = {7, 0, 0, 0};
  std::string text = "2023/01/05 12:34:56 N:22.5 E:114.0 45.0 km/h x:0.01 y:0.02  z:0.98 A:90";
  plain.insert(plain.end(), text.begin(), text.end());
  Bytes coded = EncodeBytes(plain);
  uint8_t out[256];
  ASSERT_EQ(ZovByteDecode(coded.data(), coded.size(), out, sizeof out), static_cast<int>(plain.size()));
  EXPECT_EQ(Bytes(out, out + plain.size()), plain);
}

// ---- Versions table ---------------------------------------------------------

// True position every row encodes, with the block's restoration inverted.
constexpr double kLat = -22.5321;
constexpr double kLon = 114.0583;

std::string Fmt(const char* fmt, double a, double b) {
  char buf[200];
  std::snprintf(buf, sizeof buf, fmt, a, b);
  return buf;
}
std::string G2Text(double lat, double lon) {
  return Fmt("2023/01/05 12:34:56 S:%.10f E:%.10f 45.0 km/h A:90.0", std::fabs(lat), lon);
}
std::string G1Text(double lat, double lon) {
  return Fmt("2023/07/05 12:34:56 S:%.10f E:%.10f 45.0 km/h x:0.1 y:0.2 z:0.9 A:91.0 H:12.0", std::fabs(lat), lon);
}
std::string C2Text(double lat, double lon) {
  return Fmt("050123,123456,%.10f,%.10f,45.5,90.5,35.5,DEV01,0.01,-0.02,0.98", lat, lon);
}
std::string C1Text(double lat, double lon) {
  return Fmt("230105,123456,%.10f,%.10f,45.5,90.5,35.5,DEV01,0.01,-0.02,0.98", lat, lon);
}

enum class Restore { kNone, kF5, kF6, kDated };
enum class Code { kPlain, kA, kB12, kB45, kBytes };

struct VersionCase {
  int version;
  int state;          // the fix's block state
  Restore restore;
  Code code;
  std::string (*text)(double, double);
  int month;          // month the grammar leaves in the fix
};

class VersionsTable : public ::testing::TestWithParam<VersionCase> {};

TEST_P(VersionsTable, DecodesAndRestores) {
  const VersionCase& c = GetParam();
  // The dated factor depends only on the date written in the text (5 January 2023).
  GpsFix date;
  date.year = 2023, date.month = 1, date.day = 5, date.hour = 12, date.minute = 34, date.second = 56;
  double latE = kLat, lonE = kLon;
  if (c.restore == Restore::kF5) EncodeExchangeF(kLat, kLon, kGpsRestoreF5, latE, lonE);
  if (c.restore == Restore::kF6) EncodeExchangeF(kLat, kLon, kGpsRestoreF6, latE, lonE);
  if (c.restore == Restore::kDated) EncodeExchangeDated(kLat, kLon, 0.5, latE, lonE);
  std::string text = c.text(latE, lonE);
  const uint16_t index = 9, keyWord = 0x1234;
  Bytes block = KaruHeader(c.version, 1);
  Bytes ik(4, 0);
  if (c.code == Code::kBytes) {
    AppendCoded(block, index, text);
  } else {
    PutLe16(ik, 0, index);
    // Versions 11 and 12 have a 32-bit index and no key.
    const bool wide = c.version == 11 || c.version == 12;
    PutLe16(ik, 2, (c.code == Code::kB45 || wide) ? 0 : keyWord);
    if (c.code == Code::kA) {
      auto a = ZovSubstitutionAlphabetA(uint32_t(keyWord) * 255);
      ASSERT_TRUE(EncodeSubstitution(text, a.data(), a.size()));
    } else if (c.code == Code::kB12 || c.code == Code::kB45) {
      auto b = ZovSubstitutionAlphabetB(c.code == Code::kB12 ? kGpsKeyV12 : kGpsKeyV45);
      ASSERT_TRUE(EncodeSubstitution(text, b.data(), b.size()));
    }
    AppendFramed(block, ik, text);
  }
  block.resize(block.size() + 64, 0);

  CZovGpsBlockState st;
  EXPECT_EQ(ZovParseGpsBlock(st, block.data(), block.size()), 1);
  ASSERT_EQ(st.fixes.size(), 1u);
  const GpsFix& f = st.fixes[0];
  EXPECT_EQ(f.index, c.code == Code::kB45 ? 0u : uint32_t(index));
  EXPECT_EQ(f.blockState, c.state);
  EXPECT_NEAR(f.latitude, kLat, 1e-8);
  EXPECT_NEAR(f.longitude, kLon, 1e-8);
  EXPECT_EQ(f.month, uint32_t(c.month));
  EXPECT_EQ(f.hour, 12u);
  EXPECT_EQ(f.second, 56u);
}

const VersionCase kVersionCases[] = {
    {11, 11, Restore::kDated, Code::kPlain, C2Text, 1},
    {12, 12, Restore::kDated, Code::kB12, C2Text, 1},
    {13, 5, Restore::kF5, Code::kA, G2Text, 1},
    {14, 6, Restore::kF6, Code::kA, G2Text, 1},
    {15, 15, Restore::kDated, Code::kA, C2Text, 1},
    {16, 16, Restore::kNone, Code::kA, G1Text, 7},
    {20, 20, Restore::kNone, Code::kA, G1Text, 7},
    {17, 17, Restore::kNone, Code::kA, C1Text, 1},
    {45, 10, Restore::kNone, Code::kA, C2Text, 1},
    {45, 10, Restore::kNone, Code::kB45, C2Text, 1},
    {1, 1, Restore::kF5, Code::kBytes, G2Text, 1},
    {2, 2, Restore::kF5, Code::kBytes, G2Text, 1},
    {5, 5, Restore::kF5, Code::kBytes, G2Text, 1},
    {6, 6, Restore::kF6, Code::kBytes, G2Text, 1},
};

INSTANTIATE_TEST_SUITE_P(Versions, VersionsTable, ::testing::ValuesIn(kVersionCases),
                         [](const auto& info) {
                           return "V" + std::to_string(info.param.version) + "_" + std::to_string(info.index);
                         });

TEST(BlockParser, StatesUpToFiveBecomeFive) {
  Bytes block = KaruHeader(1, 1);
  double latE, lonE;
  EncodeExchangeF(kLat, kLon, kGpsRestoreF5, latE, lonE);
  AppendCoded(block, 3, G2Text(latE, lonE));
  CZovGpsBlockState st;
  ASSERT_EQ(ZovParseGpsBlock(st, block.data(), block.size()), 1);
  EXPECT_EQ(st.blockState, 5);
}

TEST(BlockParser, Version45KeyedIndexAbove256UsesFixedKey) {
  // Index 300 with a key: substitution B with the fixed key, index 0.
  std::string text = C2Text(kLat, kLon);
  auto b = ZovSubstitutionAlphabetB(kGpsKeyV45);
  ASSERT_TRUE(EncodeSubstitution(text, b.data(), b.size()));
  Bytes block = KaruHeader(45, 0);
  Bytes ik(4, 0);
  PutLe16(ik, 0, 300);
  PutLe16(ik, 2, 5);
  AppendFramed(block, ik, text);
  block.resize(block.size() + 40, 0);
  CZovGpsBlockState st;
  ASSERT_EQ(ZovParseGpsBlock(st, block.data(), block.size()), 1);
  EXPECT_EQ(st.fixes[0].index, 0u);
  EXPECT_NEAR(st.fixes[0].latitude, kLat, 1e-8);
  EXPECT_EQ(st.alphabetBKey, kGpsKeyV45);
}

TEST(BlockParser, Version10AndUnknownVersions) {
  Bytes v10 = KaruHeader(10, 1);
  AppendFramed(v10, Bytes(4, 0), C2Text(kLat, kLon));
  CZovGpsBlockState st;
  EXPECT_EQ(ZovParseGpsBlock(st, v10.data(), v10.size()), 0);
  EXPECT_TRUE(st.fixes.empty());
  Bytes v99 = KaruHeader(99, 1);
  AppendFramed(v99, Bytes(4, 0), C2Text(kLat, kLon));
  EXPECT_EQ(ZovParseGpsBlock(st, v99.data(), v99.size()), -1);
  EXPECT_TRUE(st.fixes.empty());
}

TEST(BlockParser, ByteCodedCountZeroAndCountLimit) {
  Bytes block = KaruHeader(5, 0);
  for (int i = 0; i < 3; ++i) AppendCoded(block, 10 + i, G2Text(kLat, kLon));
  CZovGpsBlockState st;
  EXPECT_EQ(ZovParseGpsBlock(st, block.data(), block.size()), 0);
  EXPECT_TRUE(st.fixes.empty());
  // Count 2 of 3 records present.
  block[16] = 2;
  EXPECT_EQ(ZovParseGpsBlock(st, block.data(), block.size()), 2);
  ASSERT_EQ(st.fixes.size(), 2u);
  EXPECT_EQ(st.fixes[1].index, 11u);
}

TEST(BlockParser, ByteCodedLengthOutOfRangeSkipped) {
  Bytes block = KaruHeader(5, 2);
  AppendCoded(block, 1, G2Text(kLat, kLon));
  PutLe32(block, 20 + 4, 133);  // coded length above 132
  AppendCoded(block, 2, "2023/01/05 12:34:56 S:1.0 E:2.0 4 km/h");  // decodes to 50 bytes or less
  AppendCoded(block, 3, G2Text(kLat, kLon));
  block.resize(block.size() + 100, 0);
  CZovGpsBlockState st;
  ZovParseGpsBlock(st, block.data(), block.size());
  EXPECT_TRUE(st.fixes.empty());  // two records read, both skipped
  block[16] = 3;
  ZovParseGpsBlock(st, block.data(), block.size());
  ASSERT_EQ(st.fixes.size(), 1u);
  EXPECT_EQ(st.fixes[0].index, 3u);
}

TEST(BlockParser, KaruTagOnlyNearTheStart) {
  Bytes block(4097, ' ');
  Bytes tail = KaruHeader(11, 0);
  AppendFramed(tail, Bytes(4, 0), C2Text(kLat, kLon));
  block.insert(block.end(), tail.begin(), tail.end());
  CZovGpsBlockState st;
  EXPECT_EQ(ZovParseGpsBlock(st, block.data(), block.size()), -1);
  block.erase(block.begin());  // now at 4096: found
  EXPECT_EQ(ZovParseGpsBlock(st, block.data(), block.size()), 1);
}

TEST(BlockParser, HeaderZeroesSharedArea) {
  CZovGpsBlockState st;
  st.record.altitude = 55.0;
  st.record.x = 9.0;
  Bytes block = KaruHeader(11, 0);
  AppendFramed(block, Bytes(4, 0), Fmt("050123,123456,%.6f,%.6f,1.0,2.0,3.0", 11.5, 12.5) + "000000000000000");
  ASSERT_EQ(ZovParseGpsBlock(st, block.data(), block.size()), 1);
  EXPECT_EQ(st.record.x, 0.0);
  EXPECT_EQ(st.record.altitude, 3.0);
}

TEST(BlockParser, MarkNearTheEndReadsOnlyTheBuffer) {
  // The last record's mark sits 81 bytes before the end: its payload is cut
  // by the buffer and the missing bytes read as zero.
  std::string text = "050123,123456,-22.500000,114.250000,45.5,90.5,35.5,D1";  // 53 characters
  Bytes block = KaruHeader(11, 0);
  block.resize(block.size() + 40, ' ');
  Bytes ik(4, 0);
  PutLe32(ik, 0, 4);
  Append(block, "####");
  block.insert(block.end(), ik.begin(), ik.end());
  Append(block, text);
  const size_t markAt = block.size() - 4 - 4 - text.size();
  block.resize(markAt + 81, 0);
  Bytes exact(block.begin(), block.end());  // exact-size heap buffer
  CZovGpsBlockState st;
  EXPECT_EQ(ZovParseGpsBlock(st, exact.data(), exact.size()), 1);
  ASSERT_EQ(st.fixes.size(), 1u);
  EXPECT_EQ(st.fixes[0].index, 4u);
  EXPECT_STREQ(st.fixes[0].device, "D1");
  // One byte less: the mark is too close to the end to be searched.
  exact.pop_back();
  CZovGpsBlockState st2;
  EXPECT_EQ(ZovParseGpsBlock(st2, exact.data(), exact.size()), 0);
  EXPECT_TRUE(st2.fixes.empty());
}

// ---- Other tags -------------------------------------------------------------

Bytes InfoBlock(const std::string& tag, size_t firstOffset, const std::vector<std::string>& records) {
  Bytes b;
  Append(b, "head");
  Append(b, tag);
  b.resize(b.size() + firstOffset - tag.size(), ' ');
  for (const std::string& r : records) {
    Bytes slot(136, 0);
    std::memcpy(slot.data(), r.data(), std::min<size_t>(r.size(), 132));
    b.insert(b.end(), slot.begin(), slot.end());
  }
  return b;
}

const std::string kG4a = "2023/01/05 12:34:56 N:22.53210 E:114.05830 45.0 km/h x:0.01 y:0.02 z:0.98";
const std::string kG4b = "2023/01/05 12:34:57 N:22.53220 E:114.05840 46.0 km/h x:0.01 y:0.02 z:0.98";

TEST(InfoBlocks, ColonRecordsStopAtFirstFailure) {
  Bytes b = InfoBlock("GPSINFO:", 8, {kG4a, kG4b, "garbage", kG4a});
  CZovGpsBlockState st;
  EXPECT_EQ(ZovParseGpsBlock(st, b.data(), b.size()), 2);
  ASSERT_EQ(st.fixes.size(), 2u);
  EXPECT_EQ(st.fixes[1].second, 57u);
  EXPECT_EQ(st.fixes[0].blockState, 18);
}

TEST(InfoBlocks, PlainRecordsSkipFailures) {
  Bytes b = InfoBlock("GPSINFO", 20, {"5 x " + kG4a, "garbage", "6 x " + kG4b});
  CZovGpsBlockState st;
  EXPECT_EQ(ZovParseGpsBlock(st, b.data(), b.size()), 2);
  ASSERT_EQ(st.fixes.size(), 2u);
  EXPECT_EQ(st.fixes[0].index, 5u);
  EXPECT_EQ(st.fixes[1].index, 6u);
  EXPECT_EQ(st.fixes[1].blockState, 10);
}

TEST(InfoBlocks, LastSlotNeedsMoreThan111Bytes) {
  Bytes b = InfoBlock("GPSINFO:", 8, {kG4a, kG4b});
  // Cut the second slot to 111 bytes: not read.
  size_t second = 4 + 8 + 136;
  b.resize(second + 111);
  CZovGpsBlockState st;
  EXPECT_EQ(ZovParseGpsBlock(st, b.data(), b.size()), 1);
  b.resize(second + 112);
  Bytes exact(b);
  CZovGpsBlockState st2;
  EXPECT_EQ(ZovParseGpsBlock(st2, exact.data(), exact.size()), 2);
}

TEST(InfoBlocks, LcaiTagRejectsTheBuffer) {
  Bytes b = InfoBlock("GPSINFO:", 8, {kG4a});
  Append(b, "LCAIGPS");
  b.resize(b.size() + 30, 0);
  CZovGpsBlockState st;
  EXPECT_EQ(ZovParseGpsBlock(st, b.data(), b.size()), -1);
  EXPECT_TRUE(st.fixes.empty());
}

TEST(InfoBlocks, NoTagAndShortBuffers) {
  CZovGpsBlockState st;
  Bytes none(500, 'x');
  EXPECT_EQ(ZovParseGpsBlock(st, none.data(), none.size()), -1);
  EXPECT_EQ(ZovParseGpsBlock(st, nullptr, 0), -1);
  Bytes tiny = KaruHeader(11, 0);  // 20 bytes: below the examined range
  EXPECT_EQ(ZovParseGpsBlock(st, tiny.data(), tiny.size()), -1);
}

TEST(InfoBlocks, G4AfterVersion13CarriesEarlierValues) {
  CZovGpsBlockState st;
  std::string g2 = "2023/01/05 12:34:55 N:22.53210 E:114.05830 45.0 km/h x:0.1 y:0.2 z:0.9 A:77.0 H:123.0";
  auto a = ZovSubstitutionAlphabetA(255);
  ASSERT_TRUE(EncodeSubstitution(g2, a.data(), a.size()));
  Bytes block = KaruHeader(13, 0);
  Bytes ik(4, 0);
  PutLe16(ik, 0, 1);
  PutLe16(ik, 2, 1);
  AppendFramed(block, ik, g2);
  block.resize(block.size() + 40, 0);
  ASSERT_EQ(ZovParseGpsBlock(st, block.data(), block.size()), 1);
  EXPECT_EQ(st.fixes[0].headingFlag, 1);
  Bytes info = InfoBlock("GPSINFO:", 8, {kG4b});
  ASSERT_EQ(ZovParseGpsBlock(st, info.data(), info.size()), 1);
  ASSERT_EQ(st.fixes.size(), 2u);
  const GpsFix& g4 = st.fixes[1];
  EXPECT_EQ(g4.altitude, 123.0);
  EXPECT_EQ(g4.heading, 77.0);
  EXPECT_EQ(g4.headingFlag, 0);
  EXPECT_EQ(g4.index, 1u);  // the shared area's index
  EXPECT_EQ(g4.second, 57u);
}

TEST(TextFile, WholeFileGoesToTheBlockParser) {
  Bytes file = InfoBlock("GPSINFO", 20, {"0 x " + kG4a, "1 x " + kG4b});
  CZovGpsBlockState st;
  EXPECT_EQ(ZovParseGpsTextFile(st, file.data(), file.size()), 2);
  EXPECT_EQ(st.fixes.size(), 2u);
}

}  // namespace
