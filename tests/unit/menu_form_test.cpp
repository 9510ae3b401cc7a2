// The hidden menu form: the menu, its commands and guards, the About text, help and quit.
#include <gtest/gtest.h>

#include <algorithm>

#include "ui/menu_form/about.h"
#include "unit/ui_fixture.h"

namespace tarnvik::testing {
namespace {

TEST(Menu, ItemsCaptionsAndShortcutsInOrder) {
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
  const auto& items = MenuItems();
  ASSERT_EQ(items.size(), expected.size());
  for (std::size_t i = 0; i < items.size(); ++i) {
    SCOPED_TRACE(i);
    EXPECT_EQ(items[i].caption, expected[i].caption);
    EXPECT_EQ(items[i].shortcut, expected[i].shortcut);
  }
  EXPECT_EQ(kDefaultMenuItem, 4);
}

struct ClickRow {
  MenuItemId item;
  bool quitting;
  bool idle;
  int aboutBoxes;
  int helpStarts;
  int refreshes;
  bool quitsNow;
};

TEST(Menu, ChosenItemsRunTheirCommandsUnderTheirGuards) {
  const ClickRow rows[] = {
      {MenuItemId::About, false, true, 1, 0, 0, false},     {MenuItemId::About, true, true, 0, 0, 0, true},
      {MenuItemId::HelpFile, false, true, 0, 1, 0, false},  {MenuItemId::HelpFile, true, true, 0, 0, 0, true},
      {MenuItemId::Refresh, false, true, 0, 0, 1, false},   {MenuItemId::Refresh, false, false, 0, 0, 0, false},
      {MenuItemId::Refresh, true, true, 0, 0, 0, true},     {MenuItemId::Quit, false, true, 0, 0, 0, true},
      {MenuItemId::Quit, true, true, 0, 0, 0, true},        {MenuItemId::Cancel, false, true, 0, 0, 0, false},
      {MenuItemId::TopSeparator, false, true, 0, 0, 0, false},
      {MenuItemId::SeparatorBeforeCancel, false, true, 0, 0, 0, false},
  };
  for (const ClickRow& row : rows) {
    SCOPED_TRACE(::testing::Message() << "item " << static_cast<int>(row.item) << " quitting " << row.quitting
                                      << " idle " << row.idle);
    ShownProgram t;
    t.forms().quitting = row.quitting;
    t.forms().reportIdle = row.idle;
    t.tk.onPopupMenu = [&](const toolkit::PopupRecord&) { return static_cast<int>(row.item); };
    t.program.forms.Menu().PopupMenu();
    EXPECT_EQ(t.tk.messageBoxes.size(), static_cast<std::size_t>(row.aboutBoxes));
    EXPECT_EQ(t.tk.shellCalls.size(), static_cast<std::size_t>(row.helpStarts));
    EXPECT_EQ(t.tk.menuForm->drives().refreshCount(), row.refreshes);
    EXPECT_EQ(t.forms().quitting, row.quitsNow);
  }
}

TEST(Menu, QuitRunsEvenWhenAlreadyQuittingAndHidesBothForms) {
  ShownProgram t;
  t.forms().quitting = true;
  t.program.forms.Menu().OnQuitClick();
  EXPECT_FALSE(t.win().visible());
  EXPECT_FALSE(t.tk.menuForm->visible());
  EXPECT_TRUE(t.forms().quitting);
  EXPECT_EQ(t.tk.loadedForms, 2) << "the timer finishes the quit, not the command";
}

TEST(Menu, DismissingTheMenuChangesNothing) {
  ShownProgram t;
  const std::string before = t.win().reportBox().Text();
  t.tk.onPopupMenu = [](const toolkit::PopupRecord&) { return -1; };
  t.g().OnMouseDown(toolkit::kRightButton, 0, 5, 5);
  EXPECT_EQ(t.tk.popups.size(), 1u);
  EXPECT_FALSE(t.forms().quitting);
  EXPECT_TRUE(t.tk.messageBoxes.empty());
  EXPECT_EQ(t.win().reportBox().Text(), before);
}

TEST(Menu, RefreshChosenDuringABuildIsDroppedAndWorksAfterIt) {
  ShownProgram t;
  t.tk.driveEntries = {"c:", "d:"};
  t.drive.drives['c'] = FakeDrive{};
  t.drive.drives['d'] = FakeDrive{};
  t.tk.onPopupMenu = [](const toolkit::PopupRecord&) { return static_cast<int>(MenuItemId::Refresh); };
  t.tk.onDoEvents = [&](int n) {
    if (n == 2) t.g().OnMouseDown(toolkit::kRightButton, 0, 5, 5);
  };
  t.program.forms.Menu().OnRefreshClick();
  EXPECT_EQ(t.tk.popups.size(), 1u);
  EXPECT_EQ(t.tk.menuForm->drives().refreshCount(), 1);
  t.tk.onDoEvents = nullptr;
  t.program.forms.Menu().OnRefreshClick();
  EXPECT_EQ(t.tk.menuForm->drives().refreshCount(), 2);
}

TEST(MenuForm, UnloadHidesItAndClearsTheReference) {
  ShownProgram t;
  t.tk.menuForm->Show();
  t.tk.menuForm->Unload();
  EXPECT_FALSE(t.program.forms.MenuLoaded());
  EXPECT_EQ(t.tk.loadedForms, 1);
  EXPECT_GE(t.tk.doEventsCount, 1) << "pending messages run after the release";
}

TEST(MenuForm, UsingTheReferenceAfterReleaseLoadsAFreshHiddenInstance) {
  ShownProgram t;
  t.tk.menuForm->Unload();
  CommandMenu& fresh = t.program.forms.Menu();
  EXPECT_EQ(t.tk.menuFormsLoaded, 2);
  EXPECT_TRUE(fresh.Form().Loaded());
  EXPECT_FALSE(t.tk.menuForm->visible());
}

TEST(MenuForm, QuitOrCloseAfterTheMenuFormIsGoneDoesNotBringItBack) {
  for (const bool quit : {true, false}) {
    ShownProgram t;
    t.tk.menuForm->Unload();
    quit ? RunQuitCommand(t.program.forms) : t.win().RequestClose();
    EXPECT_EQ(t.tk.menuFormsLoaded, 1) << quit;
    EXPECT_EQ(t.forms().quitting, quit);
  }
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
    t.forms().appFolder = folder;
    t.tk.shellSucceeds = false;  // a start that fails is silent
    RunHelpFileCommand(t.program.forms);
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
