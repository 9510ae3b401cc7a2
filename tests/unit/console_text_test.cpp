// What a console is given where a pipe or file gets the bytes: the text without a leading
// byte-order mark, in writes that never part a surrogate pair.
#include "startup/console_text.h"

#include <gtest/gtest.h>

#include <string>
#include <tuple>
#include <utility>

namespace tarnvik {
namespace {

TEST(ConsoleTextTest, AWriteNeverPartsASurrogatePair) {
  const std::u16string disk = u"\U0001F4BE", many(kConsolePieceUnits - 1, u'-');  // one character, two units
  const std::tuple<std::u16string, std::size_t, std::size_t> cases[] = {
      {u"ДИСК", 8, 4},       {u"ДИСК", 3, 3},      {u"ab" + disk, 3, 2},           {u"ab" + disk, 4, 4},
      {u"a" + disk + u"b", 3, 3}, {disk + disk, 2, 2}, {many + disk, kConsolePieceUnits, kConsolePieceUnits - 1}};
  for (const auto& [text, limit, piece] : cases) {
    EXPECT_EQ(ConsolePieceLength(std::u16string_view(text), limit), piece) << text.size() << " " << limit;
  }
}

}  // namespace
}  // namespace tarnvik
