#include "platform/com/com.h"

#include <gtest/gtest.h>

#include <atomic>
#include <stdexcept>
#include <thread>
#include <vector>

#include "platform/winhttp/request_object.h"

namespace quillmark::platform::com {
namespace {

// Keeps this thread's count balanced whatever a test does.
class ComTest : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_EQ(initializationCount(), 0); }
  void TearDown() override {
    while (initializationCount() > 0) CoUninitialize();
  }
};

TEST_F(ComTest, InitialisationCountsPerCall) {
  EXPECT_EQ(CoInitialize(nullptr), kOk);
  EXPECT_EQ(CoInitialize(nullptr), kFalse);
  EXPECT_EQ(initializationCount(), 2);
  CoUninitialize();
  EXPECT_EQ(initializationCount(), 1);
  CoUninitialize();
  CoUninitialize();  // one too many: nothing happens
  EXPECT_EQ(initializationCount(), 0);
  EXPECT_EQ(CoInitialize(nullptr), kOk);
}

struct Conversion {
  Variant from;
  VariantType to;
  bool converts;
  Variant expected;
};

TEST(VariantTest, ConvertsAsAutomationDoes) {
  const std::vector<Conversion> cases = {
      {Variant::fromInt32(5), VariantType::Int32, true, Variant::fromInt32(5)},
      {Variant::fromBool(true), VariantType::Int32, true, Variant::fromInt32(-1)},
      {Variant::fromBool(false), VariantType::Int32, true, Variant::fromInt32(0)},
      {Variant::fromDouble(2.5), VariantType::Int32, true, Variant::fromInt32(2)},
      {Variant::fromDouble(3.5), VariantType::Int32, true, Variant::fromInt32(4)},
      {Variant::fromDouble(-2.5), VariantType::Int32, true, Variant::fromInt32(-2)},
      {Variant::fromDouble(2.6), VariantType::Int32, true, Variant::fromInt32(3)},
      {Variant::fromDouble(2147483647.0), VariantType::Int32, true, Variant::fromInt32(2147483647)},
      {Variant::fromDouble(2147483648.0), VariantType::Int32, false, {}},
      {Variant::fromDouble(-2147483649.0), VariantType::Int32, false, {}},
      {Variant::fromString(u" 42 "), VariantType::Int32, true, Variant::fromInt32(42)},
      {Variant::fromString(u"-7"), VariantType::Int32, true, Variant::fromInt32(-7)},
      {Variant::fromString(u"4x"), VariantType::Int32, false, {}},
      {Variant::fromString(u""), VariantType::Int32, false, {}},
      {Variant::fromString(u"1.5"), VariantType::Double, true, Variant::fromDouble(1.5)},
      {Variant::fromString(u"inf"), VariantType::Double, false, {}},
      {Variant::fromInt32(0), VariantType::Bool, true, Variant::fromBool(false)},
      {Variant::fromInt32(6), VariantType::Bool, true, Variant::fromBool(true)},
      {Variant::fromString(u"TRUE"), VariantType::Bool, true, Variant::fromBool(true)},
      {Variant::fromString(u"no"), VariantType::Bool, false, {}},
      {Variant::fromInt32(-12), VariantType::String, true, Variant::fromString(u"-12")},
      {Variant::fromDouble(1.25), VariantType::String, true, Variant::fromString(u"1.25")},
      {Variant::fromBool(true), VariantType::String, true, Variant::fromString(u"-1")},
      {Variant(), VariantType::Int32, true, Variant::fromInt32(0)},
      {Variant(), VariantType::String, true, Variant::fromString(u"")},
      {Variant::fromBytes({1, 2}), VariantType::String, false, {}},
      {Variant::fromBytes({1, 2}), VariantType::Int32, false, {}},
      {Variant::fromString(u"ab"), VariantType::Bytes, false, {}},
      {Variant::fromInt32(1), VariantType::Bytes, false, {}},
      {Variant::fromBytes({0, 9}), VariantType::Bytes, true, Variant::fromBytes({0, 9})},
      {Variant::fromBytes({3}), VariantType::Any, true, Variant::fromBytes({3})},
      {Variant::fromString(u"x"), VariantType::Empty, true, Variant()},
  };
  for (const auto& c : cases) {
    Variant out = Variant::fromString(u"untouched");
    EXPECT_EQ(convertVariant(c.from, c.to, out), c.converts) << describe(c.from);
    EXPECT_EQ(out, c.converts ? c.expected : Variant::fromString(u"untouched")) << describe(c.from);
  }
}

