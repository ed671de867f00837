#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "tests/emitter/support/disassembler.h"
#include "core/emitter/emitter.h"

namespace vaxo_core::emitter {
namespace {

using Bytes = std::vector<std::uint8_t>;

class WriterTest : public ::testing::Test {
 protected:
  // Tags and the source map on, before the emitter reads them.
  static config::Config mapped() {
    config::Config c;
    c.diagnostic_sourcemap = true;
    c.diagnostic_tag = true;
    return c;
  }

  // The instruction bytes written so far (after the 8 header bytes).
  Bytes code() const {
    const Bytes& all = emitter.chunk.code();
    return Bytes(all.begin() + Chunk::kHeaderSize, all.end());
  }
  std::vector<ByteRange> source_map() const {
    std::vector<ByteRange> out;
    for (const auto& d : emitter.diagnostics) {
      if (d.error == DiagnosticCode::SourceMap) out.push_back(d.range);
    }
    return out;
  }

  std::string script = "let answer = f(x, y); // some text to map into";
  config::Config config = mapped();
  diagnostic::DiagnosticsCollector caller{config, script};
  Emitter emitter{caller};
};

Register r(std::size_t n) { return Register::make(n); }

TEST_F(WriterTest, ExamplesOfTheEncoding) {
  emitter.op_2({0, 1}, OpCode::Assign, r(1), Register());
  emitter.op_2({1, 2}, OpCode::Assign, r(300), r(2));
  emitter.op_get_index({2, 3}, r(3), r(4), -1);
  emitter.op({3, 4}, OpCode::Freeze);
  emitter.op_nil({4, 5}, r(7));
  Bytes expected = {0x28, 1, 0,                      //
                    0xA8, 0x2C, 1, 0, 0, 2, 0, 0, 0,  //
                    0x43, 3, 4, 0xFF,                 //
                    0x3D,                             //
                    0x28, 7, 0};
  EXPECT_EQ(code(), expected);
  EXPECT_EQ(source_map(), (std::vector<ByteRange>{{0, 1}, {1, 2}, {2, 3}, {3, 4}, {4, 5}}));
}

TEST_F(WriterTest, WidthIsDecidedOverEveryOperand) {
  struct Row {
    const char* what;
    std::function<void(Emitter&)> write;
    Bytes bytes;
  };
  std::vector<Register> two_hundred(200, r(1));
  Row rows[] = {
      {"register 255 stays narrow", [](Emitter& e) { e.op_1({}, OpCode::Return, r(255)); }, {0x60, 0xFF}},
      {"register 256 widens", [](Emitter& e) { e.op_1({}, OpCode::Return, r(256)); }, {0xE0, 0, 1, 0, 0}},
      {"immediate 127 and -128 stay narrow",
       [](Emitter& e) { e.op_4({}, OpCode::Slice, r(1), r(2), OpParam(127), OpParam(-128)); },
       {0x47, 1, 2, 0x7F, 0x80}},
      {"immediate 128 widens the registers too",
       [](Emitter& e) { e.op_get_index({}, r(1), r(2), 128); },
       {0xC3, 1, 0, 0, 0, 2, 0, 0, 0, 128, 0, 0, 0}},
      {"immediate -129 widens",
       [](Emitter& e) { e.op_get_index({}, r(1), r(2), -129); },
       {0xC3, 1, 0, 0, 0, 2, 0, 0, 0, 0x7F, 0xFF, 0xFF, 0xFF}},
      {"empty variadic list", [](Emitter& e) { e.op_variadic({}, r(4), OpCode::Concat, {}); }, {0x17, 4, 0}},
      {"call without arguments is five bytes",
       [](Emitter& e) { e.op_call({}, r(1), lexer::CowText("f"), {}, {}); },
       {0x61, 1, 0, 0, 0}},
      {"an argument register above 255 widens both counts",
       [](Emitter& e) {
         const Register args[] = {r(1), r(300)};
         e.op_call_dyn({}, r(2), r(3), args, {});
       },
       {0xE2, 2, 0, 0, 0, 3, 0, 0, 0, 2, 0, 0, 0, 1, 0, 0, 0, 0x2C, 1, 0, 0, 0, 0, 0, 0}},
      {"a callee name at constant 128 widens the call",
       [](Emitter& e) {
         for (int i = 0; i < 128; ++i) e.add_const_number(i);
         const Register args[] = {r(2)};
         e.op_call({}, r(1), lexer::CowText("f"), args, {});
       },
       {0xE1, 1, 0, 0, 0, 128, 0, 0, 0, 1, 0, 0, 0, 2, 0, 0, 0, 0, 0, 0, 0}},
      {"a result register above 255 widens a call without arguments",
       [](Emitter& e) { e.op_call_dyn({}, r(256), r(3), {}, {}); },
       {0xE2, 0, 1, 0, 0, 3, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0}},
      {"a spread position of 200 widens",
       [](Emitter& e) {
         const Register args[] = {r(1)};
         const OpParam spreads[] = {OpParam(200)};
         e.op_call_dyn({}, r(2), r(3), args, spreads);
       },
       {0xE2, 2, 0, 0, 0, 3, 0, 0, 0, 1, 0, 0, 0, 1, 0, 0, 0, 1, 0, 0, 0, 200, 0, 0, 0}},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.what);
    config::Config c;
    diagnostic::DiagnosticsCollector dc(c, script);
    Emitter e(dc);
    row.write(e);
    Bytes all = e.chunk.code();
    EXPECT_EQ(Bytes(all.begin() + 8, all.end()), row.bytes);
  }

