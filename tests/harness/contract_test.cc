#include <gtest/gtest.h>

#include "harness/activation.h"
#include "harness/guid.h"
#include "harness/keyed_collection.h"
#include "harness/test_library.h"
#include "harness/utf.h"
#include "harness/variant.h"
#include "tests/error_number.h"

namespace harness {
namespace {

using tavora::testing::ErrorNumber;

TEST(Guid, RoundTripsThroughRegistryText) {
  constexpr Guid id{0x89526e26, 0x5ad1, 0x44c6, {0x9e, 0x96, 0x62, 0x23, 0x65, 0x24, 0x0e, 0x61}};
  EXPECT_EQ(ToString(id), "{89526E26-5AD1-44C6-9E96-622365240E61}");
  EXPECT_EQ(ParseGuid("{89526e26-5ad1-44c6-9e96-622365240e61}"), id);
  EXPECT_EQ(ParseGuid("89526E26-5AD1-44C6-9E96-622365240E61"), id);
  for (const char* bad :
       {"", "{89526E26-5AD1-44C6-9E96-622365240E6}", "89526E26x5AD1-44C6-9E96-622365240E61",
        "{89526E26-5AD1-44C6-9E96-622365240EG1}"}) {
    SCOPED_TRACE(bad);
    EXPECT_FALSE(ParseGuid(bad).has_value());
  }
}

TEST(Variant, KindIsPartOfTheValue) {
  EXPECT_NE(Variant::Long(0), Variant::Integer(0));
  EXPECT_NE(Variant::Boolean(false), Variant::Long(0));
  EXPECT_NE(Variant::String(u""), Variant::Null());
  EXPECT_EQ(Variant::Long(111), Variant::Long(111));
  EXPECT_EQ(Variant::Integer(255).ToText(), u"255");
  EXPECT_EQ(Variant::Long(-2147483647 - 1).ToText(), u"-2147483648");
  EXPECT_EQ(Variant::Boolean(true).ToText(), u"True");
}

TEST(Variant, WrongKindAndNullFailWithPlatformErrors) {
  EXPECT_EQ(ErrorNumber([] { (void)Variant::Long(1).AsString(); }), errors::kTypeMismatch);
  EXPECT_EQ(ErrorNumber([] { (void)Variant::String(u"1").AsLong(); }), errors::kTypeMismatch);
  EXPECT_EQ(ErrorNumber([] { (void)Variant::Null().ToText(); }), errors::kInvalidNull);
}

TEST(KeyedCollection, KeepsInsertionOrderAndFailsLikeThePlatform) {
  KeyedCollection<int> list;
  list.Add(u"b", 2);
  list.Add(u"a", 1);
  list.Add(u"c", 3);
  EXPECT_EQ(list.Count(), 3);
  EXPECT_EQ(list.At(1), 2);
  EXPECT_EQ(list.KeyAt(3), u"c");
  EXPECT_EQ(list.Get(u"a"), 1);
  EXPECT_EQ(ErrorNumber([&] { list.At(0); }), errors::kSubscript);
  EXPECT_EQ(ErrorNumber([&] { list.At(4); }), errors::kSubscript);
  EXPECT_EQ(ErrorNumber([&] { list.Get(u"A"); }), errors::kInvalidCall);
  EXPECT_EQ(ErrorNumber([&] { list.Add(u"a", 9); }), errors::kDuplicateKey);
  list.Remove(u"b");
  EXPECT_EQ(list.At(1), 1);
  EXPECT_EQ(list.Get(u"c"), 3);
  EXPECT_EQ(ErrorNumber([&] { list.Remove(u"b"); }), errors::kInvalidCall);
}

// Each byte or unit the strict conversion refuses is one U+FFFD.
TEST(Utf, ReplacesWhatIsNotText) {
  EXPECT_EQ(FromUtf8("a\xff"
                     "b"),
            u"a\uFFFDb");
  EXPECT_EQ(FromUtf8("\xe2\x82"), u"\uFFFD\uFFFD");
  EXPECT_EQ(FromUtf8("\xC0\x80"), u"\uFFFD\uFFFD") << "an overlong NUL is no NUL";
  EXPECT_EQ(ToUtf8(std::u16string(1, char16_t(0xD800))), "\xEF\xBF\xBD");
}

class Probe : public ComObject<TestCase> {
 public:
  std::u16string LibraryName() override { return {}; }
  void SetLibraryName(const std::u16string&) override {}
  std::u16string Name() override { return u"probe"; }
  void SetName(const std::u16string&) override {}
  std::u16string Description() override { return {}; }
  void SetDescription(const std::u16string&) override {}
  ComPtr<IDataset> Dataset() override { return {}; }
  void SetDataset(IDataset*) override {}
};

TEST(Activation, CreatesInstalledClassesAndFailsClearlyOtherwise) {
  InstallClass(TestCase::kClsid, {});
  EXPECT_EQ(ErrorNumber([] { CreateObject<TestCase>(); }), errors::kCannotCreate);
  InstallClass(TestCase::kClsid,
               [] { return ComPtr<IUnknown>(QueryAs<IUnknown>(MakeObject<Probe>())); });
  EXPECT_EQ(CreateObject<TestCase>()->Name(), u"probe");
  // A factory whose object lacks the interface asked for.
  InstallClass(ObjectModel::kClsid, [] { return QueryAs<IUnknown>(MakeObject<Probe>()); });
  EXPECT_EQ(ErrorNumber([] { CreateObject<ObjectModel>(); }), errors::kNoInterface);
  InstallClass(ObjectModel::kClsid, {});
  InstallClass(TestCase::kClsid, {});
}

TEST(ComObject, QueryInterfaceAndReferenceCounting) {
  ComPtr<Probe> probe = MakeObject<Probe>();
  void* raw = reinterpret_cast<void*>(1);
  EXPECT_EQ(probe->QueryInterface(ObjectModel::kIid, &raw), kNoInterface);
  EXPECT_EQ(raw, nullptr);
  ComPtr<IUnknown> unknown = QueryAs<IUnknown>(probe);
  ComPtr<TestCase> again = QueryAs<TestCase>(unknown);
  EXPECT_EQ(static_cast<void*>(again.get()), static_cast<void*>(probe.get()));
  EXPECT_EQ(probe->AddRef(), 4u);  // probe, unknown, again, and this call
  EXPECT_EQ(probe->Release(), 3u);
}

}  // namespace
}  // namespace harness
