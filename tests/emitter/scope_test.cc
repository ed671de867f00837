#include "core/emitter/emitter_scope.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <deque>
#include <algorithm>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace vaxo_core::emitter {
namespace {

Variable let(std::string_view name, std::size_t at, std::size_t reg) {
  return Variable(name, ByteRange{at, at + 1}, false, BindType::Let, Register::make(reg), 1);
}

TEST(Scopes, InnerNameHidesOuterUntilItsScopeCloses) {
  Scopes scopes;
  scopes.push(1);
  Variable& outer = scopes.declare(let("x", 0, 1));
  scopes.push(2);
  EXPECT_EQ(scopes.find_local_variable("x"), nullptr);
  ASSERT_TRUE(scopes.find_variable("x"));
  EXPECT_EQ(scopes.find_variable("x")->variable, &outer);
  EXPECT_EQ(scopes.find_variable("x")->level, 1u);

  Variable& inner = scopes.declare(let("x", 2, 2));
  // A second one in the same scope: the first stays the one found.
  scopes.declare(let("x", 4, 3));
  EXPECT_EQ(scopes.current().variables().size(), 2u);
  EXPECT_EQ(scopes.find_variable("x")->variable, &inner);
  EXPECT_EQ(scopes.find_variable("x")->level, 2u);
  EXPECT_EQ(scopes.find_local_variable("x"), &inner);

  scopes.pop();
  EXPECT_EQ(scopes.find_variable("x")->variable, &outer);
  EXPECT_EQ(scopes.find_local_variable("x"), &outer);
  scopes.pop();
  EXPECT_FALSE(scopes.find_variable("x"));
  EXPECT_TRUE(scopes.empty());
}

TEST(Scopes, SpotFindsOnlyTheInnermostScopesNameAndDeclaresThere) {
  Scopes scopes;
  // Reserved small, so the declarations below still grow the index between
  // taking a spot and closing the scopes.
  scopes.reserve_names(1);
  scopes.push(1);
  Variable& outer = scopes.declare(let("x", 0, 1));
  EXPECT_EQ(scopes.spot("x", Scopes::hash("x")).local, &outer);
  scopes.push(2);
  Scopes::Spot spot = scopes.spot("x", Scopes::hash("x"));
  EXPECT_EQ(spot.local, nullptr);
  Variable& inner = scopes.declare_at(spot, Scopes::hash("x"), "x", ByteRange{2, 3}, true, BindType::Let,
                                      Register::make(2), 2);
  EXPECT_EQ(scopes.find_local_variable("x"), &inner);
  EXPECT_TRUE(inner.is_mutable());
  std::vector<std::string> names;
  for (int i = 0; i < 100; ++i) names.push_back("n" + std::to_string(i));
  for (const std::string& n : names) {
    scopes.declare_at(scopes.spot(n, Scopes::hash(n)), Scopes::hash(n), n, ByteRange{4, 5}, false, BindType::Let,
                      Register::make(3), 2);
  }
  EXPECT_EQ(scopes.spot("x", Scopes::hash("x")).local, &inner);
  scopes.pop();
  EXPECT_EQ(scopes.find_variable("x")->variable, &outer);
  EXPECT_FALSE(scopes.find_variable("n7"));
}

TEST(Scopes, ManyNamesAcrossDeepScopesStayInPlace) {
  // Enough names to grow the index and the variable blocks several times.
  constexpr std::size_t kDepth = 12;
  constexpr std::size_t kPerScope = 150;
  std::vector<std::string> names;
  names.reserve(kDepth * kPerScope);
  std::vector<Variable*> declared;
  Scopes scopes;
  for (std::size_t d = 0; d < kDepth; ++d) {
    scopes.push(d + 1);
    for (std::size_t i = 0; i < kPerScope; ++i) {
      // Every scope also hides the previous scope's `shared`.
      if (i == 0) {
        scopes.declare(let("shared", d, d + 1));
        continue;
      }
      names.push_back("v" + std::to_string(d) + "_" + std::to_string(i));
      declared.push_back(&scopes.declare(let(names.back(), d * kPerScope + i, i)));
    }
  }
  for (std::size_t k = 0; k < names.size(); ++k) {
    std::optional<FoundVariable> found = scopes.find_variable(names[k]);
    ASSERT_TRUE(found) << names[k];
    EXPECT_EQ(found->variable, declared[k]) << names[k];
    EXPECT_EQ(found->level, k / (kPerScope - 1) + 1) << names[k];
    EXPECT_EQ(found->variable->name(), names[k]);
  }
  for (std::size_t d = kDepth; d-- > 0;) {
    EXPECT_EQ(scopes.find_variable("shared")->level, d + 1);
    EXPECT_EQ(scopes.find_variable("shared")->variable->declaration().start, d);
    scopes.pop();
    EXPECT_FALSE(scopes.find_variable(names[d * (kPerScope - 1)]));
    if (d > 0) {
      EXPECT_TRUE(scopes.find_variable(names[(d - 1) * (kPerScope - 1)]));
    }
  }
  EXPECT_FALSE(scopes.find_variable("shared"));
}


TEST(Scopes, NamesLeaveTheIndexWithTheirScopeAndLookupsStayRight) {
  // Against a plain model: scopes open and close at random, names drawn from
  // a small pool (hiding, duplicates in one scope) and from an endless one
  // (a name's only variable closes, so its slot is freed and the slots
  // behind it shift back). Each round starts from the smallest index and
  // grows it while names are open, so probe runs are long, wrap around, and
  // after a growth no longer hold their names in declaration order.
  std::uint64_t seed = 0x9E3779B97F4A7C15ULL;
  auto next = [&seed](std::uint64_t n) {
    seed ^= seed << 13;
    seed ^= seed >> 7;
    seed ^= seed << 17;
    return seed % n;
  };
  for (int round = 0; round < 300 && !::testing::Test::HasFailure(); ++round) {
    std::vector<std::vector<std::pair<std::string_view, Variable*>>> model;
    Scopes scopes;
    auto check = [&](std::string_view name) {
      Variable* want = nullptr;
      std::size_t level = 0;
      for (std::size_t d = model.size(); d-- > 0 && want == nullptr;) {
        for (const auto& [n, v] : model[d]) {
          if (n == name) {
            want = v;
            level = d + 1;
            break;
          }
        }
      }
      std::optional<FoundVariable> got = scopes.find_variable(name);
      ASSERT_EQ(got.has_value(), want != nullptr) << name << " in round " << round;
      if (want == nullptr) return;
      EXPECT_EQ(got->variable, want) << name;
      EXPECT_EQ(got->level, level) << name;
      EXPECT_EQ(got->local, level == model.size()) << name;
      EXPECT_EQ(got->variable->name(), name);
    };
    // Variables borrow their names: each text stays put in a deque.
    std::deque<std::string> texts;
    std::size_t fresh = 0;
    // Declarations outweigh closings at first, then closings win.
    for (int step = 0; step < 400; ++step) {
      std::uint64_t op = next(20);
      bool filling = step < 200;
      if (model.empty() || (op < 2 && model.size() < 10)) {
        scopes.push(model.size() + 1);
        model.emplace_back();
      } else if (op < (filling ? 3u : 8u)) {
        std::vector<std::pair<std::string_view, Variable*>> closed = std::move(model.back());
        scopes.pop();
        model.pop_back();
        // Every open name is still found, and the closed ones are gone.
        for (const auto& scope : model) {
          for (const auto& entry : scope) check(entry.first);
        }
        for (const auto& entry : closed) check(entry.first);
      } else if (op < 15) {
        texts.push_back(next(3) == 0 ? "s" + std::to_string(next(6)) : "f" + std::to_string(fresh++));
        Variable& v = scopes.declare(let(texts.back(), static_cast<std::size_t>(step), 1));
        model.back().emplace_back(texts.back(), &v);
      } else if (!texts.empty()) {
        check(texts[next(texts.size())]);
      }
    }
    while (!model.empty()) {
      scopes.pop();
      model.pop_back();
    }
    for (const std::string& name : texts) EXPECT_FALSE(scopes.find_variable(name)) << name;
  }
}

TEST(Scopes, ANewScopesStartsEmptyWhateverTheThreadsLastOneLeft) {
  // A Scopes reuses the buffers of the thread's last small one: what that
  // one held must not show through, however it ended.
  struct Case {
    const char* what;
    std::size_t names;  // declared in each of the scopes
    std::size_t scopes;
    bool left_open;  // destroyed with its scopes open, as when an emission throws
  };
  const Case cases[] = {
      {"closed", 5, 2, false},
      {"left open", 5, 3, true},
      {"grown past what is kept", 200, 2, false},
      {"grown and left open", 200, 2, true},
  };
  std::deque<std::string> texts;
  for (const Case& c : cases) {
    std::vector<std::string_view> declared;
    {
      Scopes first;
      for (std::size_t d = 0; d < c.scopes; ++d) {
        first.push(d + 1);
        for (std::size_t i = 0; i < c.names; ++i) {
          texts.push_back("n" + std::to_string(d) + "_" + std::to_string(i));
          first.declare(let(texts.back(), i, i + 1));
          declared.push_back(texts.back());
        }
      }
      if (!c.left_open) {
        while (!first.empty()) first.pop();
      }
    }
    Scopes next;
    EXPECT_TRUE(next.empty()) << c.what;
    // An untouched Scopes answers lookups before any scope is open.
    EXPECT_FALSE(next.find_variable(declared.front())) << c.what;
    next.push(1);
    for (std::string_view name : declared) EXPECT_FALSE(next.find_variable(name)) << c.what << ": " << name;
    Variable& v = next.declare(let(declared.back(), 0, 1));
    EXPECT_EQ(next.find_local_variable(declared.back()), &v) << c.what;
    EXPECT_EQ(next.current().variables().size(), 1u) << c.what;
    // A second Scopes while this one is alive starts on its own buffers.
    {
      Scopes beside;
      beside.push(1);
      EXPECT_FALSE(beside.find_variable(declared.back())) << c.what;
    }
    EXPECT_EQ(next.find_variable(declared.back())->variable, &v) << c.what;
  }
}

}  // namespace
}  // namespace vaxo_core::emitter
