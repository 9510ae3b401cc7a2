// The commands: the menu, the commands' guards, the About text, help and quit.
#include <gtest/gtest.h>

#include <algorithm>
#include <iterator>
#include <string>

#include "ui/commands/about.h"
#include "unit/ui_fixture.h"

namespace tarnvik::testing {
namespace {

// The states a command may run in, a letter each: S starting, I idle, B building, Q quitting, C closing.
std::string AllowedIn(const Command& command) {
  using S = Controller::State;
  std::string states;
  const auto note = [&](char letter, Controller& ui, S expected) {
    EXPECT_EQ(ui.state(), expected) << letter;
    if (command.action != nullptr && (command.allowed == nullptr || command.allowed(ui))) states += letter;
  };
  TestProgram starting;
  ShownProgram idle, building, quitting, closing;
  building.tk.onDoEvents = [&](int) { note('B', building.ui(), S::Building); };
  note('S', starting.ui(), S::Starting), note('I', idle.ui(), S::Idle), building.win().PressKey(116);
  quitting.ui().Quit(), closing.win().RequestClose();
  note('Q', quitting.ui(), S::Quitting), note('C', closing.ui(), S::Closing);
  return states;
}

// The command table: each row's caption and F key in the menu, its key in the report box, its guard.
TEST(CommandTable, EachRowsCaptionKeyAndGuard) {
  const std::vector<toolkit::MenuItem> expected = {
      {"-", ""},
      {"\xD0\x9E \xD0\xBF\xD1\x80\xD0\xBE\xD0\xB3\xD1\x80\xD0\xB0\xD0\xBC\xD0\xBC\xD0\xB5 / About...", "F1"},
      {"\xD0\xA4\xD0\xB0\xD0\xB9\xD0\xBB \xD0\xBF\xD0\xBE\xD0\xBC\xD0\xBE\xD1\x89\xD0\xB8 / Help file...", "F2"},
      {"-", ""},
      {"\xD0\x9E\xD0\xB1\xD0\xBD\xD0\xBE\xD0\xB2\xD0\xB8\xD1\x82\xD1\x8C / Refresh...", "F5"},
      {"-", ""},
      {"\xD0\x92\xD1\x8B\xD1\x85\xD0\xBE\xD0\xB4 / Quit...    [Esc]", ""},
      {"-", ""},
      {"\xD0\x9E\xD1\x82\xD0\xBC\xD0\xB5\xD0\xBD\xD0\xB0 / Cancel", ""},
      {"-", ""},
  };
  const int16_t keys[] = {0, 112, 113, 0, 116, 0, 27, 0, 0, 0, 0};  // the last row: Minimise, in no menu
  const char* const allowedIn[] = {"", "SIB", "SIB", "", "I", "", "SIBQC", "", "", "", "SIB"};
  const auto& items = MenuItems();
  ASSERT_EQ(items.size(), expected.size());
  ASSERT_EQ(Commands().size(), std::size(keys));
  for (std::size_t i = 0; i < Commands().size(); ++i) {
    SCOPED_TRACE(i);
    const Command& command = Commands()[i];
    EXPECT_EQ(static_cast<std::size_t>(command.id), i);
    EXPECT_EQ(command.caption != nullptr ? command.caption : "", i < items.size() ? expected[i].caption : "");
    if (i < items.size()) {
      EXPECT_EQ(items[i].caption, expected[i].caption);
      EXPECT_EQ(items[i].shortcut, expected[i].shortcut);
    }
    EXPECT_EQ(command.key, keys[i]);
    if (keys[i] != 0) {
      EXPECT_EQ(CommandForKey(keys[i]), &command);
    }
    EXPECT_EQ(AllowedIn(command), allowedIn[i]);
  }
  EXPECT_EQ(kDefaultMenuItem, 4);
}

struct ClickRow {
  CommandId item;
  bool quitting;
  bool idle;
  int aboutBoxes;
  int helpStarts;
  int refreshes;
  bool quitsNow;
};

TEST(Menu, ChosenItemsRunTheirCommandsUnderTheirGuards) {
  const ClickRow rows[] = {
      {CommandId::About, false, true, 1, 0, 0, false},     {CommandId::About, true, true, 0, 0, 0, true},
      {CommandId::HelpFile, false, true, 0, 1, 0, false},  {CommandId::HelpFile, true, true, 0, 0, 0, true},
      {CommandId::Refresh, false, true, 0, 0, 1, false},   {CommandId::Refresh, false, false, 0, 0, 0, false},
      {CommandId::Refresh, true, true, 0, 0, 0, true},     {CommandId::Quit, false, true, 0, 0, 0, true},
      {CommandId::Quit, true, true, 0, 0, 0, true},        {CommandId::Cancel, false, true, 0, 0, 0, false},
      {CommandId::TopSeparator, false, true, 0, 0, 0, false},
      {CommandId::SeparatorBeforeCancel, false, true, 0, 0, 0, false},
  };
  for (const ClickRow& row : rows) {
    SCOPED_TRACE(::testing::Message() << "item " << static_cast<int>(row.item) << " quitting " << row.quitting
                                      << " idle " << row.idle);
    ShownProgram t;
    if (row.quitting) t.ui().Quit();
    // Not idle: chosen while a report of one drive is being built.
    const auto choose = [&] { RunMenuItem(t.ui(), static_cast<int>(row.item)); };
    t.drive.logicalDrives = row.idle ? 0 : LetterMask("c");
    t.tk.onDoEvents = [&](int n) {
      if (n == 1 && !row.idle) choose();
    };
    row.idle ? choose() : void(t.win().PressKey(116));
    EXPECT_EQ(t.tk.messageBoxes.size(), static_cast<std::size_t>(row.aboutBoxes));
    EXPECT_EQ(t.tk.shellCalls.size(), static_cast<std::size_t>(row.helpStarts));
    EXPECT_EQ(t.Builds() - (row.idle ? 0 : 1), row.refreshes);
    EXPECT_EQ(t.ui().Quitting(), row.quitsNow);
  }
}

TEST(Menu, QuitRunsEvenWhenAlreadyQuittingAndHidesTheWindow) {
  ShownProgram t;
  t.ui().Quit();
  t.win().Show();
  RunMenuItem(t.ui(), static_cast<int>(CommandId::Quit));
  EXPECT_FALSE(t.win().visible());
  EXPECT_TRUE(t.ui().Quitting());
  EXPECT_EQ(t.tk.loadedForms, 1) << "the timer finishes the quit, not the command";
}

TEST(Menu, DismissingTheMenuChangesNothing) {
  ShownProgram t;
  const std::string before = t.win().reportBox().Text();
  t.tk.onPopupMenu = [](const toolkit::PopupRecord&) { return -1; };
  t.g().OnMouseDown(toolkit::kRightButton, 0, 5, 5);
  EXPECT_EQ(t.tk.popups.size(), 1u);
  EXPECT_FALSE(t.ui().Quitting());
  EXPECT_TRUE(t.tk.messageBoxes.empty());
  EXPECT_EQ(t.win().reportBox().Text(), before);
}

TEST(Menu, RefreshChosenDuringABuildIsDroppedAndWorksAfterIt) {
  ShownProgram t;
  t.drive.logicalDrives = LetterMask("cd");
  t.drive.drives['c'] = FakeDrive{};
  t.drive.drives['d'] = FakeDrive{};
  t.tk.onPopupMenu = [](const toolkit::PopupRecord&) { return static_cast<int>(CommandId::Refresh); };
  t.tk.onDoEvents = [&](int n) {
    if (n == 2) t.g().OnMouseDown(toolkit::kRightButton, 0, 5, 5);
  };
  RunMenuItem(t.ui(), static_cast<int>(CommandId::Refresh));
  EXPECT_EQ(t.tk.popups.size(), 1u);
  EXPECT_EQ(t.Builds(), 1);
  t.tk.onDoEvents = nullptr;
  RunMenuItem(t.ui(), static_cast<int>(CommandId::Refresh));
  EXPECT_EQ(t.Builds(), 2);
}

// ---- Help file -----------------------------------------------------------------------------

TEST(HelpFile, CommandLineIsNotepadOnTheQuotedPath) {
  const std::pair<std::string, std::string> rows[] = {
      {"C:\\Tools\\", "notepad.exe \"C:\\Tools\\ReadMe.txt\""},
      {"C:\\Program Files\\QELM Tarnvik\\", "notepad.exe \"C:\\Program Files\\QELM Tarnvik\\ReadMe.txt\""},
      {"D:\\", "notepad.exe \"D:\\ReadMe.txt\""},
      {"", "notepad.exe \"ReadMe.txt\""},
  };
  for (const auto& [folder, command] : rows) {
    EXPECT_EQ(HelpFileCommandLine(folder), command);
    ShownProgram t;
    t.ui().appFolder = folder;
    t.tk.shellSucceeds = false;  // a start that fails is silent
    RunMenuItem(t.ui(), static_cast<int>(CommandId::HelpFile));
    ASSERT_EQ(t.tk.shellCalls.size(), 1u);
    EXPECT_EQ(t.tk.shellCalls[0].first, command);
    EXPECT_EQ(t.tk.shellCalls[0].second, 1);
    EXPECT_TRUE(t.tk.messageBoxes.empty());
  }
}

// ---- About box -----------------------------------------------------------------------------

std::vector<std::string> SplitOnCr(const std::string& text) {
  std::vector<std::string> lines;
  std::string line;
  for (char c : text) {
    if (c == '\r') {
      lines.push_back(line);
      line.clear();
    } else {
      line += c;
    }
  }
  lines.push_back(line);  // what follows the last carriage return
  return lines;
}

TEST(About, TwentyLinesEachEndedByACarriageReturnAlone) {
  const std::string& text = AboutText();
  EXPECT_EQ(text.find('\n'), std::string::npos);
  ASSERT_GE(text.size(), 2u);
  EXPECT_EQ(text.substr(text.size() - 2), "\r\r");
  const auto lines = SplitOnCr(text);
  ASSERT_EQ(lines.size(), 21u);
  EXPECT_EQ(lines[20], "") << "nothing after the last carriage return";
  EXPECT_EQ(lines[19], "") << "line 20 is empty";
}

TEST(About, FixedLinesAreExact) {
  const auto lines = SplitOnCr(AboutText());
  ASSERT_EQ(lines.size(), 21u);
  EXPECT_EQ(lines[0], "***  QELM Tarnvik ver. 1.2.0.2016.0  ***");
  EXPECT_EQ(lines[1], "");
  EXPECT_EQ(lines[2], "[ Drives Information (HDD, FDD, Optical, Flash, RAM etc.) ]");
  EXPECT_EQ(lines[3], "");
  EXPECT_EQ(lines[6], "WEB: \thttp://qelmsoft.example/tarnvik");
  EXPECT_EQ(lines[15], "");
  EXPECT_EQ(lines[17], "OS: \tMicrosoft Windows  (x32/x64) ");
  EXPECT_EQ(lines[18], "VER.\t95/98/Me/NT/2000/XP/2003/Vista/7/2008/8/2012  ");
}

TEST(About, ContactLinesKeepTheirForm) {
  const auto lines = SplitOnCr(AboutText());
  ASSERT_EQ(lines.size(), 21u);
  struct Row {
    int line;
    std::string label;
    bool endsWithBlank;
  } rows[] = {{7, "WEB: ", false},      {8, "WAP: ", false},       {9, "        ", false},
              {10, "E-Mail:", true},    {11, "        ", true},   {12, "ICQ: ", false},
              {13, "Skype: ", false},   {17, "TYPE:", false},     {18, "OS: ", true},
              {19, "VER.", true}};
  for (const Row& row : rows) {
    const std::string& line = lines[static_cast<std::size_t>(row.line - 1)];
    SCOPED_TRACE(line);
    EXPECT_EQ(line.substr(0, row.label.size() + 1), row.label + "\t");
    EXPECT_EQ(std::count(line.begin(), line.end(), '\t'), 1) << "exactly one tab between label and value";
    const std::string value = line.substr(row.label.size() + 1);
    ASSERT_FALSE(value.empty());
    EXPECT_NE(value[0], ' ');
    EXPECT_EQ(value.back() == ' ', row.endsWithBlank);
  }
  EXPECT_EQ(lines[13].rfind("c. ", 0), 0u);
  EXPECT_EQ(lines[13].back(), ')');
  EXPECT_NE(lines[13].find(" ("), std::string::npos);
  for (int line : {5, 6, 15}) EXPECT_FALSE(lines[static_cast<std::size_t>(line - 1)].empty()) << line;
}

TEST(About, TheBoxShowsTheSameTextEveryTime) {
  ShownProgram t;
  ShowAbout(t.tk);
  ShowAbout(t.tk);
  ASSERT_EQ(t.tk.messageBoxes.size(), 2u);
  EXPECT_EQ(t.tk.messageBoxes[0].text, t.tk.messageBoxes[1].text);
  EXPECT_EQ(t.tk.messageBoxes[0].title, " QELM Tarnvik  About / Info...");
  EXPECT_EQ(t.tk.messageBoxes[0].style, 32);
}

}  // namespace
}  // namespace tarnvik::testing
