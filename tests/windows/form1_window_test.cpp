#include "platform/windows/window/form1_window.hpp"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <string>
#include <thread>

#include "app/form1.hpp"
#include "platform/windows/base/user_advice.hpp"

namespace platform::windows {
namespace {

using namespace std::chrono_literals;

std::wstring Text(HWND hwnd) {
  std::wstring text(static_cast<std::size_t>(GetWindowTextLengthW(hwnd)) + 1, L'\0');
  text.resize(static_cast<std::size_t>(GetWindowTextW(hwnd, text.data(), static_cast<int>(text.size()))));
  return text;
}

// A control's rectangle in its parent's client coordinates.
RECT ChildRect(HWND child) {
  RECT rect{};
  GetWindowRect(child, &rect);
  MapWindowPoints(nullptr, GetParent(child), reinterpret_cast<POINT*>(&rect), 2);
  return rect;
}

void ExpectRect(const RECT& rect, int left, int top, int width, int height) {
  EXPECT_EQ(rect.left, left);
  EXPECT_EQ(rect.top, top);
  EXPECT_EQ(rect.right - rect.left, width);
  EXPECT_EQ(rect.bottom - rect.top, height);
}

class Form1WindowTest : public ::testing::Test {
 protected:
  WindowsClock clock_;
  Form1Window form_{app::kForm1Layout, clock_};
};

TEST(TwipsToPixels, FifteenTwipsPerPixelAt96DpiRoundedToNearest) {
  EXPECT_EQ(TwipsToPixels(9300, 96), 620);
  EXPECT_EQ(TwipsToPixels(2100, 96), 140);
  EXPECT_EQ(TwipsToPixels(4332, 96), 289);  // 288.8
  EXPECT_EQ(TwipsToPixels(732, 96), 49);    // 48.8
  EXPECT_EQ(TwipsToPixels(9300, 144), 930);
  EXPECT_EQ(TwipsToPixels(4332, 192), 578);  // 577.6
}

TEST_F(Form1WindowTest, TitleAndCaptionsCharacterForCharacter) {
  EXPECT_EQ(Text(form_.hwnd()), L" Ansteuerung Lumatext durch ITE 8705 Systemmonitor  von Telvaro");
  EXPECT_EQ(Text(form_.messen()), L"Messen der CPU Temperatur und der L\u00fcfterdrehzahl");
  EXPECT_EQ(Text(form_.ende()), L"Ende");
}

TEST_F(Form1WindowTest, ClientAreaAndButtonsInTwipsAtTheWindowsDpi) {
  const unsigned dpi = form_.dpi();
  // The run at a raised system dpi names the dpi it set up.
  if (const char* expected = std::getenv("LUMATEXT_EXPECTED_DPI")) {
    ASSERT_EQ(dpi, std::stoul(expected));
  }
  const auto px = [dpi](int twips) { return TwipsToPixels(twips, dpi); };
  RECT client{};
  GetClientRect(form_.hwnd(), &client);
  EXPECT_EQ(client.right, px(9300));
  EXPECT_EQ(client.bottom, px(2100));
  ExpectRect(ChildRect(form_.messen()), px(120), px(480), px(4332), px(732));
  ExpectRect(ChildRect(form_.ende()), px(5760), px(480), px(1332), px(732));
}

TEST_F(Form1WindowTest, ButtonsUseTheMessageFontAndShowTheirWholeCaption) {
  NONCLIENTMETRICSW metrics{};
  metrics.cbSize = sizeof metrics;
  ASSERT_TRUE(SystemParametersInfoW(SPI_GETNONCLIENTMETRICS, sizeof metrics, &metrics, 0));
  for (HWND button : {form_.messen(), form_.ende()}) {
    const auto font = reinterpret_cast<HFONT>(SendMessageW(button, WM_GETFONT, 0, 0));
    ASSERT_NE(font, nullptr);
    LOGFONTW used{};
    GetObjectW(font, sizeof used, &used);
    EXPECT_EQ(std::wstring(used.lfFaceName), std::wstring(metrics.lfMessageFont.lfFaceName));

    // The caption as the button draws it: inside its edges, wrapped at word breaks
    // where the button wraps.
    RECT inner{};
    GetClientRect(button, &inner);
    const int edge = 2 * GetSystemMetrics(SM_CXEDGE) + 2;
    InflateRect(&inner, -edge, -edge);
    const std::wstring caption = Text(button);
    HDC dc = GetDC(button);
    const HGDIOBJ old = SelectObject(dc, font);
    RECT needed = inner;
    const bool wraps = (GetWindowLongW(button, GWL_STYLE) & BS_MULTILINE) != 0;
    DrawTextW(dc, caption.c_str(), -1, &needed, DT_CALCRECT | DT_CENTER | (wraps ? DT_WORDBREAK : DT_SINGLELINE));
    SelectObject(dc, old);
    ReleaseDC(button, dc);
    EXPECT_LE(needed.right - needed.left, inner.right - inner.left) << "caption too wide";
    EXPECT_LE(needed.bottom - needed.top, inner.bottom - inner.top) << "caption too high";
  }
}

TEST_F(Form1WindowTest, TabOrderMessenThenEndeWithTheFocusOnMessen) {
  EXPECT_EQ(GetNextDlgTabItem(form_.hwnd(), form_.messen(), FALSE), form_.ende());
  EXPECT_EQ(GetNextDlgTabItem(form_.hwnd(), form_.ende(), FALSE), form_.messen());
  form_.show_form();
  EXPECT_TRUE(IsWindowVisible(form_.hwnd()));
  EXPECT_EQ(GetFocus(), form_.messen());
}

TEST_F(Form1WindowTest, ClicksAndCloseBecomeEventsInTheOrderMade) {
  EXPECT_EQ(form_.take_event(), std::nullopt);
  PostMessageW(form_.hwnd(), WM_COMMAND, MAKEWPARAM(kEndeId, BN_CLICKED), reinterpret_cast<LPARAM>(form_.ende()));
  PostMessageW(form_.hwnd(), WM_COMMAND, MAKEWPARAM(kMessenId, BN_CLICKED),
               reinterpret_cast<LPARAM>(form_.messen()));
  // Return and Escape in a dialog: no default and no cancel button, so nothing happens.
  PostMessageW(form_.hwnd(), WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), 0);
  PostMessageW(form_.hwnd(), WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED), 0);
  PostMessageW(form_.hwnd(), WM_CLOSE, 0, 0);
  EXPECT_EQ(form_.take_event(), WindowEvent::EndeClick);
  EXPECT_EQ(form_.take_event(), WindowEvent::MessenClick);
  EXPECT_EQ(form_.take_event(), WindowEvent::Unload);
  EXPECT_EQ(form_.take_event(), std::nullopt);
  // Closing is only an event: the window stays until the program ends.
  EXPECT_TRUE(IsWindow(form_.hwnd()));
}

