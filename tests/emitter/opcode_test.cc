#include "core/emitter/opcode.h"

#include <gtest/gtest.h>

#include <set>
#include <string>

#include "core/emitter/chunk.h"
#include "tests/emitter/support/disassembler.h"
#include "tests/support/internal_error.h"

namespace vaxo_core::emitter {
namespace {

using test_support::internal_error_of;

using lexer::Operator;

TEST(OpCodeTable, BytesRunWithoutGapsAndNamesAreTheVariantNames) {
  std::set<std::string_view> names;
  for (std::size_t i = 0; i < kOpCodeCount; ++i) {
    const OpCodeInfo& e = op_codes()[i];
    EXPECT_EQ(e.byte, i);
    EXPECT_EQ(code(e.op), i);
    EXPECT_EQ(wide_code(e.op), i | 0x80);
    EXPECT_TRUE(names.insert(e.name).second) << e.name;
  }
  EXPECT_EQ(names.size(), 99u);
  EXPECT_EQ(name(OpCode::Noop), "Noop");
  EXPECT_EQ(name(OpCode::GetUpvalue), "GetUpvalue");
  EXPECT_EQ(name(OpCode::CallDyn), "CallDyn");
  EXPECT_EQ(code(OpCode::Func), 0x5D);
  EXPECT_EQ(wide_code(OpCode::Noop), 0x80);
  EXPECT_EQ(wide_code(OpCode::CallDyn), 0xE2);
}

TEST(OpCodeTable, ElevenCodesAreNeverWritten) {
  std::set<std::string_view> unwritten;
  for (const OpCodeInfo& e : op_codes()) {
    if (!e.written) unwritten.insert(e.name);
  }
  EXPECT_EQ(unwritten, (std::set<std::string_view>{"Noop", "Plus", "AssertInit", "ToNumber", "ToString", "Swap",
                                                   "Pick", "ItemRange", "HasDyn", "IfInit", "ElIf"}));
}

TEST(OpCodeTable, ByteLookupCoversBothForms) {
  EXPECT_EQ(opcode_from_byte(0x28), OpCode::Assign);
  EXPECT_EQ(opcode_from_byte(0xA8), OpCode::Assign);
  EXPECT_EQ(opcode_from_byte(0x63), std::nullopt);
  EXPECT_EQ(opcode_from_byte(0xE3), std::nullopt);
}

TEST(Operand, WidthBoundaries) {
  struct Row {
    std::int32_t param;
    bool wide;
    std::uint8_t narrow;
  };
  for (Row row : {Row{127, false, 0x7F}, Row{-128, false, 0x80}, Row{-1, false, 0xFF}, Row{0, false, 0},
                  Row{128, true, 0}, Row{-129, true, 0}}) {
    SCOPED_TRACE(row.param);
    OpParam p(row.param);
    EXPECT_EQ(p.is_wide(), row.wide);
    if (!row.wide) {
      EXPECT_EQ(operand_code(p), row.narrow);
    }
  }
  EXPECT_FALSE(Register::make(255).is_wide());
  EXPECT_EQ(operand_code(Register::make(255)), 0xFF);
  EXPECT_TRUE(Register::make(256).is_wide());
  // A register of 128 is narrow although a parameter of 128 is not.
  EXPECT_FALSE(Register::make(128).is_wide());
  EXPECT_EQ(operand_wide_code(OpParam(-1)), (std::array<std::uint8_t, 4>{0xFF, 0xFF, 0xFF, 0xFF}));
  EXPECT_EQ(operand_wide_code(Register::make(300)), (std::array<std::uint8_t, 4>{0x2C, 0x01, 0, 0}));
}

TEST(Operand, BrokenInvariantsAreInternalErrors) {
  EXPECT_EQ(internal_error_of([] { Register::make(0); }), "assertion failed: index != 0");
  EXPECT_EQ(internal_error_of([] { operand_code(Register::make(256)); }), "assertion failed: !self.is_wide()");
  EXPECT_THROW(operand_code(OpParam(128)), InternalError);
  EXPECT_THROW(Register::make(std::size_t{1} << 32), InternalError);
  EXPECT_THROW(OpParam::from_size(std::size_t{1} << 31), InternalError);
  EXPECT_EQ(OpParam::from_size((std::size_t{1} << 31) - 1).get(), 0x7FFFFFFF);
  EXPECT_TRUE(Register().is_empty());
}

TEST(OperatorMapping, InfixAndCompound) {
  EXPECT_EQ(to_infix_op(Operator::Plus), OpCode::Add);
  EXPECT_EQ(to_infix_op(Operator::PlusAssign), std::nullopt);
  EXPECT_EQ(to_infix_op(Operator::LessEqual), OpCode::Lte);
  EXPECT_EQ(to_infix_op(Operator::TildeNotEqual), OpCode::Naeq);
  EXPECT_EQ(to_infix_op(Operator::LogicalAnd), std::nullopt);
  EXPECT_EQ(to_infix_op(Operator::NullCoalescing), std::nullopt);
  EXPECT_EQ(to_compound_op(Operator::CaretAssign), OpCode::Pow);
  EXPECT_EQ(to_compound_op(Operator::LogicalAndAssign), std::nullopt);
  EXPECT_EQ(to_compound_op(Operator::NullCoalescingAssign), std::nullopt);
  EXPECT_EQ(to_compound_op(Operator::Plus), std::nullopt);
  int infix = 0, compound = 0;
  for (std::size_t i = 0; i < lexer::kOperatorCount; ++i) {
    infix += to_infix_op(static_cast<Operator>(i)).has_value();
    compound += to_compound_op(static_cast<Operator>(i)).has_value();
  }
  EXPECT_EQ(infix, 14);
  EXPECT_EQ(compound, 6);
}

TEST(HeaderPatching, NarrowAndWideHeadersInsertTheirOperands) {
  Chunk chunk;
  Placeholder outer = chunk.mark(OpCode::Func);
  chunk.add_code(OpCode::Freeze);
  Placeholder inner = chunk.mark(OpCode::Loop);
  chunk.add_code(OpCode::LoopEnd);
  chunk.patch(inner, OpCode::Loop, std::initializer_list<Operand>{OpParam(200)});
  chunk.add_code(OpCode::FuncEnd);
  chunk.patch(outer, OpCode::FuncVarg,
              std::initializer_list<Operand>{Register(), OpParam(1), OpParam::from_size(3)});
  std::vector<std::uint8_t> expected = {0, 0, 0, 0, 0, 0, 0, 0,
                                        0x5E, 0, 1, 3,        // FuncVarg 0, 1, 3
                                        0x3D,                 // Freeze
                                        0xCD, 200, 0, 0, 0,   // wide Loop 200
                                        0x51, 0x5F};
  EXPECT_EQ(chunk.code(), expected);
  EXPECT_THROW(chunk.patch(Placeholder{3}, OpCode::Loop, {}), InternalError);
}

}  // namespace
}  // namespace vaxo_core::emitter
