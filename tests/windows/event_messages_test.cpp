// The event log's texts as Event Viewer renders them: from the message table in the
// program the event source names, found whatever the system's language.

#include <windows.h>

#include <gtest/gtest.h>

#include <string>

#include "platform/windows/service/messages.h"
#include "platform/windows/base/utf16.hpp"

namespace platform::windows {
namespace {

// lumatext.exe, copied beside the tests by the build, loaded as Event Viewer loads it.
class EventMessages : public ::testing::Test {
 protected:
  void SetUp() override {
    module_ = LoadLibraryExW(L"lumatext.exe", nullptr, LOAD_LIBRARY_AS_DATAFILE | LOAD_LIBRARY_AS_IMAGE_RESOURCE);
    ASSERT_NE(module_, nullptr) << "lumatext.exe beside the tests: " << GetLastError();
  }
  void TearDown() override {
    if (module_ != nullptr) FreeLibrary(module_);
  }

  // The text of `id` with %1 = `insert`, in the language FormatMessage finds first, as
  // Event Viewer asks: the table is German only, and must be found on any system.
  std::string Render(DWORD id, const std::wstring& insert = L"") {
    const DWORD_PTR args[] = {reinterpret_cast<DWORD_PTR>(insert.c_str())};
    wchar_t* buffer = nullptr;
    const DWORD length =
        FormatMessageW(FORMAT_MESSAGE_FROM_HMODULE | FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_ARGUMENT_ARRAY,
                       module_, id, 0, reinterpret_cast<wchar_t*>(&buffer), 0,
                       reinterpret_cast<va_list*>(const_cast<DWORD_PTR*>(args)));
    if (length == 0) return "FormatMessage failed: " + std::to_string(GetLastError());
    std::wstring text(buffer, length);
    LocalFree(buffer);
    while (!text.empty() && (text.back() == L'\n' || text.back() == L'\r')) text.pop_back();
    return Narrow(text);
  }

  HMODULE module_ = nullptr;
};

TEST_F(EventMessages, EveryEntryHasItsGermanTextInTheProgram) {
  EXPECT_EQ(Render(MSG_SERVICE_STARTED),
            "Der Dienst lumatext l\u00e4uft: er misst CPU-Temperatur und L\u00fcfterdrehzahl jede Minute und zeigt "
            "sie auf der LED-Laufschrift.");
  EXPECT_EQ(Render(MSG_SERVICE_STOPPING, L"Dienst angehalten"),
            "Der Dienst lumatext soll enden (Dienst angehalten): ein laufender Tastendruck wird zu Ende gef\u00fchrt, "
            "eine offene Texteingabe abgeschlossen.");
  EXPECT_EQ(Render(MSG_SERVICE_STOPPED).substr(0, 33), "Der Dienst lumatext wurde beendet");
  EXPECT_EQ(Render(MSG_SERVICE_FAILED, L"4").substr(0, 46), "Der Dienst lumatext hat mit dem Status 4 geend");
  EXPECT_EQ(Render(MSG_DIAGNOSTIC, L"lumatext: Error: IO-Warrior kann nicht ge\u00f6ffnet werden!"),
            "lumatext: Error: IO-Warrior kann nicht ge\u00f6ffnet werden!");
}

}  // namespace
}  // namespace platform::windows
