// The AArch64 probe's store decoder on its own: instruction words assembled
// by hand (each with its assembly beside it), a known set of registers, and
// for each form the address, width, value and writeback it must find, and
// one word of the form it must refuse.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "probe/decode_a64.h"

namespace {

using probe::a64::kNoWriteback;
using probe::a64::kSp;

// X0-X30 = 0x1000 * n, but for the index registers: x3 = 5 and x4, whose low
// word is -16. V0-V31: byte i of Vn is 16 * n + i. SP = 0x7fff0000.
probe::a64::Registers registers() {
  probe::a64::Registers r{};
  for (int n = 0; n < 31; ++n) {
    r.x[n] = 0x1000U * static_cast<std::uint64_t>(n);
  }
  r.x[1] = 0x8877665544332211U;  // the value most stores write
  r.x[3] = 5;
  r.x[4] = 0x12345678FFFFFFF0U;
  r.sp = 0x7FFF0000U;
  for (int n = 0; n < 32; ++n) {
    for (int i = 0; i < 16; ++i) {
      r.v[n][i] = static_cast<unsigned char>(16 * n + i);
    }
  }
  return r;
}

// Where a store's bytes come from: a general register (31: the zero
// register) or a SIMD and floating-point one, the low `bytes` of it.
struct From {
  bool simd;
  int reg;
  std::size_t bytes;
};

struct Case {
  const char* assembly;
  std::uint32_t word;
  std::uint64_t address;
  std::vector<From> from;
  int base = kNoWriteback;
  std::uint64_t base_after = 0;
};

void PrintTo(const Case& c, std::ostream* out) { *out << c.assembly; }

std::string value_of(const probe::a64::Registers& r, const std::vector<From>& from) {
  std::string bytes;
  for (const From& f : from) {
    for (std::size_t i = 0; i < f.bytes; ++i) {
      const std::uint64_t x = f.reg == 31 ? 0 : r.x[f.reg];
      bytes += static_cast<char>(f.simd ? r.v[f.reg][i] : (x >> (8 * i)) & 0xFF);
    }
  }
  return bytes;
}

class Decodes : public ::testing::TestWithParam<Case> {};

TEST_P(Decodes, TheAddressWidthValueAndWriteback) {
  const Case& c = GetParam();
  const probe::a64::Registers r = registers();
  probe::a64::Store s{};
  ASSERT_TRUE(probe::a64::decode_store(c.word, r, s));
  EXPECT_EQ(s.address, c.address);
  const std::string want = value_of(r, c.from);
  ASSERT_EQ(s.width, want.size());
  EXPECT_EQ(std::string(reinterpret_cast<const char*>(s.value), s.width), want);
  EXPECT_EQ(s.base, c.base);
  if (c.base != kNoWriteback) {
    EXPECT_EQ(s.base_after, c.base_after);
  }
}

constexpr std::uint64_t X2 = 0x2000;
constexpr std::uint64_t X3 = 5;
constexpr std::uint64_t Sp = 0x7FFF0000;

const From kX1{false, 1, 8}, kW1{false, 1, 4}, kH1{false, 1, 2}, kB1{false, 1, 1};

INSTANTIATE_TEST_SUITE_P(
    UnsignedImmediate, Decodes,
    ::testing::Values(
        Case{"str x1, [x2, #8]", 0xF9000441, X2 + 8, {kX1}},
        Case{"strb w1, [x2, #4095]", 0x393FFC41, X2 + 4095, {kB1}},
        Case{"strh w1, [x2, #2]", 0x79000441, X2 + 2, {kH1}},
        Case{"str xzr, [x1]", 0xF900003F, 0x8877665544332211U, {{false, 31, 8}}},
        Case{"str x1, [sp, #8]", 0xF90007E1, Sp + 8, {kX1}},
        Case{"str q0, [x1, #32]", 0x3D800820, 0x8877665544332211U + 32, {{true, 0, 16}}},
        Case{"str s0, [x2, #12]", 0xBD000C40, X2 + 12, {{true, 0, 4}}}));

INSTANTIATE_TEST_SUITE_P(
    RegisterOffset, Decodes,
    ::testing::Values(
        Case{"str x1, [x2, x3, lsl #3]", 0xF8237841, X2 + (X3 << 3), {kX1}},
        Case{"str w1, [x2, x3]", 0xB8236841, X2 + X3, {kW1}},
        Case{"strb w1, [x2, w4, sxtw]", 0x3824C841, X2 - 16, {kB1}},
        Case{
            "strh w1, [x2, w4, uxtw #1]", 0x78245841, X2 + (std::uint64_t{0xFFFFFFF0} << 1), {kH1}},
        Case{"str x1, [x2, x3, sxtx]", 0xF823E841, X2 + X3, {kX1}},
        Case{"str b0, [x2, x3]", 0x3C236840, X2 + X3, {{true, 0, 1}}},
        Case{"str q0, [x2, x3, lsl #4]", 0x3CA37840, X2 + (X3 << 4), {{true, 0, 16}}}));

INSTANTIATE_TEST_SUITE_P(
    PreAndPostIndex, Decodes,
    ::testing::Values(
        Case{"str x1, [x2, #-16]!", 0xF81F0C41, X2 - 16, {kX1}, 2, X2 - 16},
        Case{"strh w1, [sp], #2", 0x780027E1, Sp, {kH1}, kSp, Sp + 2},
        Case{"strb w1, [x2], #-256", 0x38100441, X2, {kB1}, 2, X2 - 256},
        Case{"str d0, [x1], #8",
             0xFC008420,
             0x8877665544332211U,
             {{true, 0, 8}},
             1,
             0x8877665544332211U + 8},
        Case{"str h0, [x2, #-2]!", 0x7C1FEC40, X2 - 2, {{true, 0, 2}}, 2, X2 - 2},
        Case{"str q31, [x2, #-256]!", 0x3C900C5F, X2 - 256, {{true, 31, 16}}, 2, X2 - 256}));

INSTANTIATE_TEST_SUITE_P(
    Unscaled, Decodes,
    ::testing::Values(Case{"stur w1, [x2, #-1]", 0xB81FF041, X2 - 1, {kW1}},
                      Case{"sturb w1, [x2, #255]", 0x380FF041, X2 + 255, {kB1}}));

INSTANTIATE_TEST_SUITE_P(
    Pair, Decodes,
    ::testing::Values(
        Case{"stp x1, x2, [x3, #-16]", 0xA93F0861, X3 - 16, {kX1, {false, 2, 8}}},
        Case{"stp q0, q1, [sp, #-32]!",
             0xADBF07E0,
             Sp - 32,
             {{true, 0, 16}, {true, 1, 16}},
             kSp,
             Sp - 32},
        Case{"stp w1, w2, [x3], #8", 0x28810861, X3, {kW1, {false, 2, 4}}, 3, X3 + 8},
        Case{"stp s2, s3, [x3], #-4", 0x2CBF8C62, X3, {{true, 2, 4}, {true, 3, 4}}, 3, X3 - 4},
        Case{"stp d0, d1, [x3, #-512]", 0x6D200460, X3 - 512, {{true, 0, 8}, {true, 1, 8}}},
        Case{"stnp x1, x2, [x3, #16]", 0xA8010861, X3 + 16, {kX1, {false, 2, 8}}}));

// For each form, one word of it the decoder must refuse, and instructions
// of other kinds.
struct Refused {
  const char* assembly;
  std::uint32_t word;
};

void PrintTo(const Refused& c, std::ostream* out) { *out << c.assembly; }

class Refuses : public ::testing::TestWithParam<Refused> {};

TEST_P(Refuses, AndLeavesNothingToCarryOut) {
  probe::a64::Store s{};
  EXPECT_FALSE(probe::a64::decode_store(GetParam().word, registers(), s));
}

INSTANTIATE_TEST_SUITE_P(
    EachForm, Refuses,
    ::testing::Values(
        Refused{"unsigned immediate: ldr x1, [x2, #8]", 0xF9400441},
        Refused{"register offset: ldr x1, [x2, x3]", 0xF8636841},
        Refused{"register offset with an unallocated extend (option 000)", 0xF8231841},
        Refused{"pre-index storing its own base: str x2, [x2, #8]!", 0xF8008C42},
        Refused{"post-index, unprivileged: sttr x1, [x2, #8]", 0xF8008841},
        Refused{"unscaled: ldur w1, [x2, #-1]", 0xB85FF041},
        Refused{"pair: ldp x1, x2, [x3, #-16]", 0xA97F0861},
        Refused{"pair writing back a base it stores: stp x1, x2, [x1, #16]!", 0xA9810821},
        Refused{"pair storing tags: stgp x1, x2, [x3], #16", 0x68808861},
        Refused{"non-temporal pair: ldnp x1, x2, [x3, #16]", 0xA8410861},
        Refused{"SIMD: ldr q0, [x1, #32]", 0x3DC00820},
        Refused{"SIMD with an unallocated size (opc 10, size 01)", 0x7D800820}));

INSTANTIATE_TEST_SUITE_P(OtherKinds, Refuses,
                         ::testing::Values(Refused{"nop", 0xD503201F},
                                           Refused{"stxr w4, x1, [x2]", 0xC8047C41},
                                           Refused{"stlr x1, [x2]", 0xC89FFC41},
                                           Refused{"st1 {v0.16b}, [x1]", 0x4C007020},
                                           Refused{"dc zva, x1", 0xD50B7421},
                                           Refused{"ldadd x1, x2, [x3]", 0xF8210062}));

}  // namespace
