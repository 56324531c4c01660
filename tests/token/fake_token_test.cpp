// Logging in, on a fake token whose flags SoftHSM2 can't be made to show:
// the control checks the token's PIN flags before logging in, logs in
// through a protected authentication path without a PIN, and never tries a
// PIN twice.
#include <fstream>
#include <sstream>
#include <string>

#include <p11-kit/pkcs11.h>

#include <gtest/gtest.h>

#include "error_codes.h"
#include "support/loaded_control.h"
#include "support/token_lab.h"

TEST(FakeTokenTest, ChecksThePinFlagsAndLogsInOnceAtMost) {
    const CK_FLAGS kUsable = CKF_TOKEN_INITIALIZED | CKF_USER_PIN_INITIALIZED | CKF_LOGIN_REQUIRED;
    struct Row {
        const char* name;
        CK_FLAGS flags;
        const char* pinLine; // the configuration's PIN line, or nothing
        HRESULT code;        // InitContainer's result
        const char* logins;  // the C_Login calls the token saw
    };
    // A successful login ends in TOKEN_E_KEY_NOT_FOUND: the token is empty.
    const Row rows[] = {
        {"PIN locked", kUsable | CKF_USER_PIN_LOCKED, "pin-value = 1234\n", TOKEN_E_PIN_LOCKED, ""},
        {"final try", kUsable | CKF_USER_PIN_FINAL_TRY, "pin-value = 1234\n", TOKEN_E_PIN_FINAL_TRY,
         ""},
        {"wrong PIN", kUsable, "pin-value = 9999\n", TOKEN_E_PIN_INCORRECT, "C_Login 1 9999\n"},
        {"right PIN, some tries used", kUsable | CKF_USER_PIN_COUNT_LOW, "pin-value = 1234\n",
         TOKEN_E_KEY_NOT_FOUND, "C_Login 1 1234\n"},
        {"no PIN", kUsable, "", TOKEN_E_NO_PIN, ""},
        {"protected authentication path", kUsable | CKF_PROTECTED_AUTHENTICATION_PATH,
         "pin-value = 1234\n", TOKEN_E_KEY_NOT_FOUND, "C_Login 1 -\n"},
        {"no login required", CKF_TOKEN_INITIALIZED | CKF_USER_PIN_INITIALIZED, "",
         TOKEN_E_KEY_NOT_FOUND, ""},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        TokenLab lab;
        lab.Enter();
        const std::string log = lab.Work() + "/logins";
        setenv("FAKE_P11_LOG", log.c_str(), 1);
        setenv("FAKE_P11_FLAGS", std::to_string(row.flags).c_str(), 1);
        lab.WriteConfig(std::string("module = ") + SIGNCTL_FAKE_PKCS11 +
                        "\n[token pkcs11:token=fake%20token]\n" + row.pinLine);
        ControlPtr control = LoadControl();
        ASSERT_NE(control, nullptr);
        testing::internal::CaptureStderr();
        OLECHAR* identity = nullptr;
        HRESULT found = control->CheckUkeyConnected(&identity);
        int32_t handle = 0;
        HRESULT opened =
            found == S_OK ? control->InitContainer(identity, u"BRIVCont1", &handle) : found;
        testing::internal::GetCapturedStderr();
        ASSERT_EQ(found, S_OK);
        EXPECT_NE(Narrow(identity).find("token=fake%20token"), std::string::npos);
        EXPECT_EQ(opened, row.code);
        std::ifstream in(log);
        std::stringstream logins;
        logins << in.rdbuf();
        EXPECT_EQ(logins.str(), row.logins);
        control.reset();
        unsetenv("FAKE_P11_LOG");
        unsetenv("FAKE_P11_FLAGS");
    }
}
