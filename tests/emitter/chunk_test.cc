#include "core/emitter/chunk.h"
#include "core/emitter/hash.h"
#include "core/emitter/concat.h"
#include "core/diagnostic/internal_error.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <bit>
#include <cmath>
#include <limits>
#include <optional>
#include <string>
#include <vector>

namespace vaxo_core::emitter {
namespace {

using Bytes = std::vector<std::uint8_t>;

std::uint32_t read_u32(const Bytes& b, std::size_t at) {
  return b[at] | (b[at + 1] << 8) | (b[at + 2] << 16) | (static_cast<std::uint32_t>(b[at + 3]) << 24);
}

Bytes serialised(const Constant& c) {
  Bytes out;
  c.write_to(out);
  return out;
}

TEST(Constant, EqualityFollowsBitPatternsAndVariants) {
  EXPECT_NE(Constant::number(0.0), Constant::number(-0.0));
  double nan = std::numeric_limits<double>::quiet_NaN();
  EXPECT_EQ(Constant::number(nan), Constant::number(nan));
  EXPECT_NE(Constant::number_bits(0x7FF8000000000000), Constant::number_bits(0xFFF8000000000000));
  EXPECT_NE(Constant::ordinal(1), Constant::number(1.0));
  EXPECT_EQ(Constant::ordinal(1), Constant::ordinal(1));
  EXPECT_EQ(Constant::boolean(true), Constant::boolean(true));
  EXPECT_NE(Constant::boolean(true), Constant::boolean(false));
  EXPECT_NE(Constant::nil(), Constant::boolean(false));
  // Strings compare by bytes, wherever they lie.
  std::string source = "xabx";
  EXPECT_EQ(Constant::string(std::string_view(source).substr(1, 2)), Constant::string("ab"));
  EXPECT_NE(Constant::string("ab"), Constant::string("ab "));
  EXPECT_NE(Constant::string(""), Constant::nil());
}

TEST(Constant, Serialisation) {
  struct Row {
    Constant constant;
    Bytes bytes;
  };
  Row rows[] = {
      {Constant::nil(), {0}},
      {Constant::boolean(true), {1}},
      {Constant::boolean(false), {2}},
      {Constant::ordinal(-2), {3, 0xFE, 0xFF, 0xFF, 0xFF}},
      {Constant::number(1.0), {4, 0, 0, 0, 0, 0, 0, 0xF0, 0x3F}},
      {Constant::string("ab"), {5, 2, 0, 0, 0, 'a', 'b'}},
      {Constant::string(""), {5, 0, 0, 0, 0}},
      // Two characters, four UTF-8 bytes: the length counts bytes.
      {Constant::string("\xC3\xA9\xC3\xA9"), {5, 4, 0, 0, 0, 0xC3, 0xA9, 0xC3, 0xA9}},
      // A NUL inside the text is kept: no C-string handling.
      {Constant::string(std::string_view("a\0b", 3)), {5, 3, 0, 0, 0, 'a', 0, 'b'}},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(static_cast<int>(row.constant.discriminant()));
    EXPECT_EQ(serialised(row.constant), row.bytes);
    // The chunk writes its pool the same way.
    Chunk chunk;
    chunk.add_constant(row.constant);
    Bytes bytes = std::move(chunk).into_bytes();
    EXPECT_EQ(Bytes(bytes.begin() + 12, bytes.end()), row.bytes);
  }
}

TEST(Chunk, InterningKeepsFirstUseOrder) {
  Chunk chunk;
  std::string source = "print print";
  EXPECT_EQ(chunk.add_constant(Constant::number(0.0)).get(), 0);
  EXPECT_EQ(chunk.add_constant(Constant::number(-0.0)).get(), 1);
  EXPECT_EQ(chunk.add_constant(Constant::number(std::nan(""))).get(), 2);
  EXPECT_EQ(chunk.add_constant(Constant::number(std::nan(""))).get(), 2);
  EXPECT_EQ(chunk.add_constant(Constant::ordinal(1)).get(), 3);
  EXPECT_EQ(chunk.add_constant(Constant::number(1.0)).get(), 4);
  EXPECT_EQ(chunk.add_constant(Constant::boolean(true)).get(), 5);
  EXPECT_EQ(chunk.add_constant(Constant::boolean(true)).get(), 5);
  EXPECT_EQ(chunk.add_constant(Constant::string(std::string_view(source).substr(0, 5))).get(), 6);
  EXPECT_EQ(chunk.add_constant(Constant::string("print")).get(), 6);
  EXPECT_EQ(chunk.add_constant(Constant::string(std::string_view(source).substr(6, 5))).get(), 6);
  EXPECT_EQ(chunk.add_constant(Constant::number(0.0)).get(), 0);
  EXPECT_EQ(chunk.constants().size(), 7u);
  EXPECT_TRUE(chunk.constants()[6].text() == "print");
}

TEST(Chunk, InterningManyConstantsStaysConsistent) {
  // Crosses several index growths; the texts, copied from strings gone since,
  // must survive the pool moving.
  Chunk chunk;
  for (int round = 0; round < 2; ++round) {
    for (int i = 0; i < 3000; ++i) {
      std::string text = concat({"s", std::to_string(i)});
      ASSERT_EQ(chunk.add_constant(Constant::string(text)).get(), 2 * i);
      ASSERT_EQ(chunk.add_constant(Constant::number(i)).get(), 2 * i + 1);
    }
  }
  EXPECT_EQ(chunk.constants().size(), 6000u);
  EXPECT_EQ(chunk.constants()[5998].text(), "s2999");
}

TEST(Chunk, TextsAreCopiedAndACopiedChunkKeepsThem) {
  std::optional<Chunk> original(std::in_place);
  {
    std::string source = "alpha beta";
    EXPECT_EQ(original->add_string(std::string_view(source).substr(0, 5)).get(), 0);
    EXPECT_EQ(original->add_constant(Constant::string(std::string(source).substr(6, 4))).get(), 1);
    EXPECT_EQ(original->add_string(std::string_view(source).substr(6, 4)).get(), 1);
  }
  Chunk copy = *original;
  original.reset();
  EXPECT_EQ(copy.constants()[0].text(), "alpha");
  EXPECT_EQ(copy.constants()[1].text(), "beta");
  EXPECT_EQ(copy.add_string("alpha").get(), 0);
  Bytes bytes = std::move(copy).into_bytes();
  Bytes pool(bytes.end() - 19, bytes.end());
  EXPECT_EQ(pool, (Bytes{5, 5, 0, 0, 0, 'a', 'l', 'p', 'h', 'a', 5, 4, 0, 0, 0, 'b', 'e', 't', 'a'}));
}

TEST(Chunk, EmptyScriptChunkLayout) {
  Chunk chunk;
  Placeholder header = chunk.mark(OpCode::Func);
  chunk.add_code(OpCode::Assign);
  chunk.add_param(Register::make(1));
  chunk.add_param(Register());
  chunk.add_code(OpCode::Return);
  chunk.add_param(Register::make(1));
  chunk.add_code(OpCode::FuncEnd);
  chunk.patch(header, OpCode::Func, std::initializer_list<Operand>{Register(), OpParam(0), OpParam(1)});
  Bytes bytes = std::move(chunk).into_bytes();
  Bytes expected = {0x12, 0, 0, 0, 0x0A, 0, 0, 0, 0x5D, 0, 0, 1, 0x28, 1, 0, 0x60, 1, 0x5F, 0, 0, 0, 0};
  EXPECT_EQ(bytes, expected);
}

TEST(Chunk, AWideOperandHasNoOneByteForm) {
  Chunk chunk;
  EXPECT_THROW(chunk.add_param(Register::make(256)), InternalError);
  EXPECT_THROW(chunk.add_param(OpParam(128)), InternalError);
  EXPECT_THROW(chunk.add_param(OpParam(-129)), InternalError);
  // Nothing was appended.
  EXPECT_EQ(chunk.code().size(), Chunk::kHeaderSize);
}

TEST(Chunk, LengthsDescribeTheBuffer) {
  Chunk chunk;
  chunk.add_code(OpCode::Freeze);
  chunk.add_constant(Constant::number(1.0));
  chunk.add_constant(Constant::string("ab"));
  Bytes bytes = std::move(chunk).into_bytes();
  std::uint32_t total = read_u32(bytes, 0);
  std::uint32_t code_len = read_u32(bytes, 4);
  EXPECT_EQ(total, bytes.size() - 4);
  EXPECT_EQ(code_len, 1u);
  EXPECT_EQ(bytes[8], 0x3D);
  std::uint32_t constants_len = read_u32(bytes, 8 + code_len);
  EXPECT_EQ(constants_len, 16u);
  EXPECT_EQ(8 + code_len + 4 + constants_len, bytes.size());
  Bytes pool(bytes.begin() + 12 + code_len, bytes.end());
  EXPECT_EQ(pool, (Bytes{4, 0, 0, 0, 0, 0, 0, 0xF0, 0x3F, 5, 2, 0, 0, 0, 'a', 'b'}));
}

TEST(Chunk, ShortTextComparisonAgreesWithMemcmp) {
  // The inline comparison of names and string constants splits on length
  // (0, 1..3, 4..7, 8..16, longer): a difference at any position is seen.
  for (std::size_t n = 0; n <= 40; ++n) {
    std::string a(n, 'a');
    for (std::size_t i = 0; i < n; ++i) a[i] = static_cast<char>('a' + i % 26);
    std::string b = a;
    EXPECT_TRUE(same_bytes(a.data(), b.data(), n)) << n;
    for (std::size_t i = 0; i < n; ++i) {
      b[i] ^= 0x20;
      EXPECT_FALSE(same_bytes(a.data(), b.data(), n)) << n << " at " << i;
      b[i] ^= 0x20;
    }
  }
}

TEST(Hash, TextHashSeesEveryByteAtEveryLength) {
  // Each length class reads the text its own way (bytes, halves, two
  // overlapping words, a loop, two lanes and their tail): no byte may be
  // skipped, and the length counts.
  for (std::size_t n = 0; n <= 72; ++n) {
    std::string a(n, ' ');
    for (std::size_t i = 0; i < n; ++i) a[i] = static_cast<char>('a' + i % 26);
    std::string b = a;
    for (std::size_t i = 0; i < n; ++i) {
      b[i] ^= 0x20;
      EXPECT_NE(hash_text(a), hash_text(b)) << n << " at " << i;
      b[i] ^= 0x20;
    }
    EXPECT_NE(hash_text(a), hash_text(a + 'a')) << n;
  }
}

TEST(Hash, CopyBytesWritesExactlyTheTextAtEveryLength) {
  // Each length class of the word copies; the guard bytes around the target
  // must stay untouched.
  for (std::size_t n = 0; n <= 40; ++n) {
    std::string from(n, ' ');
    for (std::size_t i = 0; i < n; ++i) from[i] = static_cast<char>('a' + i % 26);
    std::string to(n + 16, '#');
    copy_bytes(to.data() + 8, from.data(), n);
    EXPECT_EQ(to.substr(8, n), from) << n;
    EXPECT_EQ(to.substr(0, 8), "########") << n;
    EXPECT_EQ(to.substr(8 + n), "########") << n;
  }
}

TEST(Chunk, EveryKindOfConstantIsFoundAgainAtEveryPoolSize) {
  // A hit is found by the inline probe, a miss added by the slow path: both
  // must agree on every variant as the index grows.
  Chunk chunk;
  std::vector<std::string> texts;
  for (int i = 0; i < 600; ++i) texts.push_back(std::string(static_cast<std::size_t>(i % 23), 'x') + std::to_string(i));
  for (int round = 0; round < 2; ++round) {
    for (int i = 0; i < 600; ++i) {
      std::int32_t base = 6 * i;
      EXPECT_EQ(chunk.add_string(texts[static_cast<std::size_t>(i)]).get(), base);
      EXPECT_EQ(chunk.add_number_bits(static_cast<std::uint64_t>(i)).get(), base + 1);
      EXPECT_EQ(chunk.add_ordinal(i).get(), base + 2);
      if (i == 0) {
        EXPECT_EQ(chunk.add_nil().get(), 3);
        EXPECT_EQ(chunk.add_boolean(true).get(), 4);
        EXPECT_EQ(chunk.add_boolean(false).get(), 5);
      } else {
        // Fillers keep six constants per step.
        EXPECT_EQ(chunk.add_string(texts[static_cast<std::size_t>(i)] + "!").get(), base + 3);
        EXPECT_EQ(chunk.add_number_bits(static_cast<std::uint64_t>(i) << 40).get(), base + 4);
        EXPECT_EQ(chunk.add_ordinal(-i).get(), base + 5);
      }
    }
    EXPECT_EQ(chunk.constants().size(), 3600u);
  }
}

// Nested and sibling headers, patched innermost first as the emitter does,
// some wide, one placeholder patched twice: each header's operands land right
// after its byte, whatever order the patches came in.
TEST(Chunk, HeadersAreMergedByPositionWhateverThePatchOrder) {
  struct Shape {
    const char* name;
    int siblings;  // functions side by side in the outer one
    int depth;     // loops nested in each of them
    bool twice;    // the outer header patched a second time
  };
  const Shape shapes[] = {
      {"one header", 0, 0, false},    {"nested only", 1, 3, false},  {"siblings only", 5, 0, false},
      {"few, mixed", 3, 2, false},    {"many, mixed", 12, 3, false}, {"patched twice", 2, 1, true},
      {"many, patched twice", 20, 2, true},
  };
  const std::uint8_t freeze = code(OpCode::Freeze), loop_end = code(OpCode::LoopEnd), func_end = code(OpCode::FuncEnd);
  for (const Shape& shape : shapes) {
    SCOPED_TRACE(shape.name);
    Chunk chunk;
    chunk.add_constant(Constant::number(1.0));
    // What the code must read, written alongside.
    Bytes expected;
    Placeholder outer = chunk.mark(OpCode::Func);
    if (shape.twice) {
      expected.insert(expected.end(), {code(OpCode::FuncVarg), 7, 0, 0, 2});
    } else {
      expected.insert(expected.end(), {code(OpCode::Func), 0, 0, 2});
    }
    for (int s = 0; s < shape.siblings; ++s) {
      Placeholder fn = chunk.mark(OpCode::Func);
      expected.insert(expected.end(), {code(OpCode::Func), 0, static_cast<std::uint8_t>(s), 1});
      std::vector<Placeholder> loops;
      for (int d = 0; d < shape.depth; ++d) {
        chunk.add_code(OpCode::Freeze);
        loops.push_back(chunk.mark(OpCode::Loop));
        expected.push_back(freeze);
        if (d % 2 == 1) {
          // Past a byte: the wide form.
          expected.insert(expected.end(), {wide_code(OpCode::Loop), static_cast<std::uint8_t>(44 + d), 1, 0, 0});
        } else {
          expected.insert(expected.end(), {code(OpCode::Loop), static_cast<std::uint8_t>(d)});
        }
      }
      for (int d = shape.depth; d-- > 0;) {
        chunk.add_code(OpCode::LoopEnd);
        expected.push_back(loop_end);
        chunk.patch(loops[static_cast<std::size_t>(d)], OpCode::Loop,
                    std::initializer_list<Operand>{OpParam(d % 2 ? 300 + d : d)});
      }
      chunk.add_code(OpCode::FuncEnd);
      expected.push_back(func_end);
      chunk.patch(fn, OpCode::Func, std::initializer_list<Operand>{Register(), OpParam(s), OpParam(1)});
    }
    chunk.add_code(OpCode::FuncEnd);
    expected.push_back(func_end);
    chunk.patch(outer, OpCode::Func, std::initializer_list<Operand>{Register(), OpParam(0), OpParam(2)});
    if (shape.twice) chunk.patch(outer, OpCode::FuncVarg, std::initializer_list<Operand>{OpParam(7)});
    Bytes copied = chunk.code();
    ASSERT_EQ(copied.size(), Chunk::kHeaderSize + expected.size());
    EXPECT_TRUE(std::equal(expected.begin(), expected.end(), copied.begin() + Chunk::kHeaderSize));
    Bytes bytes = std::move(chunk).into_bytes();
    ASSERT_EQ(read_u32(bytes, 4), expected.size());
    EXPECT_TRUE(std::equal(expected.begin(), expected.end(), bytes.begin() + Chunk::kHeaderSize));
    Bytes pool(bytes.end() - 9, bytes.end());
    EXPECT_EQ(pool, (Bytes{4, 0, 0, 0, 0, 0, 0, 0xF0, 0x3F}));
  }
}

// A thread hands the tables of a finished chunk to its next one: whatever a
// chunk left behind (serialised, dropped half-way as on an error, or still
// alive beside it), a new chunk starts empty and finds none of it.
TEST(Chunk, AChunkFindsNothingOfTheChunksBeforeIt) {
  auto fill = [](Chunk& chunk, int count) {
    for (int i = 0; i < count; ++i) {
      chunk.add_string(concat({"t", std::to_string(i)}));
      chunk.add_number_bits(static_cast<std::uint64_t>(i));
      chunk.add_ordinal(i);
      chunk.add_boolean(i % 2 == 0);
    }
    Placeholder header = chunk.mark(OpCode::Func);
    chunk.add_code(OpCode::FuncEnd);
    chunk.patch(header, OpCode::Func, std::initializer_list<Operand>{Register(), OpParam(0), OpParam(1)});
  };
  Bytes fresh;
  {
    Chunk chunk;
    fill(chunk, 3);
    fresh = std::move(chunk).into_bytes();
  }
  for (int before : {1, 40, 5000}) {
    SCOPED_TRACE(before);
    for (int how = 0; how < 3; ++how) {
      std::optional<Chunk> earlier(std::in_place);
      fill(*earlier, before);
      if (how == 0) std::move(*earlier).into_bytes();
      if (how < 2) earlier.reset();
      Chunk chunk;
      EXPECT_TRUE(chunk.constants().empty());
      EXPECT_EQ(chunk.add_string("t2").get(), 0);
      EXPECT_EQ(chunk.add_boolean(false).get(), 1);
      EXPECT_EQ(chunk.constants().size(), 2u);
      Chunk again;
      fill(again, 3);
      EXPECT_EQ(std::move(again).into_bytes(), fresh);
    }
  }
}

}  // namespace
}  // namespace vaxo_core::emitter
