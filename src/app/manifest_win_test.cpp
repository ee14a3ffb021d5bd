// The program's manifest must name the architecture it is built for: Windows refuses to start a
// 64-bit program whose manifest says x86, or that asks for x86 Common Controls.
#include <gtest/gtest.h>

#include <fstream>
#include <sstream>
#include <string>

namespace quorvane {
namespace {

// The processorArchitecture of the assemblyIdentity that names `assembly`, or "(none)".
std::string architectureOf(const std::string& manifest, const std::string& assembly) {
  const size_t named = manifest.find("name=\"" + assembly + "\"");
  if (named == std::string::npos) return "(none)";
  const size_t start = manifest.rfind("<assemblyIdentity", named);
  const size_t end = manifest.find("/>", named);
  const std::string identity = manifest.substr(start, end - start);
  const std::string key = "processorArchitecture=\"";
  const size_t at = identity.find(key);
  if (at == std::string::npos) return "(none)";
  const size_t valueStart = at + key.size();
  return identity.substr(valueStart, identity.find('"', valueStart) - valueStart);
}

TEST(ManifestWinTest, NamesThisBuildsArchitecture) {
  std::ifstream in(QUORVANE_MANIFEST, std::ios::binary);
  ASSERT_TRUE(in) << QUORVANE_MANIFEST;
  std::stringstream text;
  text << in.rdbuf();
  const bool wide = sizeof(void*) == 8;
  EXPECT_EQ(architectureOf(text.str(), "Orlenna.Quorvane"), wide ? "amd64" : "x86");
  EXPECT_EQ(architectureOf(text.str(), "Microsoft.Windows.Common-Controls"), wide ? "*" : "x86");
}

}  // namespace
}  // namespace quorvane
