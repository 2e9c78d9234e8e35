// The program's about box, with the version the build wrote into the resource, and its warning to
// a user without administrator rights (Wine runs everything elevated: the test takes the rights
// away by impersonating a token with the Administrators group disabled).

#include "desk/about.h"
#include "main_window_fixture.h"
#include "platform/program_facts.h"
#include "quorva_version.h"

#include <gtest/gtest.h>
#include <windows.h>

namespace quorva {
namespace {

using AboutTest = MainWindowFixture;

TEST_F(AboutTest, TheSystemMenuItemShowsTheBuiltVersion) {
    const auto form = open();
    wchar_t caption[64] = {};
    GetMenuStringW(GetSystemMenu(form->hwnd(), FALSE), kAboutCommand, caption, 64, MF_BYCOMMAND);
    EXPECT_STREQ(caption, L"À propos de Quorva");

    SendMessageW(form->hwnd(), WM_SYSCOMMAND, kAboutCommand, 0);
    ASSERT_EQ(boxes.boxes.size(), 1u);
    EXPECT_EQ(boxes.boxes[0].owner, form->hwnd());
    EXPECT_EQ(boxes.boxes[0].title, "À propos de Quorva");
    EXPECT_EQ(boxes.boxes[0].text,
              std::string("Quorva, version ") + QUORVA_VERSION +
                  "\r\nSuivi des impressions et cartes de fidélité.\r\nZentor");
    EXPECT_EQ(boxes.boxes[0].flags, static_cast<UINT>(MB_OK | MB_ICONINFORMATION));
}

// Runs the calling thread with the process's token less the Administrators group until destroyed.
class StandardUser {
public:
    StandardUser() {
        HANDLE process = nullptr, restricted = nullptr;
        BYTE administrators[SECURITY_MAX_SID_SIZE] = {};
        DWORD size = sizeof administrators;
        CreateWellKnownSid(WinBuiltinAdministratorsSid, nullptr, administrators, &size);
        SID_AND_ATTRIBUTES disabled{administrators, 0};
        const bool made =
            OpenProcessToken(GetCurrentProcess(), TOKEN_ALL_ACCESS, &process) &&
            CreateRestrictedToken(process, 0, 1, &disabled, 0, nullptr, 0, nullptr, &restricted) &&
            DuplicateToken(restricted, SecurityImpersonation, &token_) &&
            SetThreadToken(nullptr, token_);
        EXPECT_TRUE(made) << GetLastError();
        CloseHandle(restricted);
        CloseHandle(process);
    }
    ~StandardUser() {
        RevertToSelf();
        CloseHandle(token_);
    }

private:
    HANDLE token_ = nullptr;
};

TEST(AdministratorRightsTest, ATokenWithoutTheAdministratorsGroupHasNoRights) {
    ASSERT_TRUE(hasAdministratorRights());
    const StandardUser standardUser;
    EXPECT_FALSE(hasAdministratorRights());
}

} // namespace
} // namespace quorva