TEST(VariantTest, DescribesEachType) {
  EXPECT_EQ(describe(Variant()), "EMPTY");
  EXPECT_EQ(describe(Variant::fromInt32(5)), "I4(5)");
  EXPECT_EQ(describe(Variant::fromBool(true)), "BOOL(-1)");
  EXPECT_EQ(describe(Variant::fromBool(false)), "BOOL(0)");
  EXPECT_EQ(describe(Variant::fromDouble(1.5)), "R8(1.5)");
  EXPECT_EQ(describe(Variant::fromString(u"中a")), "BSTR(\"\xE4\xB8\xAD" "a\")");
  EXPECT_EQ(describe(Variant::fromBytes({0, 1, 2})), "BYTES(3)");
}

// An object with one method Add(Int32, Int32) and a property Name.
class Adder : public Dispatch {
 public:
  std::span<const MemberSignature> members() const noexcept override { return table_; }
  HResult call(const MemberSignature& member, std::span<const Variant> arguments, Variant& result) noexcept override {
    seen.assign(arguments.begin(), arguments.end());
    if (member.name == u"Add") {
      result = Variant::fromInt32(arguments[0].asInt32() + arguments[1].asInt32());
      return kOk;
    }
    if (member.kind == InvokeKind::PropertyPut) {
      name = arguments[0].asString();
      return kOk;
    }
    if (member.name == u"Fails") {
      result = Variant::fromInt32(9);
      return kFail;
    }
    result = Variant::fromString(name);
    return kOk;
  }
  std::vector<Variant> seen;
  std::u16string name = u"none";

 private:
  std::vector<MemberSignature> table_ = {
      {u"Add", InvokeKind::Method, {VariantType::Int32, VariantType::Int32}},
      {u"Name", InvokeKind::PropertyGet, {}},
      {u"Name", InvokeKind::PropertyPut, {VariantType::String}},
      {u"Fails", InvokeKind::Method, {}},
  };
};

TEST(InvokeTest, ConvertsArgumentsToTheDeclaredTypes) {
  auto adder = std::make_shared<Adder>();
  ObjectHandle handle(adder);
  const std::vector<Variant> arguments = {Variant::fromString(u"40"), Variant::fromBool(true)};
  Variant result;
  EXPECT_EQ(invoke(handle, u"aDD", InvokeKind::Method, arguments, &result), kOk);
  EXPECT_EQ(result, Variant::fromInt32(39));
  EXPECT_EQ(adder->seen, (std::vector<Variant>{Variant::fromInt32(40), Variant::fromInt32(-1)}));
}

TEST(InvokeTest, PropertiesByKind) {
  auto adder = std::make_shared<Adder>();
  ObjectHandle handle(adder);
  const std::vector<Variant> value = {Variant::fromInt32(7)};
  Variant result = Variant::fromInt32(1);
  EXPECT_EQ(invoke(handle, u"name", InvokeKind::PropertyPut, value, &result), kOk);
  EXPECT_TRUE(result.isEmpty());
  EXPECT_EQ(invoke(handle, u"Name", InvokeKind::PropertyGet, {}, &result), kOk);
  EXPECT_EQ(result, Variant::fromString(u"7"));
  EXPECT_EQ(invoke(handle, u"Name", InvokeKind::PropertyGet, {}), kOk);  // no result wanted
}

TEST(InvokeTest, FailuresComeBackAsCodes) {
  auto adder = std::make_shared<Adder>();
  ObjectHandle handle(adder);
  const std::vector<Variant> one = {Variant::fromInt32(1)};
  const std::vector<Variant> two = {Variant::fromInt32(1), Variant::fromBytes({1})};
  struct Case {
    std::u16string name;
    InvokeKind kind;
    std::span<const Variant> arguments;
    HResult expected;
  };
  const std::vector<Case> cases = {
      {u"Subtract", InvokeKind::Method, one, kUnknownName},
      {u"Add", InvokeKind::PropertyGet, {}, kUnknownName},
      {u"Add", InvokeKind::Method, one, kBadParamCount},
      {u"Add", InvokeKind::Method, two, kTypeMismatch},
      {u"Fails", InvokeKind::Method, {}, kFail},
  };
  for (const auto& c : cases) {
    Variant result = Variant::fromInt32(5);
    EXPECT_EQ(invoke(handle, c.name, c.kind, c.arguments, &result), c.expected);
    EXPECT_TRUE(result.isEmpty());
  }
  Variant result = Variant::fromInt32(5);
  EXPECT_EQ(invoke(ObjectHandle(), u"Add", InvokeKind::Method, two, &result), kUnexpected);
  EXPECT_TRUE(result.isEmpty());
}