  // A count of 200 widens every register of the list.
  emitter.op_variadic({}, r(1), OpCode::Concat, two_hundred);
  Bytes bytes = code();
  ASSERT_EQ(bytes.size(), 1u + 4 + 4 + 200 * 4);
  EXPECT_EQ(bytes[0], 0x97);
  EXPECT_EQ(Bytes(bytes.begin() + 5, bytes.begin() + 13), (Bytes{200, 0, 0, 0, 1, 0, 0, 0}));
}

// A call is written in one pass when the chunk has room, else by the
// general writer: both settle the width at the same bounds.
TEST_F(WriterTest, CallWidthBoundsOnBothWriters) {
  struct Row {
    const char* what;
    std::vector<Register> args;
    Register ret;
    Bytes head;  // the bytes before the argument registers
    bool wide;
  };
  const Row rows[] = {
      {"127 arguments stay narrow", std::vector<Register>(127, r(1)), r(2), {0x62, 2, 3, 127}, false},
      {"128 arguments widen", std::vector<Register>(128, r(1)), r(2), {0xE2, 2, 0, 0, 0, 3, 0, 0, 0, 128, 0, 0, 0},
       true},
      {"argument register 255 stays narrow", {r(255)}, r(2), {0x62, 2, 3, 1}, false},
      {"result register 255 stays narrow", {r(1)}, r(255), {0x62, 255, 3, 1}, false},
  };
  for (const Row& row : rows) {
    for (std::size_t room : {std::size_t{0}, std::size_t{4096}}) {
      SCOPED_TRACE(::testing::Message() << row.what << ", code room " << room);
      config::Config c;
      diagnostic::DiagnosticsCollector dc(c, script);
      Emitter e(dc);
      e.chunk = Chunk(room);
      e.op_call_dyn({}, row.ret, r(3), row.args, {});
      Bytes expected = row.head;
      for (Register a : row.args) {
        if (row.wide) {
          expected.insert(expected.end(), {static_cast<std::uint8_t>(a.value()), 0, 0, 0});
        } else {
          expected.push_back(static_cast<std::uint8_t>(a.value()));
        }
      }
      expected.insert(expected.end(), row.wide ? 4 : 1, 0);  // no spreads
      Bytes all = e.chunk.code();
      EXPECT_EQ(Bytes(all.begin() + 8, all.end()), expected);
    }
  }
}

TEST_F(WriterTest, NamedWritersInternBeforeChoosingTheWidth) {
  for (int i = 0; i < 128; ++i) emitter.add_const_number(i);
  emitter.op_number({}, r(1), 127.0);   // index 127: narrow
  emitter.op_number({}, r(1), 1000.0);  // index 128: wide
  EXPECT_EQ(code(), (Bytes{0x26, 1, 127, 0xA6, 1, 0, 0, 0, 128, 0, 0, 0}));
}

TEST_F(WriterTest, TheSameCalleeNameIsOneConstant) {
  emitter.op_call({}, r(1), lexer::CowText("print"), {}, {});
  emitter.op_call({}, r(2), lexer::CowText::owned("print"), {}, {});
  EXPECT_EQ(emitter.chunk.constants().size(), 1u);
  EXPECT_EQ(code(), (Bytes{0x61, 1, 0, 0, 0, 0x61, 2, 0, 0, 0}));
}

TEST_F(WriterTest, OneSourceMapEntryPerInstructionIncludingHeaders) {
  Placeholder h = emitter.op_header({4, 10}, OpCode::Func);
  emitter.op_bool({0, 3}, r(1), true);
  emitter.op_if({4, 5}, OpCode::If, r(1));
  emitter.op_else({5, 6});
  emitter.op_if_end({6, 7});
  emitter.op_format({7, 8}, r(1), r(1), lexer::CowText(""));
  emitter.op_set_upvalue({8, 9}, r(1), 2, r(3));
  emitter.op_return({9, 10}, r(1));
  emitter.op({10, 10}, OpCode::FuncEnd);
  emitter.patch_header(h, OpCode::Func, {Register(), OpParam(0), OpParam(1)});
  Bytes bytes = std::move(emitter.chunk).into_bytes();
  EXPECT_EQ(count_instructions(bytes), 9u);
  EXPECT_EQ(source_map().size(), 9u);
  EXPECT_EQ(source_map().front(), (ByteRange{4, 10}));
}

TEST_F(WriterTest, UnusableMappingsBecomeEmptyRangesAtThePreviousEnd) {
  emitter.op_nil(ByteRange::absent(), r(1));  // nothing before: 0..0
  emitter.op_nil({3, 9}, r(1));
  emitter.op_nil(ByteRange::absent(), r(2));
  emitter.op_nil({7, 5}, r(3));
  EXPECT_EQ(source_map(), (std::vector<ByteRange>{{0, 0}, {3, 9}, {9, 9}, {9, 9}}));
  EXPECT_EQ(code(), (Bytes{0x28, 1, 0, 0x28, 1, 0, 0x28, 2, 0, 0x28, 3, 0}));
  // Past the end of the text is still a broken invariant.
  EXPECT_THROW(emitter.op_nil({0, script.size() + 1}, r(1)), InternalError);
}

TEST_F(WriterTest, SourceMapOffChangesNoByte) {
  config::Config quiet;
  diagnostic::DiagnosticsCollector dc(quiet, script);
  Emitter silent(dc);
  for (Emitter* e : {&emitter, &silent}) {
    e->op_string({0, 3}, r(1), lexer::CowText("x"));
    e->op_get({4, 10}, r(2), r(1), lexer::CowText("y"));
    e->op_global({4, 10}, r(2), lexer::CowText("z"));
    e->op_global_num({4, 10}, r(2), 0.0);
  }
  EXPECT_EQ(emitter.chunk.code(), silent.chunk.code());
  EXPECT_TRUE(silent.diagnostics.empty());
  EXPECT_EQ(source_map().size(), 4u);
}

TEST_F(WriterTest, DisassemblyListsInstructionsAndConstants) {
  Placeholder h = emitter.op_header({}, OpCode::Func);
  emitter.op_string({}, r(1), lexer::CowText("a\"b"));
  emitter.op_get_index({}, r(300), r(1), -1);
  const Register args[] = {r(1), r(2)};
  const OpParam spreads[] = {OpParam(1)};
  emitter.op_call({}, r(3), lexer::CowText("f"), args, spreads);
  emitter.op_if({}, OpCode::IfNil, r(3));
  emitter.op_number({}, r(3), -0.0);
  emitter.op_if_end({});
  emitter.op_return({}, r(3));
  emitter.op({}, OpCode::FuncEnd);
  emitter.patch_header(h, OpCode::Func, {Register(), OpParam(0), OpParam::from_size(300)});
  Bytes bytes = std::move(emitter.chunk).into_bytes();
  EXPECT_EQ(disassemble(bytes),
            "code:\n"
            "    0  Func.w r0, 0, 300\n"
            "   13    Constant r1, K0\n"
            "   16    GetIndex.w r300, r1, -1\n"
            "   29    Call r3, K1, [r1, r2], [1]\n"
            "   37    IfNil r3\n"
            "   39      Constant r3, K2\n"
            "   42    IfEnd\n"
            "   43    Return r3\n"
            "   45  FuncEnd\n"
            "constants:\n"
            "  K0 String \"a\\\"b\"\n"
            "  K1 String \"f\"\n"
            "  K2 Number -0\n");
}

TEST(Disassembler, MalformedInputNeverReadsPastTheBuffer) {
  EXPECT_EQ(disassemble(Bytes{1, 2}), "<malformed chunk header>\n");
  // A wide Assign cut short inside its operands.
  Bytes truncated = {0x0D, 0, 0, 0, 3, 0, 0, 0, 0xA8, 1, 0, 0, 0, 0, 0};
  EXPECT_EQ(disassemble(truncated), "<malformed chunk header>\n");
  Bytes cut = {0x0B, 0, 0, 0, 3, 0, 0, 0, 0xA8, 1, 0, 0, 0, 0, 0};
  EXPECT_EQ(disassemble(cut), "code:\n<malformed instruction>\nconstants:\n");
  Bytes bad_string = {0x0E, 0, 0, 0, 0, 0, 0, 0, 6, 0, 0, 0, 5, 9, 0, 0, 0, 'a'};
  EXPECT_EQ(disassemble(bad_string), "code:\nconstants:\n<malformed constant>\n");
}

}  // namespace
}  // namespace vaxo_core::emitter
