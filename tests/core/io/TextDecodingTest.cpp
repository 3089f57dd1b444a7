#include "io/TextDecoding.h"

#include <gtest/gtest.h>

TEST(TextDecoding, Utf8Validity) {
  struct Case {
    std::string bytes;
    bool valid;
  };
  const Case cases[] = {
      {"", true},
      {"plain ASCII", true},
      {"Gr\xC3\xB6\xC3\x9F" "e", true},            // Größe
      {"\xE2\x82\xAC", true},                      // €
      {"\xF0\x9F\x8E\xB5", true},                  // U+1F3B5
      {"\xF6", false},                             // Latin-1 ö
      {"\xC3", false},                             // cut short
      {"\xC0\xAF", false},                         // overlong "/"
      {"\xE0\x80\xAF", false},                     // overlong "/"
      {"\xED\xA0\x80", false},                     // surrogate
      {"\xF4\x90\x80\x80", false},                 // above U+10FFFF
      {"\x80", false},                             // lone continuation
      {"\xF8\x88\x80\x80\x80", false},             // five-byte form
  };
  for (const Case& c : cases) EXPECT_EQ(IsValidUtf8(c.bytes), c.valid) << testing::PrintToString(c.bytes);
}

TEST(TextDecoding, KnownConversions) {
  struct Case {
    std::string bytes;
    std::string utf8;
  };
  const Case cases[] = {
      {"Gr\xC3\xB6\xC3\x9F" "e", "Größe"},                      // valid UTF-8 stays
      {"Gr\xF6\xDF" "e", "Größe"},                              // Windows-1252
      {"\x80 \x84\x93 \x96 \x85 \x9F", "€ „“ – … Ÿ"},
      {"\x81\x8D", "\xC2\x81\xC2\x8D"},                        // undefined bytes: C1 controls
      {"\xEF\xBB\xBF" "abc", "abc"},                           // UTF-8 mark dropped
      {"\xEF\xBB\xBF" "\xE4", "ä"},                            // mark, then not UTF-8
      {std::string("\xFF\xFE" "A\0\xE4\0\xAC\x20", 8), "Aä€"},  // UTF-16 LE
      {std::string("\xFE\xFF\0A\xD8\x3C\xDF\xB5", 8), "A\xF0\x9F\x8E\xB5"},  // UTF-16 BE, surrogate pair
      {std::string("\xFF\xFE\x00\xD8" "A\0", 6), "\xEF\xBF\xBD" "A"},      // lone surrogate
      {std::string("\xFF\xFE" "A\0B", 5), "A"},                          // odd byte dropped
  };
  for (const Case& c : cases) EXPECT_EQ(DecodeTextBytes(c.bytes), c.utf8) << testing::PrintToString(c.bytes);
}

TEST(TextDecoding, Utf16CodeUnits) {
  EXPECT_EQ(Utf8ToUtf16("Aä€\xF0\x9F\x8E\xB5"), (std::u16string{u'A', 0x00E4, 0x20AC, 0xD83C, 0xDFB5}));
  EXPECT_EQ(Utf16ToUtf8(std::u16string{u'A', 0x00E4, 0x20AC, 0xD83C, 0xDFB5}), "Aä€\xF0\x9F\x8E\xB5");
  // Malformed input: every byte that is not UTF-8, and every surrogate without its partner, is U+FFFD.
  EXPECT_EQ(Utf8ToUtf16("a\xF6\xC3z"), (std::u16string{u'a', 0xFFFD, 0xFFFD, u'z'}));
  EXPECT_EQ(Utf8ToUtf16("\xED\xA0\x80"), (std::u16string{0xFFFD, 0xFFFD, 0xFFFD}));
  EXPECT_EQ(Utf16ToUtf8(std::u16string{0xDC00, u'x', 0xD800}), "\xEF\xBF\xBDx\xEF\xBF\xBD");
}
