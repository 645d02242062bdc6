#include "host/component_loader.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <functional>
#include <optional>

#include "harness/class_ids.h"
#include "harness/error.h"
#include "harness/test_library.h"
#include "harness/utf.h"
#include "tests/error_of.h"

namespace host {
namespace {

using tavora::testing::ErrorOf;

std::string Description(const std::optional<harness::Error>& error) {
  return error ? harness::ToUtf8(error->description()) : "";
}

TEST(ComponentLoader, CreatesClassesThroughTheComponentsFactory) {
  auto component = Component::Load(TAVORAD_PATH);
  auto library = component->Create<harness::ITestLibrary>(harness::kClsidLibrary);
  EXPECT_EQ(library->Name(), u"tavora");
  auto dataset = component->Create<harness::IDataset>(harness::kClsidStandardDataset);
  EXPECT_EQ(dataset->Name(), u"tavora.Standard");
}

TEST(ComponentLoader, ReportsAClassOrInterfaceTheComponentLacks) {
  auto component = Component::Load(TAVORAD_PATH);
  constexpr harness::Guid kUnknown{0x12345678, 0x1234, 0x1234, {1, 2, 3, 4, 5, 6, 7, 8}};
  auto missing = ErrorOf([&] { component->Create<harness::ITestLibrary>(kUnknown); });
  ASSERT_TRUE(missing);
  EXPECT_EQ(missing->number(), harness::errors::kCannotCreate);
  EXPECT_NE(Description(missing).find("{12345678-1234-1234-0102-030405060708}"), std::string::npos);
  EXPECT_NE(Description(missing).find("0x80040111"), std::string::npos) << Description(missing);

  auto wrong = ErrorOf([&] { component->Create<harness::IDataset>(harness::kClsidLibrary); });
  ASSERT_TRUE(wrong);
  EXPECT_EQ(wrong->number(), harness::errors::kNoInterface);
}

TEST(ComponentLoader, ReportsLoadFailuresWithTheLoadersText) {
  auto absent = ErrorOf([] { Component::Load("/nonexistent/libtavorad.so"); });
  ASSERT_TRUE(absent);
  EXPECT_EQ(absent->number(), 48);
  EXPECT_EQ(Description(absent),
            "Error in loading DLL: '/nonexistent/libtavorad.so': /nonexistent/libtavorad.so: "
            "cannot open shared object file: No such file or directory");

  // The harness runtime loads fine but is no component.
  std::string runtime =
      (std::filesystem::path(TAVORAD_PATH).parent_path() / "libtavora-harness.so").string();
  auto no_exports = ErrorOf([&] { Component::Load(runtime); });
  ASSERT_TRUE(no_exports);
  EXPECT_EQ(no_exports->number(), 453);
  EXPECT_EQ(
      Description(no_exports)
          .rfind("Specified DLL function not found: DllGetClassObject in '" + runtime + "': ", 0),
      0u)
      << Description(no_exports);
}

}  // namespace
}  // namespace host
