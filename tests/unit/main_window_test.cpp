// The main window's handlers: layout pass, dragging and the menu corner, the timer, the
// caption buttons, the keys and the ways the window closes.
#include <gtest/gtest.h>

#include <utility>

#include "ui/commands/about.h"
#include "unit/ui_fixture.h"

namespace tarnvik::testing {
namespace {

using toolkit::PictureId;
using toolkit::WindowState;

// ---- Layout pass ---------------------------------------------------------------------------

struct FontRow {
  int dpi;
  double menuGlyph;
  double reportBox;
};

TEST(LayoutPass, KeepsThePixelSizeAndScalesFontsByDpi) {
  const FontRow rows[] = {{72, 12, 13}, {96, 9, 10}, {120, 7, 8}, {144, 6, 7}, {168, 5, 6}, {192, 4, 5}, {-96, 9, 10}};
  for (const FontRow& row : rows) {
    SCOPED_TRACE(row.dpi);
    TestProgram t;
    t.tk.logPixelsX = row.dpi;
    t.program.ui.OpenWindow().Form().Show();
    auto& w = *t.tk.mainWindow;
    EXPECT_EQ(w.width(), 308);
    EXPECT_EQ(w.height(), 392);
    EXPECT_EQ(w.menuGlyph().FontSize(), row.menuGlyph);
    EXPECT_EQ(w.reportBox().FontSize(), row.reportBox);
    EXPECT_EQ(w.reportBox().geometry(), (toolkit::HeadlessGeometry{11, 35, 286, 346}));
    EXPECT_EQ(w.menuGlyph().geometry(), (toolkit::HeadlessGeometry{0, 0, 24, 24}));
    EXPECT_EQ(w.CloseButton().Left(), 278);
    EXPECT_EQ(w.MinimiseButton().Left(), 256);
    for (auto* image : {&w.CloseButton(), &w.MinimiseButton()}) {
      EXPECT_EQ(image->Top(), 4);
      EXPECT_EQ(image->Width(), 22);
      EXPECT_EQ(image->Height(), 17);
    }
  }
}

TEST(LayoutPass, DoesNothingOnceQuitting) {
  ShownProgram t;
  t.win().reportBox().Move(1, 2, 3, 4);
  t.win().reportBox().SetFontSize(20);
  t.tk.logPixelsX = 144;
  t.ui().Quit();
  t.g().OnResize();
  EXPECT_EQ(t.win().reportBox().geometry(), (toolkit::HeadlessGeometry{1, 2, 3, 4}));
  EXPECT_EQ(t.win().reportBox().FontSize(), 20);
}

TEST(LayoutPass, ADpiOfZeroKeepsTheFontsButAppliesTheGeometry) {
  ShownProgram t;
  t.win().reportBox().Move(1, 2, 3, 4);
  t.tk.logPixelsX = 0;
  t.g().OnResize();
  EXPECT_EQ(t.win().reportBox().FontSize(), 10);
  EXPECT_EQ(t.win().menuGlyph().FontSize(), 9);
  EXPECT_EQ(t.win().reportBox().geometry(), (toolkit::HeadlessGeometry{11, 35, 286, 346}));
}

TEST(LayoutPass, RunningTwiceEqualsRunningOnce) {
  ShownProgram t;
  t.tk.logPixelsX = 120;
  t.g().OnResize();
  const double text = t.win().reportBox().FontSize();
  const auto geometry = t.win().reportBox().geometry();
  t.g().OnResize();
  EXPECT_EQ(t.win().reportBox().FontSize(), text);
  EXPECT_EQ(t.win().reportBox().geometry(), geometry);
  EXPECT_EQ(t.win().width(), 308);
}

TEST(LayoutPass, RunsAgainFullyWhenRestoredFromMinimised) {
  ShownProgram t;
  t.win().SetWindowState(WindowState::Minimized);
  t.tk.logPixelsX = 192;
  t.win().SetWindowState(WindowState::Normal);
  EXPECT_EQ(t.win().reportBox().FontSize(), 5);
  EXPECT_EQ(t.win().menuGlyph().FontSize(), 4);
  EXPECT_EQ(t.win().width(), 308);
}

// ---- Dragging and the menu corner ------------------------------------------------------------

/// How far the window follows a left-button move 10 pixels right of (x, y): 10 while a drag
/// that began at (x, y) is on, 0 when there is none.
double DragProbe(ShownProgram& t, float x, float y) {
  const double left = t.win().Left();
  t.g().OnMouseMove(toolkit::kLeftButton, 0, x + 10, y);
  return t.win().Left() - left;
}

TEST(Dragging, PressInTheTitleBandStartsADrag) {
  struct Row {
    int16_t button;
    float x, y;
    bool drags;
  } rows[] = {{1, 150, 27, true}, {1, 150, 28, false}, {1, 150, 0, true}, {2, 150, 10, false}, {4, 150, 10, false},
              {3, 150, 10, false}};
  for (const Row& row : rows) {
    SCOPED_TRACE(::testing::Message() << row.button << " at " << row.x << "," << row.y);
    ShownProgram t;
    if (!row.drags) t.g().OnMouseDown(1, 0, 150, 10);  // every press decides afresh
    t.g().OnMouseDown(row.button, 0, row.x, row.y);
    EXPECT_EQ(DragProbe(t, row.x, row.y), row.drags ? 10 : 0);
  }
}

TEST(Dragging, RightPressInTheCornerOpensTheMenu) {
  struct Row {
    float x, y;
    WindowState state;
    bool opens;
  } rows[] = {{26, 10, WindowState::Normal, true},   {27, 27, WindowState::Normal, true},
              {28, 10, WindowState::Normal, false},  {10, 28, WindowState::Normal, false},
              {0, 0, WindowState::Minimized, false}, {0, 0, WindowState::Maximized, false}};
  for (const Row& row : rows) {
    SCOPED_TRACE(::testing::Message() << row.x << "," << row.y << " state " << static_cast<int>(row.state));
    ShownProgram t;
    t.g().OnMouseDown(1, 0, 100, 10);
    t.win().SetWindowState(row.state);
    t.g().OnMouseDown(toolkit::kRightButton, 0, row.x, row.y);
    ASSERT_EQ(t.tk.popups.size(), row.opens ? 1u : 0u);
    if (row.opens) {
      EXPECT_EQ(t.tk.popups[0].defaultItem, 4);
      EXPECT_EQ(t.tk.popups[0].items[4].caption, "Обновить / Refresh...");
      EXPECT_EQ(DragProbe(t, 100, 10), 10) << "opening the menu leaves the drag state alone";
    } else {
      t.win().SetWindowState(WindowState::Normal);
      EXPECT_EQ(DragProbe(t, 100, 10), 0);
    }
  }
}

TEST(Dragging, TheWindowFollowsTheCursorByItsOffset) {
  ShownProgram t;
  t.win().SetLeft(200);
  t.win().SetTop(100);
  t.g().OnMouseDown(1, 0, 100, 10);
  t.g().OnMouseMove(1, 0, 100, 10);  // no movement relative to the window
  EXPECT_EQ(t.win().Left(), 200);
  EXPECT_EQ(t.win().Top(), 100);
  t.g().OnMouseMove(1, 0, 130, 25);
  EXPECT_EQ(t.win().Left(), 230);
  EXPECT_EQ(t.win().Top(), 115);
  t.g().OnMouseMove(1, 0, 90, 0);  // off the screen is allowed: no bounds, no snapping
  EXPECT_EQ(t.win().Left(), 220);
  EXPECT_EQ(t.win().Top(), 105);
  t.win().SetLeft(-5000);
  t.g().OnMouseMove(1, 0, 101, 10);
  EXPECT_EQ(t.win().Left(), -4999);
}

TEST(Dragging, EndsOnLeftReleaseOtherButtonsOrAStateChange) {
  struct Row {
    const char* what;
    void (*act)(ShownProgram&);
    bool stillDragging;
  } rows[] = {
      {"left release", [](ShownProgram& t) { t.g().OnMouseUp(1, 0, 5, 5); }, false},
      {"right release", [](ShownProgram& t) { t.g().OnMouseUp(2, 0, 5, 5); }, true},
      {"right press away from the corner", [](ShownProgram& t) { t.g().OnMouseDown(2, 0, 200, 100); }, false},
      {"move with both buttons", [](ShownProgram& t) { t.g().OnMouseMove(3, 0, 130, 20); }, false},
      {"move with no button", [](ShownProgram& t) { t.g().OnMouseMove(0, 0, 130, 20); }, false},
      {"move while minimised",
       [](ShownProgram& t) {
         t.win().SetWindowState(WindowState::Minimized);
         t.g().OnMouseMove(1, 0, 130, 20);
       },
       false},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.what);
    ShownProgram t;
    t.win().SetLeft(200);
    t.g().OnMouseDown(1, 0, 100, 10);
    row.act(t);
    EXPECT_EQ(t.win().Left(), 200);
    t.win().SetWindowState(WindowState::Normal);
    EXPECT_EQ(DragProbe(t, 100, 10), row.stillDragging ? 10 : 0);
  }
}

TEST(Dragging, MouseEventsChangeNothingOnceQuitting) {
  ShownProgram t;
  t.g().OnMouseDown(1, 0, 100, 10);
  t.g().OnCloseButtonMouseMove(0, 0, 3, 3);
  t.ui().Quit();
  t.g().OnMouseMove(1, 0, 150, 20);
  t.g().OnMouseUp(1, 0, 150, 20);
  t.g().OnMouseDown(2, 0, 5, 5);
  EXPECT_EQ(t.win().Left(), 0);
  EXPECT_EQ(t.close(), PictureId::CloseHot) << "moves do not reset the buttons once quitting";
  EXPECT_TRUE(t.tk.popups.empty());
}

TEST(Dragging, AMoveOverTheSurfaceShowsBothButtonsNormal) {
  ShownProgram t;
  t.g().OnMinimiseButtonMouseMove(0, 0, 1, 1);
  ASSERT_EQ(t.minimise(), PictureId::MinimiseHot);
  t.g().OnMouseMove(0, 0, 150, 200);
  EXPECT_EQ(t.minimise(), PictureId::MinimiseNormal);
  EXPECT_EQ(t.close(), PictureId::CloseNormal);
}

// ---- Window timer --------------------------------------------------------------------------

TEST(WindowTimer, FinishesAQuitWithinOneTick) {
  ShownProgram t;
  int16_t escape = 27;
  t.g().OnReportBoxKeyDown(escape, 0);
  EXPECT_FALSE(t.win().visible());
  EXPECT_EQ(t.tk.loadedForms, 1);
  auto& window = t.win();
  EXPECT_TRUE(window.Tick());
  EXPECT_FALSE(window.windowTimer().Enabled());
  EXPECT_EQ(window.windowTimer().Interval(), 0);
  EXPECT_EQ(t.tk.loadedForms, 0);
  EXPECT_FALSE(window.Loaded());
}

TEST(WindowTimer, FinishesAQuitEvenWhenMinimised) {
  ShownProgram t;
  t.win().SetWindowState(WindowState::Minimized);
  t.ui().Quit();
  t.win().Tick();
  EXPECT_EQ(t.tk.loadedForms, 0);
}

TEST(WindowTimer, ChangesNothingWhileAnUnloadIsUnderWay) {
  ShownProgram t;
  t.g().OnCloseButtonMouseMove(0, 0, 1, 1);
  t.cursor.x = -100;
  int16_t cancel = 0;
  t.g().OnQueryUnload(cancel, toolkit::kUnloadFromCode);
  t.g().OnWindowTimer();
  EXPECT_EQ(t.close(), PictureId::CloseHot);
  EXPECT_EQ(t.tk.loadedForms, 1);
}

TEST(WindowTimer, ShowsNormalButtonsWhileMinimisedWhereverTheCursorIs) {
  ShownProgram t;
  t.win().SetLeft(100);
  t.win().SetTop(50);
  t.g().OnCloseButtonMouseMove(0, 0, 1, 1);
  t.win().SetWindowState(WindowState::Minimized);
  t.cursor.x = 390;  // on the close button's place
  t.cursor.y = 60;
  t.g().OnWindowTimer();
  EXPECT_EQ(t.close(), PictureId::CloseNormal);
  EXPECT_EQ(t.minimise(), PictureId::MinimiseNormal);
}

TEST(WindowTimer, ButtonRectanglesIncludeTheirEdges) {
  struct Row {
    double left, top;
    int32_t x, y;
    bool closeStaysHot;
  } rows[] = {
      {100, 50, 378, 54, true},      // top-left pixel
      {100, 50, 399, 70, true},      // bottom-right pixel: X0 + 299, Y0 + 20
      {100, 50, 400, 60, false},     // one column to the right
      {100, 50, 390, 71, false},     // one row below
      {100, 50, 377, 60, false},     // on the minimise button
      {100, 50, 390, 53, false},     // above
      {100.5, 50, 378, 60, false},   // fractional edge 378.5
      {100.5, 50, 379, 60, true},
      {100.5, 50, 399, 60, true},    // right edge 399.5
      {100.5, 50, 400, 60, false},
      {100, 49.75, 390, 70, false},  // bottom edge 49.75 + 4 + 17 - 1 = 69.75
      {100, 49.75, 390, 69, true},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(::testing::Message() << row.left << "," << row.top << " cursor " << row.x << "," << row.y);
    ShownProgram t;
    t.win().SetLeft(row.left);
    t.win().SetTop(row.top);
    t.g().OnCloseButtonMouseMove(0, 0, 1, 1);
    t.cursor.x = row.x;
    t.cursor.y = row.y;
    t.g().OnWindowTimer();
    EXPECT_EQ(t.close(), row.closeStaysHot ? PictureId::CloseHot : PictureId::CloseNormal);
  }
}

TEST(WindowTimer, ResetsTheMinimiseButtonWhenTheCursorLeavesIt) {
  ShownProgram t;
  t.win().SetLeft(10);
  t.win().SetTop(10);
  t.g().OnMinimiseButtonMouseMove(0, 0, 1, 1);
  t.cursor.x = 10 + 277;  // right-most column of the minimise button
  t.cursor.y = 14;
  t.g().OnWindowTimer();
  EXPECT_EQ(t.minimise(), PictureId::MinimiseHot);
  t.cursor.x = 10 + 300;  // straight out of the window
  t.g().OnWindowTimer();
  EXPECT_EQ(t.minimise(), PictureId::MinimiseNormal);
}

TEST(WindowTimer, AFailedCursorReadKeepsTheLastPosition) {
  ShownProgram t;
  t.cursor.x = 290;
  t.cursor.y = 10;
  t.g().OnWindowTimer();
  t.g().OnCloseButtonMouseMove(0, 0, 1, 1);
  t.cursor.ok = false;
  t.cursor.x = 1000;
  t.g().OnWindowTimer();
  EXPECT_EQ(t.close(), PictureId::CloseHot) << "still at 290, over the close button";
}

// ---- Caption buttons and the menu glyph ----------------------------------------------------

TEST(CaptionButtons, AtMostOneButtonIsLit) {
  ShownProgram t;
  t.g().OnCloseButtonMouseMove(0, 0, 1, 1);
  EXPECT_EQ(t.close(), PictureId::CloseHot);
  EXPECT_EQ(t.minimise(), PictureId::MinimiseNormal);
  t.g().OnMinimiseButtonMouseMove(0, 0, 1, 1);
  EXPECT_EQ(t.close(), PictureId::CloseNormal);
  EXPECT_EQ(t.minimise(), PictureId::MinimiseHot);
  t.g().OnCloseButtonMouseMove(1, 0, 1, 1);
  EXPECT_EQ(t.close(), PictureId::CloseHot);
  EXPECT_EQ(t.minimise(), PictureId::MinimiseNormal);
  t.g().OnMenuGlyphMouseMove(0, 0, 1, 1);
  EXPECT_EQ(t.close(), PictureId::CloseNormal);
  EXPECT_EQ(t.minimise(), PictureId::MinimiseNormal);
}

TEST(CaptionButtons, LeftPressOnCloseQuitsAtOnce) {
  ShownProgram t;
  t.g().OnCloseButtonMouseMove(0, 0, 1, 1);
  t.g().OnCloseButtonMouseDown(1, 0, 1, 1);
  EXPECT_TRUE(t.ui().Quitting());
  EXPECT_FALSE(t.win().visible());
  EXPECT_EQ(t.close(), PictureId::CloseNormal);
  t.win().Tick();
  EXPECT_EQ(t.tk.loadedForms, 0);
}

TEST(CaptionButtons, OtherButtonsOnlyLeaveTheHotPicture) {
  for (int16_t button : {int16_t{2}, int16_t{4}}) {
    ShownProgram t;
    t.g().OnCloseButtonMouseMove(0, 0, 1, 1);
    t.g().OnCloseButtonMouseDown(button, 0, 1, 1);
    t.g().OnMinimiseButtonMouseDown(button, 0, 1, 1);
    EXPECT_FALSE(t.ui().Quitting());
    EXPECT_EQ(t.win().GetWindowState(), WindowState::Normal);
    EXPECT_EQ(t.close(), PictureId::CloseHot);
  }
}

TEST(CaptionButtons, LeftPressOnMinimiseMinimisesAndRepaints) {
  ShownProgram t;
  t.g().OnMinimiseButtonMouseMove(0, 0, 1, 1);
  t.g().OnMinimiseButtonMouseDown(1, 0, 1, 1);
  EXPECT_EQ(t.win().GetWindowState(), WindowState::Minimized);
  EXPECT_EQ(t.win().refreshCount(), 1);
  EXPECT_EQ(t.minimise(), PictureId::MinimiseNormal);
  t.win().SetWindowState(WindowState::Normal);
  EXPECT_EQ(t.minimise(), PictureId::MinimiseNormal);
  EXPECT_EQ(t.close(), PictureId::CloseNormal);
  EXPECT_FALSE(t.ui().Quitting());
}

TEST(CaptionButtons, AnyPressOnTheGlyphOpensTheMenuOnlyInTheNormalState) {
  for (int16_t button : {int16_t{1}, int16_t{2}, int16_t{4}}) {
    ShownProgram t;
    t.g().OnMenuGlyphMouseDown(button, 0, 20, 20);
    EXPECT_EQ(t.tk.popups.size(), 1u);
    EXPECT_EQ(DragProbe(t, 20, 20), 0) << "the glyph never starts a drag";
    t.win().SetWindowState(WindowState::Minimized);
    t.g().OnMenuGlyphMouseDown(button, 0, 20, 20);
    t.win().SetWindowState(WindowState::Maximized);
    t.g().OnMenuGlyphMouseDown(button, 0, 20, 20);
    EXPECT_EQ(t.tk.popups.size(), 1u);
  }
}

TEST(CaptionButtons, AllInertOnceQuitting) {
  ShownProgram t;
  t.g().OnMinimiseButtonMouseMove(0, 0, 1, 1);
  t.ui().Quit();
  t.g().OnCloseButtonMouseMove(0, 0, 1, 1);
  t.g().OnMenuGlyphMouseMove(0, 0, 1, 1);
  t.g().OnMinimiseButtonMouseDown(1, 0, 1, 1);
  t.g().OnMenuGlyphMouseDown(1, 0, 1, 1);
  EXPECT_EQ(t.minimise(), PictureId::MinimiseHot);
  EXPECT_EQ(t.close(), PictureId::CloseNormal);
  EXPECT_EQ(t.win().GetWindowState(), WindowState::Normal);
  EXPECT_TRUE(t.tk.popups.empty());
}

// ---- Keyboard commands ---------------------------------------------------------------------

struct KeyRow {
  int16_t key;
  int16_t shift;
  int refreshes;
  int aboutBoxes;
  int helpStarts;
  bool quits;
};

TEST(KeyboardCommands, EachKeyRunsItsCommandWhateverTheModifiers) {
  const KeyRow rows[] = {
      {116, 0, 1, 0, 0, false}, {116, 1, 1, 0, 0, false}, {116, 2, 1, 0, 0, false}, {116, 4, 1, 0, 0, false},
      {112, 0, 0, 1, 0, false}, {112, 2, 0, 1, 0, false}, {113, 0, 0, 0, 1, false}, {113, 1, 0, 0, 1, false},
      {27, 0, 0, 0, 0, true},   {27, 4, 0, 0, 0, true},   {114, 0, 0, 0, 0, false}, {115, 0, 0, 0, 0, false},
      {13, 0, 0, 0, 0, false},  {65, 0, 0, 0, 0, false},  {38, 0, 0, 0, 0, false},
  };
  for (const KeyRow& row : rows) {
    SCOPED_TRACE(::testing::Message() << "key " << row.key << " shift " << row.shift);
    ShownProgram t;
    t.drive.logicalDrives = LetterMask("c");
    t.drive.drives['c'] = FakeDrive{};
    const int refreshesBefore = t.Builds();
    EXPECT_EQ(t.win().PressKey(row.key, row.shift), row.key) << "the key goes on to the box unchanged";
    EXPECT_EQ(t.Builds() - refreshesBefore, row.refreshes);
    EXPECT_EQ(t.tk.messageBoxes.size(), static_cast<std::size_t>(row.aboutBoxes));
    EXPECT_EQ(t.tk.shellCalls.size(), static_cast<std::size_t>(row.helpStarts));
    EXPECT_EQ(t.ui().Quitting(), row.quits);
    EXPECT_EQ(t.win().visible(), !row.quits);
  }
}

TEST(KeyboardCommands, F1ShowsTheAboutBoxAndF2StartsNotepadOnTheHelpFile) {
  ShownProgram t;
  t.ui().appFolder = "C:\\Program Files\\Tarnvik\\";
  t.win().PressKey(112);
  t.win().PressKey(113);
  ASSERT_EQ(t.tk.messageBoxes.size(), 1u);
  EXPECT_EQ(t.tk.messageBoxes[0].text, AboutText());
  EXPECT_EQ(t.tk.messageBoxes[0].title, " QELM Tarnvik  About / Info...");
  EXPECT_EQ(t.tk.messageBoxes[0].style, 32);
  ASSERT_EQ(t.tk.shellCalls.size(), 1u);
  EXPECT_EQ(t.tk.shellCalls[0].first, "notepad.exe \"C:\\Program Files\\Tarnvik\\ReadMe.txt\"");
  EXPECT_EQ(t.tk.shellCalls[0].second, 1);
}

TEST(KeyboardCommands, NoKeyActsAfterEscape) {
  ShownProgram t;
  t.win().PressKey(27);
  for (int16_t key : {int16_t{116}, int16_t{112}, int16_t{113}, int16_t{27}}) t.g().OnReportBoxKeyDown(key, 0);
  EXPECT_TRUE(t.tk.messageBoxes.empty());
  EXPECT_TRUE(t.tk.shellCalls.empty());
  EXPECT_EQ(t.Builds(), 0);
}

TEST(KeyboardCommands, F5IsDroppedWhileABuildRunsAndAcceptedAfterIt) {
  ShownProgram t;
  t.drive.logicalDrives = LetterMask("cde");
  for (char c : {'c', 'd', 'e'}) t.drive.drives[c] = FakeDrive{};
  int nested = 0;
  t.tk.onDoEvents = [&](int) {
    // Auto-repeat of a held F5 arriving inside the build's yields.
    if (nested++ < 3) t.win().PressKey(116);
  };
  t.win().PressKey(116);
  EXPECT_EQ(t.Builds(), 1);
  EXPECT_TRUE(t.ui().ReportIdle());
  t.tk.onDoEvents = nullptr;
  t.win().PressKey(116);
  EXPECT_EQ(t.Builds(), 2);
}

TEST(KeyboardCommands, TheBuildCarriesOnAfterTheAboutBoxOpenedInsideIt) {
  ShownProgram t;
  t.drive.logicalDrives = LetterMask("cd");
  t.drive.drives['c'] = FakeDrive{};
  t.drive.drives['d'] = FakeDrive{};
  t.tk.onDoEvents = [&](int n) {
    if (n == 2) t.win().PressKey(112);
  };
  t.win().PressKey(116);
  EXPECT_EQ(t.tk.messageBoxes.size(), 1u);
  EXPECT_NE(t.win().reportBox().Text().find(" Drives: \t  2  (0)\r\n"), std::string::npos);
}

// ---- Drives that come and go -----------------------------------------------------------------

struct NoticeStep {  // a notice (at the next build's first yield, `ms` passing there, when inBuild), a wait or a key
  enum Kind { Notice, Wait, F5, Escape, Minimise, Restore, Letters, Menu, About, AboutMenu } kind;
  toolkit::DeviceNotice notice{};
  int ms = 0;
  bool inBuild = false;
  Kind inside = Wait;  // Menu, About: done as the loop opens, which then stays open for `ms`;
                       // AboutMenu: the About box, from which the menu opens and is dismissed
};
NoticeStep N(uint32_t event, uint32_t mask, uint16_t flags = 0, uint32_t type = toolkit::kDeviceTypeVolume) {
  return {NoticeStep::Notice, {event, type, mask, flags}};
}
NoticeStep InBuild(NoticeStep step, int ms = 0) { return {step.kind, step.notice, ms, true}; }
NoticeStep Wait(int ms) { return {NoticeStep::Wait, {}, ms}; }
NoticeStep L(uint32_t mask) { return {NoticeStep::Letters, {0, 0, mask}}; }  // GetLogicalDrives answers `mask`, no notice
NoticeStep Open(NoticeStep::Kind loop, NoticeStep inside, int ms) { return {loop, inside.notice, ms, false, inside.kind}; }
constexpr uint32_t kIn = toolkit::kDeviceArrival, kOut = toolkit::kDeviceRemoveComplete, kD = 1u << 3;

TEST(DriveNotices, RebuildOnceAfterAQuietWaitAndOnlyForVolumesComingOrGoing) {
  using S = NoticeStep;
  const struct Row {
    const char* what;
    std::vector<NoticeStep> steps;
    std::vector<int64_t> buildsAt;  // ms on the toolkit's clock at which each build began
  } rows[] = {
      {"arrival, removal, medium, network drive", {N(kIn, kD), Wait(400), N(kOut, kD), Wait(400), N(kIn, kD, 1),
                                                   Wait(400), N(kIn, 1u << 25, 2), Wait(1000)}, {200, 600, 1000, 1400}},
      {"burst", {N(kIn, kD), Wait(100), N(kIn, 16), Wait(150), N(kIn, 32), Wait(1000)}, {450}},
      {"during an F5 build", {InBuild(N(kIn, kD)), {S::F5}, Wait(1000)}, {0, 200}},
      {"wait over inside the build", {InBuild(N(kOut, kD), 500), {S::F5}, Wait(1000)}, {0, 700}},
      {"during a rebuild", {N(kIn, kD), InBuild(N(kOut, kD)), Wait(1000)}, {200, 400}},
      {"other kinds", {N(toolkit::kDeviceQueryRemove, kD), N(0x8003, kD), N(kIn, 0), N(kIn, 1u << 26), N(kIn, 0, 0, 3),
                       N(kIn, 0, 0, 5), N(kOut, 0, 0, 5), N(7, 0, 0, 0), Wait(1000)}, {}},
      {"quit", {N(kIn, kD), Wait(100), {S::Escape}, N(kOut, kD), Wait(1000)}, {}},
      {"minimised, then restored", {{S::Minimise}, N(kIn, kD), Wait(1000), {S::Restore}, Wait(1000)}, {1200}},
      {"restored within the wait", {{S::Minimise}, N(kIn, kD), Wait(100), {S::Restore}, Wait(1000)}, {200}},
      {"restored with nothing waiting", {{S::Minimise}, Wait(100), {S::Restore}, Wait(1000)}, {}},
      {"quit just before the wait is over", {N(kIn, kD), Wait(190), {S::Escape}, Wait(1000)}, {}},
      {"wait still running when the build ends", {InBuild(N(kIn, kD), 100), {S::F5}, Wait(1000)}, {0, 200}},
      {"letters, no notice", {L(4 | kD), Wait(400), L(4), Wait(1000)}, {324, 699}},  // tick at 125, wait counted from its ms
      {"letters, F5 first", {L(kD), {S::F5}, Wait(1000)}, {0}},
      {"letters, burst", {L(kD), Wait(130), L(kD | 16), Wait(130), L(kD | 48), Wait(1000)}, {574}},
      // A failed read (0) is no mask: not a change, nor the mask a later read is compared with.
      {"letters, failed read between equal masks", {L(4), {S::F5}, Wait(130), L(0), Wait(130), {S::F5}, Wait(130),
                                                    L(4), Wait(1000)}, {0, 260}},
      {"letters, failed read, then a change", {L(4), {S::F5}, Wait(130), L(0), Wait(530), L(4 | kD), Wait(1000)}, {0, 949}},
      {"letters, menu open", {Open(S::Menu, L(kD), 1000), Wait(1000)}, {1200}},
      {"notice, About box open", {Open(S::About, N(kIn, kD), 1000), Wait(1000)}, {1200}},
      {"notice, menu opened from the About box", {Open(S::AboutMenu, N(kIn, kD), 1000), Wait(1000)}, {1200}},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.what);
    ShownProgram t;
    std::vector<int64_t> builds;
    const auto look = [&](int64_t began) {
      while (static_cast<int>(builds.size()) < t.Builds()) builds.push_back(began);
    };
    const auto act = [&t](S::Kind kind, const toolkit::DeviceNotice& notice) {
      if (kind == S::Notice) t.win().DeviceChange(notice);
      if (kind == S::Letters) t.drive.logicalDrives = notice.unitMask;
    };
    for (const NoticeStep& step : row.steps) {
      const int64_t before = t.tk.nowMs;  // a build may let time pass inside it
      const bool modal = step.kind == S::Menu || step.kind == S::About || step.kind == S::AboutMenu;
      if (modal) {
        const auto open = [&t, &act, step] {
          act(step.inside, step.notice);
          if (step.kind == S::AboutMenu) t.tk.onPopupMenu = nullptr, t.g().OnMenuGlyphMouseDown(1, 0, 0, 0);
          t.win().Advance(step.ms);
        };
        t.tk.onPopupMenu = [open](const toolkit::PopupRecord&) { return open(), -1; };
        t.tk.onMsgBox = [open](const toolkit::MessageBoxRecord&) { open(); };
        step.kind == S::Menu ? t.g().OnMenuGlyphMouseDown(1, 0, 0, 0) : void(t.win().PressKey(112));
      } else if (step.inBuild) {
        t.tk.onDoEvents = [&t, step, fired = false](int) mutable {
          if (!std::exchange(fired, true)) t.win().DeviceChange(step.notice), t.win().Advance(step.ms);
        };
      } else if (step.kind == S::Notice || step.kind == S::Letters) {
        act(step.kind, step.notice);
      } else if (step.kind == S::F5 || step.kind == S::Escape) {
        t.win().PressKey(step.kind == S::F5 ? 116 : 27);
      } else if (step.kind != S::Wait) {
        t.win().SetWindowState(step.kind == S::Minimise ? WindowState::Minimized : WindowState::Normal);
      }
      for (int ms = 0; ms < step.ms && !step.inBuild && !modal && t.tk.mainWindow != nullptr; ++ms, look(t.tk.nowMs))
        t.win().Advance(1);
      look(before);
    }
    EXPECT_EQ(builds, row.buildsAt);
  }
}

