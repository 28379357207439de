// The format registry: keywords, "out_file" prefixes, file types and their
// detection, and that every format a keyword names can be created, found
// again by detection where it can be appended to, and named by the
// example's name conventions.
#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <set>
#include <sstream>
#include <string>

#include "framework/date.hpp"
#include "output/formats.hpp"
#include "output/sfc_read.hpp"
#include "testutil.hpp"

namespace {

TEST(FormatRegistry, KeywordsInAnyCaseAndTheWordList) {
  EXPECT_STREQ(SFC_format_words(), "zot,xml,cdf,bufr,cf,csv");
  for (const SfcFormat &f : SFC_formats()) {
    EXPECT_EQ(SFC_format_of_word(f.word), &f);
    std::string upper(f.word);
    for (char &c : upper) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    EXPECT_EQ(SFC_format_of_word(upper), &f) << upper;
    EXPECT_EQ(SFC_format_of_word(std::string(f.word) + "x"), nullptr);
  }
  EXPECT_EQ(SFC_format_of_word(""), nullptr);
  // The first format is the default: the text with the extra groups.
  EXPECT_EQ(SFC_formats().front().types.front(), SfcType::text_ext);
}

TEST(FormatRegistry, OutFilePrefixes) {
  const char *rest = "unset";
  EXPECT_EQ(SFC_format_of_prefix("cdf", &rest), SFC_format_of_word("cdf"));
  EXPECT_EQ(rest, nullptr);
  EXPECT_EQ(SFC_format_of_prefix("cdf:", &rest), SFC_format_of_word("cdf"));
  EXPECT_EQ(rest, nullptr);  // a separator and nothing after it: the default name
  EXPECT_EQ(SFC_format_of_prefix("XML:%y%m%d.x", &rest), SFC_format_of_word("xml"));
  EXPECT_STREQ(rest, "%y%m%d.x");
  EXPECT_EQ(SFC_format_of_prefix("zot/out", &rest), SFC_format_of_word("zot"));
  EXPECT_STREQ(rest, "out");
  // Names that merely start like a keyword stay names.
  for (const char *name : {"xmlfeed", "cdf2", "zo", "", "x.zot"}) {
    EXPECT_EQ(SFC_format_of_prefix(name, &rest), nullptr) << name;
    EXPECT_EQ(rest, nullptr) << name;
  }
  EXPECT_EQ(SFC_format_of_prefix(nullptr, &rest), nullptr);
}

TEST(FormatRegistry, EveryTypeHasOneFormatWithEveryOperation) {
  std::set<SfcType> seen;
  for (const SfcFormat &f : SFC_formats()) {
    ASSERT_NE(f.ops, nullptr) << f.word;
    EXPECT_TRUE(f.ops->detect && f.ops->open && f.ops->put_header && f.ops->get_header && f.ops->write &&
                f.ops->close)
        << f.word;
    EXPECT_FALSE(f.types.empty()) << f.word;
    for (SfcType t : f.types) {
      EXPECT_TRUE(seen.insert(t).second) << "type " << SFC_type_code(t) << " in two formats";
      EXPECT_EQ(SFC_format_of_type(t), &f);
    }
    EXPECT_NE(*f.help, '\0') << f.word;
  }
  for (int code : {2, 3, 4, 11, 12, 13, 51, 61, 71}) EXPECT_NE(SFC_format_of_type(static_cast<SfcType>(code)), nullptr) << code;
  EXPECT_EQ(SFC_format_of_type(SfcType::none), nullptr);
  EXPECT_EQ(SFC_format_of_type(SfcType::unknown), nullptr);
}

// Each keyword's own type creates a file with its header; detection then
// finds a type of the same format, except for XML, which is never
// appended to, and BUFR, whose file without messages is empty.
TEST(FormatRegistry, CreatedFilesAreDetectedAsTheirFormat) {
  tvtest::TempDir dir;
  for (const SfcFormat &f : SFC_formats()) {
    const std::string path = dir.file("out." + std::string(f.extension));
    int type = SFC_type_code(f.types.front());
    const int fd = SFC_open(path.c_str(), static_cast<int>(SfcAccess::create), &type);
    ASSERT_GE(fd, 0) << f.word;
    SFC_info info{};
    std::snprintf(info.datim, sizeof info.datim, "%s", "1200Z  7 DEC 23");
    info.date = {2023, 12, 7, 341, 4, 12, 0, 0};
    EXPECT_EQ(SFC_putinfo(fd, &info), 0) << f.word;
    EXPECT_EQ(SFC_close(fd), 0) << f.word;
    const auto found = static_cast<SfcType>(SFC_chktype(path.c_str()));
    if (f.word == "xml" || f.word == "bufr") {
      EXPECT_EQ(found, SfcType::unknown);
    } else {
      EXPECT_EQ(SFC_format_of_type(found), &f) << f.word << " detected as " << SFC_type_code(found);
    }
  }
}

// A new format needs a name convention for its default name: the
// example's file has one for every keyword, with the format's extension.
TEST(FormatRegistry, TheExampleNamesEveryFormat) {
  std::ifstream in(tvtest::source_path("examples/name_conv"));
  ASSERT_TRUE(in) << "examples/name_conv";
  std::set<std::string> entries;
  for (std::string line; std::getline(in, line);) {
    std::istringstream words(line);
    std::string type, name;
    if (words >> type >> name && type[0] != '#') entries.insert(type + " " + name);
  }
  for (const SfcFormat &f : SFC_formats()) {
    const std::string want = std::string(f.name_template) + " %y%m%d%h." + f.extension;
    EXPECT_EQ(entries.count(want), 1u) << want;
  }
}

}  // namespace