TEST_F(Form1WindowTest, KeyboardMovesAndPressesLikeADialog) {
  form_.show_form();
  ASSERT_EQ(GetFocus(), form_.messen());
  PostMessageW(form_.messen(), WM_KEYDOWN, VK_TAB, 0);
  PostMessageW(form_.messen(), WM_KEYUP, VK_TAB, 0);
  EXPECT_EQ(form_.take_event(), std::nullopt);
  EXPECT_EQ(GetFocus(), form_.ende());
  // Return presses the focused button.
  PostMessageW(form_.ende(), WM_KEYDOWN, VK_RETURN, 0);
  PostMessageW(form_.ende(), WM_KEYUP, VK_RETURN, 0);
  EXPECT_EQ(form_.take_event(), WindowEvent::EndeClick);
  EXPECT_EQ(form_.take_event(), std::nullopt);
}

TEST_F(Form1WindowTest, WaitEventNeverReturnsBeforeTheDeadlineWithoutEvents) {
  for (const auto wait : {0ms, 1ms, 7ms, 30ms}) {
    const iow::TimePoint deadline = clock_.now() + wait;
    form_.wait_event(deadline);
    EXPECT_GE(clock_.now(), deadline) << wait.count() << " ms";
  }
}

// CPU time this thread has used so far.
std::chrono::microseconds ThreadCpuTime() {
  FILETIME created{}, ended{}, kernel{}, user{};
  GetThreadTimes(GetCurrentThread(), &created, &ended, &kernel, &user);
  const auto ticks = [](const FILETIME& time) {
    return (static_cast<long long>(time.dwHighDateTime) << 32) | time.dwLowDateTime;
  };
  return std::chrono::microseconds{(ticks(kernel) + ticks(user)) / 10};
}