TEST(ObjectHandleTest, CountsReferences) {
  ObjectHandle first(std::make_shared<Adder>());
  EXPECT_EQ(first.referenceCount(), 1);
  {
    ObjectHandle second = first;
    EXPECT_EQ(first.referenceCount(), 2);
    EXPECT_EQ(second.get(), first.get());
  }
  EXPECT_EQ(first.referenceCount(), 1);
  first.reset();
  EXPECT_TRUE(first.empty());
}

TEST_F(ComTest, InitialisationBelongsToOneThread) {
  CoInitialize(nullptr);
  int otherCount = -1;
  bool otherCreated = true;
  ScopedFactory factory(u"Test.Thread", [] { return std::make_shared<Adder>(); });
  EXPECT_FALSE(createObject(u"Test.Thread").empty());
  std::thread([&] {
    otherCount = initializationCount();
    otherCreated = !createObject(u"Test.Thread").empty();
  }).join();
  EXPECT_EQ(otherCount, 0);
  EXPECT_FALSE(otherCreated);
  EXPECT_EQ(initializationCount(), 1);
}

TEST_F(ComTest, CreatesObjectsByProgId) {
  EXPECT_TRUE(createObject(u"Test.Adder").empty());  // not initialised
  CoInitialize(nullptr);
  EXPECT_TRUE(createObject(u"Test.Adder").empty());  // not registered
  {
    ScopedFactory factory(u"Test.Adder", [] { return std::make_shared<Adder>(); });
    EXPECT_FALSE(createObject(u"Test.Adder").empty());
    EXPECT_FALSE(createObject(u"TEST.adder").empty());
  }
  EXPECT_TRUE(createObject(u"Test.Adder").empty());  // the scope restored the empty entry
}

TEST_F(ComTest, FailingFactoriesGiveNoObject) {
  CoInitialize(nullptr);
  ScopedFactory none(u"Test.None", [] { return std::shared_ptr<Dispatch>(); });
  ScopedFactory throws(u"Test.Throws", []() -> std::shared_ptr<Dispatch> { throw std::runtime_error("no"); });
  EXPECT_TRUE(createObject(u"Test.None").empty());
  EXPECT_TRUE(createObject(u"Test.Throws").empty());
}

TEST(RegistryTest, RegisterReturnsWhatItReplaced) {
  int made = 0;
  EXPECT_FALSE(registerFactory(u"Test.Replace", [&] { ++made; return std::make_shared<Adder>(); }));
  EXPECT_FALSE(registerFactoryIfAbsent(u"Test.Replace", [] { return std::make_shared<Adder>(); }));
  Factory previous = registerFactory(u"Test.Replace", Factory());
  ASSERT_TRUE(previous);
  previous();
  EXPECT_EQ(made, 1);
  EXPECT_TRUE(registerFactoryIfAbsent(u"Test.Replace", [] { return std::make_shared<Adder>(); }));
  registerFactory(u"Test.Replace", Factory());
}

TEST(RegistryTest, SafeFromManyThreads) {
  std::atomic<int> created{0};
  std::vector<std::thread> threads;
  for (int t = 0; t < 4; ++t) {
    threads.emplace_back([&, t] {
      CoInitialize(nullptr);
      const std::u16string progId = u"Test.Concurrent" + std::u16string(1, static_cast<char16_t>(u'0' + t));
      for (int i = 0; i < 200; ++i) {
        ScopedFactory factory(progId, [] { return std::make_shared<Adder>(); });
        if (!createObject(progId).empty()) ++created;
      }
      CoUninitialize();
    });
  }
  for (auto& thread : threads) thread.join();
  EXPECT_EQ(created.load(), 800);
}

TEST_F(ComTest, RequestClassRegistersOnlyWhenAbsent) {
  CoInitialize(nullptr);
  {
    ScopedFactory none(winhttp::kRequestProgId, [] { return std::shared_ptr<Dispatch>(); });
    winhttp::registerRequestClass();
    EXPECT_TRUE(createObject(winhttp::kRequestProgId).empty());  // the test's factory stays
  }
  winhttp::registerRequestClass();
  winhttp::registerRequestClass();
  const ObjectHandle request = createObject(winhttp::kRequestProgId);
  ASSERT_FALSE(request.empty());
  EXPECT_EQ(request.get()->members().size(), winhttp::requestMembers().size());
}

}  // namespace
}  // namespace quillmark::platform::com
