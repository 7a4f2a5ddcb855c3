// The mask lookup: which mask, if any, a relative name falls under, by the
// wildcard match of name part and extension.
#include "lists/masks.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "lists_fixture.h"

namespace keldar::lists_test {
namespace {

TEST(SameCharacterTest, BytesFrom0x40To0x7FPairUpAcrossBit0x20) {
  struct Pair {
    unsigned char p, t;
    bool same;
  };
  const std::vector<Pair> pairs = {
      {'A', 'A', true},
      {'A', 'a', true},
      {'z', 'Z', true},
      {'A', 'B', false},
      {0x40, 0x60, true},
      {0x60, 0x40, true},
      {0x5B, 0x7B, true},
      {0x5C, 0x7C, true},
      {0x5D, 0x7D, true},
      {0x5E, 0x7E, true},
      {0x5F, 0x7F, true},
      {0x7F, 0x7F, true},
      // Outside 0x40..0x7F only equal bytes match.
      {0x3F, 0x1F, false},
      {0x3F, 0x5F, false},
      {0x20, 0x40, false},
      {0x30, 0x10, false},
      {0x2E, 0x0E, false},
      {0x7F, 0x9F, false},
      {0x80, 0xA0, false},
      // Cyrillic capital and small letters: А/а, Я/я, Ё/ё.
      {0xC0, 0xE0, false},
      {0xDF, 0xFF, false},
      {0xA8, 0xB8, false},
      {0xC0, 0xC0, true},
      {0xFF, 0xFF, true},
      {0x00, 0x20, false},
      {0x00, 0x00, true},
  };
  for (const auto& pair : pairs) {
    EXPECT_EQ(same_character(static_cast<char>(pair.p), static_cast<char>(pair.t)), pair.same)
        << std::hex << int(pair.p) << " " << int(pair.t);
  }
}

TEST(WildcardMatchTest, StarAndQuestionMark) {
  struct Case {
    std::string pattern, text;
    bool match;
  };
  const std::vector<Case> cases = {
      {"", "", true},
      {"", "A", false},
      {"A", "", false},
      {"*", "", true},
      {"**", "", true},
      {"*", "ANYTHING", true},
      {"do*", "DOC", true},
      {"do*", "DO", false},
      {"do*", "DOCUMENT", true},
      {"a*b", "AB", true},
      {"a*b", "AXYZB", true},
      {"a*b", "AXBC", false},
      {"a*b", "ABAB", true},
      {"a**", "A", false},
      {"a*a", "A", false},
      {"?", "", false},
      {"?", "X", true},
      {"?", "XY", false},
      {"??", "X", false},
      {"a?c", "ABC", true},
      {"a?c", "AC", false},
      {"?*", "X", false},
      {"?*", "XY", true},
      {"*?", "", false},
      {"*?", "X", true},
      {"*ab", "AAB", true},
      {"*ab", "AAC", false},
      {"*an*", "BANANA", true},
      {"*na", "BANANA", true},
      {"*nb", "BANANA", false},
      {"b*n*a", "BANANA", true},
      {"*?*", "Q", false},
      {"*?*", "QR", true},
      {"report", "REPORT", true},
      {"report", "REPORTS", false},
      {"reports", "REPORT", false},
      {"[*", "{x", true},
      {"*@", "`", true},
      {"*0", "\x10", false},
      {u("а*"), u("абв"), true},
      {u("а*"), u("АБВ"), false},
      {u("*я"), u("ЗАРЯ"), false},
      {u("*Я"), u("ЗАРЯ"), true},
      {u("?б?"), u("абв"), true},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(wildcard_match(c.pattern, c.text), c.match)
        << to_utf8_lossy(c.pattern) << " vs " << to_utf8_lossy(c.text);
  }
}

class MaskLookupTest : public ListsTest {};

TEST_F(MaskLookupTest, FoldersFirstMatchOrNone) {
  EXPECT_EQ(mask_lookup(ctx.masks, "README"), mask_lookup_result::kNoMatch);
  EXPECT_EQ(mask_lookup(ctx.masks, "A.DOC"), mask_lookup_result::kNoMatch);
  EXPECT_EQ(mask_lookup(ctx.masks, "SUB\\"), mask_lookup_result::kFolder);

  add_mask("*.doc");
  add_mask("*.*");
  EXPECT_EQ(mask_lookup(ctx.masks, "REPORT.DOC"), 0);
  EXPECT_EQ(mask_lookup(ctx.masks, "report.Doc"), 0);
  EXPECT_EQ(mask_lookup(ctx.masks, "SUB\\DEEP\\REPORT.DOC"), 0);
  EXPECT_EQ(mask_lookup(ctx.masks, "README"), 1) << "'*' of '*.*' against the empty extension";
  EXPECT_EQ(mask_lookup(ctx.masks, "REPORT.DOCX"), 1);
  EXPECT_EQ(mask_lookup(ctx.masks, "ARCHIVE.DOC.GZ"), 1) << "the extension follows the last dot";
  EXPECT_EQ(mask_lookup(ctx.masks, "REPORT.OLD.DOC"), 0);
  EXPECT_EQ(mask_lookup(ctx.masks, ".DOC"), 0) << "an empty name part";
  EXPECT_EQ(mask_lookup(ctx.masks, "SUB\\"), mask_lookup_result::kFolder);
  EXPECT_EQ(mask_lookup(ctx.masks, "\\"), mask_lookup_result::kFolder);
  EXPECT_EQ(mask_lookup(ctx.masks, "SUB\\DEEP\\"), mask_lookup_result::kFolder);
}

TEST_F(MaskLookupTest, ExtensionsAreMatchedOnTheirOwn) {
  add_mask("*.do*");
  EXPECT_EQ(mask_lookup(ctx.masks, "FILE.DO"), mask_lookup_result::kNoMatch);
  EXPECT_EQ(mask_lookup(ctx.masks, "FILE.DOC"), 0);
  EXPECT_EQ(mask_lookup(ctx.masks, "FILE.DOT"), 0);
  EXPECT_EQ(mask_lookup(ctx.masks, "FILE"), mask_lookup_result::kNoMatch);

  // Dots in the folders of a name play no part.
  add_mask("*.0");
  EXPECT_EQ(mask_lookup(ctx.masks, "V1.0\\README"), mask_lookup_result::kNoMatch);
  EXPECT_EQ(mask_lookup(ctx.masks, "V1.0\\PATCH.0"), 1);
}

TEST_F(MaskLookupTest, PatternsWithoutAnExtensionMatchOnlyNamesWithoutOne) {
  add_mask("MAKEFILE");
  add_mask("*");
  EXPECT_EQ(mask_lookup(ctx.masks, "makefile"), 0);
  EXPECT_EQ(mask_lookup(ctx.masks, "MAKEFILE.BAK"), mask_lookup_result::kNoMatch);
  EXPECT_EQ(mask_lookup(ctx.masks, "README"), 1);
  EXPECT_EQ(mask_lookup(ctx.masks, "README.TXT"), mask_lookup_result::kNoMatch);
  EXPECT_EQ(mask_lookup(ctx.masks, "SUB\\NOTES"), 1);
}

TEST_F(MaskLookupTest, ThePatternsFolderIsIgnored) {
  add_mask("C:\\DOCS\\*.TXT");
  EXPECT_EQ(mask_lookup(ctx.masks, "A.TXT"), 0);
  EXPECT_EQ(mask_lookup(ctx.masks, "OTHER\\A.TXT"), 0);
  EXPECT_EQ(mask_lookup(ctx.masks, "A.DOC"), mask_lookup_result::kNoMatch);
}

TEST_F(MaskLookupTest, CyrillicLettersMatchOnlyTheirOwnCase) {
  add_mask(u("а*.txt"));
  EXPECT_EQ(mask_lookup(ctx.masks, u("АКТ.TXT")), mask_lookup_result::kNoMatch);
  EXPECT_EQ(mask_lookup(ctx.masks, u("акт.TXT")), 0);
  add_mask(u("*.ДОК"));
  EXPECT_EQ(mask_lookup(ctx.masks, u("ОТЧЁТ.док")), mask_lookup_result::kNoMatch);
  EXPECT_EQ(mask_lookup(ctx.masks, u("отчёт.ДОК")), 1);
}

TEST_F(MaskLookupTest, APatternFillingAllSixtyFourBytesIsReadWhole) {
  const std::string pattern = std::string(60, 'A') + ".TXT";  // no room for a terminator
  ASSERT_EQ(pattern.size(), 64u);
  add_mask(pattern, /*copy=*/true, /*remove=*/true);  // the flags follow the field at once
  EXPECT_EQ(mask_lookup(ctx.masks, std::string(60, 'a') + ".txt"), 0);
  EXPECT_EQ(mask_lookup(ctx.masks, std::string(60, 'A') + ".TX"), mask_lookup_result::kNoMatch);
  EXPECT_EQ(mask_lookup(ctx.masks, std::string(59, 'A') + ".TXT"), mask_lookup_result::kNoMatch);
  EXPECT_EQ(mask_lookup(ctx.masks, std::string(60, 'A') + ".TXT\x01"),
            mask_lookup_result::kNoMatch);
}

TEST_F(MaskLookupTest, PermissionsFollowTheMaskFoldersAndTheForceFlag) {
  add_mask("*.doc", /*copy=*/true, /*remove=*/false);
  add_mask("*.txt", /*copy=*/false, /*remove=*/true);
  struct Case {
    std::string name;
    bool force;
    std::int16_t mask;
    bool copy, remove;
  };
  const std::vector<Case> cases = {
      {"A.DOC", false, 0, true, false},   {"A.TXT", false, 1, false, true},
      {"A.BIN", false, -2, false, false}, {"SUB\\", false, -1, true, true},
      {"A.DOC", true, 0, true, true},     {"A.TXT", true, 1, true, true},
      {"A.BIN", true, -2, true, true},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name + (c.force ? " forced" : ""));
    MaskPermissions p = mask_permissions(ctx.masks, c.name, c.force);
    EXPECT_EQ(p.mask, c.mask);
    EXPECT_EQ(p.copy, c.copy);
    EXPECT_EQ(p.remove, c.remove);
  }
}

}  // namespace
}  // namespace keldar::lists_test