// ---- Closing -------------------------------------------------------------------------------

TEST(Closing, ACloseRequestFromOutsideUnloadsBothFormsWithoutQuitting) {
  ShownProgram t;
  t.win().RequestClose();
  EXPECT_FALSE(t.ui().Quitting());
  EXPECT_EQ(t.tk.loadedForms, 0);
  EXPECT_FALSE(t.win().Loaded());
}

TEST(Closing, UnloadStopsTheTimerAndHidesBothFormsFirst) {
  ShownProgram t;
  auto& window = t.win();
  int16_t cancel = 0;
  t.g().OnQueryUnload(cancel, toolkit::kUnloadFromWindows);
  EXPECT_EQ(cancel, 0);
  EXPECT_FALSE(window.visible());
  EXPECT_FALSE(window.windowTimer().Enabled());
  EXPECT_EQ(window.windowTimer().Interval(), 0);
  EXPECT_EQ(t.tk.loadedForms, 1) << "the query alone unloads nothing";
}

TEST(Closing, ACloseFromOutsideDuringABuildOrAModalLoopTouchesNoWindow) {
  // 1 to 6: at that yield of an F5 build; 7: inside the About box; 8: inside the pop-up menu,
  // which then answers Quit.
  for (int at = 1; at <= 8; ++at) {
    SCOPED_TRACE(at);
    ShownProgram t;
    t.drive.logicalDrives = LetterMask("cdefg");
    for (char c : {'c', 'd', 'e', 'f', 'g'}) t.drive.drives[c] = FakeDrive{};
    const int mainWindows = t.tk.mainWindowsLoaded;
    const auto close = [&t] {
      if (t.tk.mainWindow != nullptr) t.tk.mainWindow->RequestClose();
    };
    t.tk.onDoEvents = [&](int n) {
      if (n == at && at <= 6) close();
    };
    t.tk.onMsgBox = [&](const toolkit::MessageBoxRecord&) { close(); };
    t.tk.onPopupMenu = [&](const toolkit::PopupRecord&) { return close(), static_cast<int>(CommandId::Quit); };
    int16_t key = at == 7 ? 112 : 116;
    at == 8 ? t.g().OnMenuGlyphMouseDown(1, 0, 0, 0) : t.g().OnReportBoxKeyDown(key, 0);
    EXPECT_EQ(t.tk.loadedForms, 0);
    EXPECT_EQ(t.tk.mainWindowsLoaded, mainWindows) << "no window is brought back";
    EXPECT_TRUE(t.ui().ReportIdle());
  }
}

}  // namespace
}  // namespace tarnvik::testing