TEST_F(Form1WindowTest, WaitingSleepsInsteadOfSpinning) {
  const auto cpu_before = ThreadCpuTime();
  form_.wait_event(clock_.now() + 300ms);
  clock_.sleep_until(clock_.now() + 300ms);
  EXPECT_LT(ThreadCpuTime() - cpu_before, 60ms);
}

TEST_F(Form1WindowTest, WaitEventWakesForAnEventFromElsewhere) {
  const iow::TimePoint start = clock_.now();
  std::thread closer([hwnd = form_.hwnd()] {
    std::this_thread::sleep_for(20ms);
    PostMessageW(hwnd, WM_CLOSE, 0, 0);
  });
  form_.wait_event(start + 20s);
  closer.join();
  EXPECT_LT(clock_.now() - start, 10s);
  EXPECT_EQ(form_.take_event(), WindowEvent::Unload);
}

}  // namespace
}  // namespace platform::windows

namespace platform::windows {
namespace {

// EnumThreadWindows' callback (CALLBACK: a lambda would not be stdcall on 32-bit Windows):
// the first dialog, into the HWND that `found` points to.
BOOL CALLBACK TakeDialog(HWND hwnd, LPARAM found) {
  wchar_t name[16] = {};
  GetClassNameW(hwnd, name, 16);
  if (std::wstring(name) != L"#32770") return TRUE;
  *reinterpret_cast<HWND*>(found) = hwnd;
  return FALSE;
}

// A GUI program's diagnostics reach no one: what to do about a failure must be in the box.
TEST_F(Form1WindowTest, MessageBoxShowsTheAdviceLeftForItOnce) {
  AdviseUser("PawnIO ist nicht installiert.");
  std::wstring shown;
  std::wstring title;
  const DWORD thread = GetCurrentThreadId();
  // Any dialog of this thread is the box, whatever its title: it is closed, never left waiting.
  std::thread reader([&shown, &title, thread] {
    for (int attempt = 0; attempt < 500; ++attempt) {
      HWND box = nullptr;
      EnumThreadWindows(thread, TakeDialog, reinterpret_cast<LPARAM>(&box));
      wchar_t text[512] = {};
      // Found while still being built, the box has no text yet: look again; the last look closes it.
      if (box != nullptr && (GetDlgItemTextW(box, 0xFFFF, text, 512) > 0 || attempt == 499)) {
        shown = text;
        GetWindowTextW(box, text, 512);
        title = text;
        PostMessageW(box, WM_COMMAND, IDOK, 0);
        return;
      }
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
  });
  form_.message_box("Kein Zugriff auf die Ports des Systemmonitors (0x295, 0x296)!", "Error");
  reader.join();
  EXPECT_EQ(title, L"Error");
  EXPECT_EQ(shown, L"Kein Zugriff auf die Ports des Systemmonitors (0x295, 0x296)!\n\nPawnIO ist nicht installiert.");
  EXPECT_TRUE(TakeUserAdvice().empty());
}

}  // namespace
}  // namespace platform::windows
