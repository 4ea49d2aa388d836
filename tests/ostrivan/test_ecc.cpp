#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cstdint>
#include <random>
#include <string>
#include <vector>

#include "ecc.h"

namespace {

using Triple = std::array<uint8_t, 3>;
using Record = std::array<uint8_t, TagsEccSize>;

Triple Yaffs2Of(const std::vector<uint8_t>& block) {
  Triple t{};
  CalcYaffs2Ecc(block.data(), t.data());
  return t;
}

Triple NandOf(const std::vector<uint8_t>& block) {
  Triple t{};
  CalcNandFlashEcc(block.data(), t.data());
  return t;
}

std::vector<uint8_t> RandomBytes(std::mt19937& rng, size_t n) {
  std::vector<uint8_t> v(n);
  for (auto& b : v) b = static_cast<uint8_t>(rng());
  return v;
}

// The 256-byte Hamming code worked out one bit at a time from its definition:
// column parity k covers the bits whose position has bit k/2 equal to k%2,
// line parity bit k the bytes whose index has bit k set, its prime the others.
struct BitwiseCode {
  unsigned cp[6] = {};
  unsigned line[8] = {};
  unsigned prime[8] = {};
};

BitwiseCode Bitwise(const uint8_t* data) {
  BitwiseCode c;
  for (unsigned i = 0; i < 256; ++i)
    for (unsigned b = 0; b < 8; ++b) {
      if (!((data[i] >> b) & 1)) continue;
      for (unsigned k = 0; k < 3; ++k) c.cp[2 * k + ((b >> k) & 1)] ^= 1;
      for (unsigned k = 0; k < 8; ++k) {
        if ((i >> k) & 1)
          c.line[k] ^= 1;
        else
          c.prime[k] ^= 1;
      }
    }
  return c;
}

// Bits listed from bit 7 down to bit 0, complemented.
uint8_t NotOfBits(const std::array<unsigned, 8>& msbFirst) {
  unsigned v = 0;
  for (unsigned bit : msbFirst) v = v << 1 | bit;
  return static_cast<uint8_t>(~v);
}

Triple BitwiseYaffs2(const uint8_t* data) {
  BitwiseCode c = Bitwise(data);
  const unsigned* l = c.line;
  const unsigned* p = c.prime;
  Triple t;
  t[0] = NotOfBits({l[3], p[3], l[2], p[2], l[1], p[1], l[0], p[0]});
  t[1] = NotOfBits({l[7], p[7], l[6], p[6], l[5], p[5], l[4], p[4]});
  t[2] = NotOfBits({c.cp[5], c.cp[4], c.cp[3], c.cp[2], c.cp[1], c.cp[0], 0, 0});
  return t;
}

// NAND layout: line parity before its prime, high nibble in byte 0.
Triple BitwiseNand(const uint8_t* data) {
  BitwiseCode c = Bitwise(data);
  const unsigned* r3 = c.line;
  const unsigned* r2 = c.prime;
  Triple t;
  t[0] = NotOfBits({r3[7], r2[7], r3[6], r2[6], r3[5], r2[5], r3[4], r2[4]});
  t[1] = NotOfBits({r3[3], r2[3], r3[2], r2[2], r3[1], r2[1], r3[0], r2[0]});
  t[2] = NotOfBits({c.cp[5], c.cp[4], c.cp[3], c.cp[2], c.cp[1], c.cp[0], 0, 0});
  return t;
}

TEST(EccTables, FirstEntries) {
  const std::array<uint8_t, 8> yaffs2{0x00, 0x55, 0x59, 0x0C, 0x65, 0x30, 0x3C, 0x69};
  const std::array<uint8_t, 8> nand{0x00, 0x55, 0x56, 0x03, 0x59, 0x0C, 0x0F, 0x5A};
  for (size_t i = 0; i < 8; ++i) {
    SCOPED_TRACE(i);
    EXPECT_EQ(Yaffs2EccTable[i], yaffs2[i]);
    EXPECT_EQ(NandFlashEccTable[i], nand[i]);
  }
}

TEST(BlockEcc, KnownBlocks) {
  constexpr int kAscending = -1;
  struct Case {
    const char* name;
    int fill;                                     // every byte, or kAscending for 0, 1, ..., 255
    std::vector<std::pair<size_t, uint8_t>> set;  // bytes then changed
    Triple yaffs2;
    Triple nand;
  };
  const Case cases[] = {
      {"zeros", 0x00, {}, {0xFF, 0xFF, 0xFF}, {0xFF, 0xFF, 0xFF}},
      {"ones", 0xFF, {}, {0xFF, 0xFF, 0xFF}, {0xFF, 0xFF, 0xFF}},
      {"ascending", kAscending, {}, {0xFF, 0xFF, 0xFF}, {0xFF, 0xFF, 0xFF}},
      {"byte 5 = 01", 0x00, {{5, 0x01}}, {0x99, 0xAA, 0xAB}, {0xAA, 0x99, 0xAB}},
      {"byte 200 = 80", 0x00, {{200, 0x80}}, {0x6A, 0x5A, 0x57}, {0x5A, 0x6A, 0x57}},
      {"bytes 5 and 200", 0x00, {{5, 0x01}, {200, 0x80}}, {0x0C, 0x0F, 0x03}, {0x0F, 0x0C, 0x03}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    std::vector<uint8_t> block(256);
    for (size_t i = 0; i < 256; ++i) block[i] = static_cast<uint8_t>(c.fill == kAscending ? i : c.fill);
    for (auto [at, v] : c.set) block[at] = v;
    EXPECT_EQ(Yaffs2Of(block), c.yaffs2);
    EXPECT_EQ(NandOf(block), c.nand);
  }
}

TEST(BlockEcc, MatchesBitwiseCodeOnRandomBlocks) {
  std::mt19937 rng(20240611);
  for (int round = 0; round < 500; ++round) {
    SCOPED_TRACE(round);
    // Sparse blocks too, so single and double bit patterns are covered.
    std::vector<uint8_t> block = RandomBytes(rng, 256);
    if (round % 2) {
      std::vector<uint8_t> sparse(256, 0);
      for (int k = 0; k < round % 5 + 1; ++k) sparse[rng() % 256] ^= static_cast<uint8_t>(1u << (rng() % 8));
      block = sparse;
    }
    ASSERT_EQ(Yaffs2Of(block), BitwiseYaffs2(block.data()));
    ASSERT_EQ(NandOf(block), BitwiseNand(block.data()));
  }
}

TEST(BlockEcc, NandIsYaffs2WithFirstTwoBytesExchanged) {
  std::mt19937 rng(7);
  for (int round = 0; round < 2000; ++round) {
    SCOPED_TRACE(round);
    std::vector<uint8_t> block = RandomBytes(rng, 256);
    Triple y = Yaffs2Of(block);
    ASSERT_EQ(NandOf(block), (Triple{y[1], y[0], y[2]}));
  }
}

TEST(PackNandLineParity, InterleavesLineParityBeforePrime) {
  struct Case {
    uint8_t r2, r3, a, b;
  };
  const Case cases[] = {
      {0x00, 0xFF, 0xAA, 0xAA}, {0xFF, 0x00, 0x55, 0x55}, {0xF0, 0x0F, 0x55, 0xAA},
      {0x01, 0x80, 0x80, 0x01}, {0x00, 0x00, 0x00, 0x00},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::to_string(c.r2) + "/" + std::to_string(c.r3));
    uint8_t out[2] = {0x33, 0x33};
    PackNandLineParity(c.r2, c.r3, out);
    EXPECT_EQ(out[0], c.a);
    EXPECT_EQ(out[1], c.b);
  }
}

Record RecordOf(const std::vector<uint8_t>& bytes) {
  Record r;
  r.fill(0xCC);  // the padding must be overwritten, not left as found
  CalcEccOther(bytes.data(), bytes.size(), r.data());
  return r;
}

TEST(TagsEcc, KnownRecords) {
  struct Case {
    const char* name;
    std::vector<uint8_t> input;
    Record expected;
  };
  const Case cases[] = {
      {"root header tags",
       {0x00, 0x10, 0, 0, 0x01, 0, 0, 0, 0, 0, 0, 0, 0xFF, 0xFF, 0, 0},
       {0x30, 0, 0, 0, 5, 0, 0, 0, 5, 0, 0, 0}},
      {"zero tags", std::vector<uint8_t>(16, 0), {0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0}},
      {"abc", {'a', 'b', 'c'}, {0x0F, 0, 0, 0, 1, 0, 0, 0, 1, 0, 0, 0}},
      // One odd-parity byte: the prime is the full 32-bit complement of its index.
      {"one odd byte at 3",
       {0, 0, 0, 0x01, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0},
       {0x15, 0, 0, 0, 3, 0, 0, 0, 0xFC, 0xFF, 0xFF, 0xFF}},
      {"odd bytes at 0, 6 and 15",
       {0x80, 0, 0, 0, 0, 0, 0x07, 0, 0, 0, 0, 0, 0, 0, 0, 0x01},
       {0x25, 0, 0, 0, 9, 0, 0, 0, 0xF6, 0xFF, 0xFF, 0xFF}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(RecordOf(c.input), c.expected);
  }
}

TEST(TagsEcc, MatchesBitwiseCodeOnRandomTags) {
  std::mt19937 rng(99);
  for (int round = 0; round < 300; ++round) {
    SCOPED_TRACE(round);
    std::vector<uint8_t> tags = RandomBytes(rng, 16);
    unsigned cp[6] = {};
    unsigned line = 0, prime = 0;
    for (unsigned i = 0; i < 16; ++i) {
      unsigned ones = 0;
      for (unsigned b = 0; b < 8; ++b) {
        if (!((tags[i] >> b) & 1)) continue;
        ++ones;
        for (unsigned k = 0; k < 3; ++k) cp[2 * k + ((b >> k) & 1)] ^= 1;
      }
      if (ones % 2) {
        line ^= i;
        prime ^= ~i;
      }
    }
    unsigned col = 0;
    for (unsigned k = 0; k < 6; ++k) col |= cp[k] << k;
    Record r{};
    CalcTagsEcc(tags.data(), r.data());
    Record expected = {static_cast<uint8_t>(col), 0, 0, 0,
                       static_cast<uint8_t>(line), static_cast<uint8_t>(line >> 8),
                       static_cast<uint8_t>(line >> 16), static_cast<uint8_t>(line >> 24),
                       static_cast<uint8_t>(prime), static_cast<uint8_t>(prime >> 8),
                       static_cast<uint8_t>(prime >> 16), static_cast<uint8_t>(prime >> 24)};
    ASSERT_EQ(r, expected);
  }
}

TEST(ChunkEcc, EachKindFillsItsTriplesAndKindZeroWritesNothing) {
  std::mt19937 rng(3);
  std::vector<uint8_t> chunk = RandomBytes(rng, EccChunkSize);
  for (uint8_t kind : {EccKindNone, EccKindYaffs2, EccKindNandFlash, uint8_t{3}}) {
    SCOPED_TRACE(static_cast<int>(kind));
    // One guard byte on each side catches a write one past either end.
    std::vector<uint8_t> out(ChunkEccSize + 2, 0x5C);
    CalcChunkEcc(chunk.data(), out.data() + 1, kind);
    EXPECT_EQ(out.front(), 0x5C);
    EXPECT_EQ(out.back(), 0x5C);
    std::vector<uint8_t> expected(ChunkEccSize + 2, 0x5C);
    if (kind == EccKindYaffs2 || kind == EccKindNandFlash) {
      for (size_t i = 0; i < 8; ++i) {
        std::vector<uint8_t> block(chunk.begin() + 256 * i, chunk.begin() + 256 * (i + 1));
        Triple t = kind == EccKindYaffs2 ? BitwiseYaffs2(block.data()) : BitwiseNand(block.data());
        std::copy(t.begin(), t.end(), expected.begin() + 1 + 3 * i);
      }
    }
    EXPECT_EQ(out, expected);
  }
}

}  // namespace
