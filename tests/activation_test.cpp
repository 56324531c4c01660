// Creating the control on POSIX: how registrations are found and what each
// way of failing gives.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "control/create_control.h"
#include "support/work_folder.h"

namespace {

const char kClsid[] = "{589F6929-9B41-4844-86FF-F61F0B35617C}";

void Register(const std::string& configRoot, const std::string& firstLine) {
    const std::string folder = configRoot + "/signctl/inproc";
    ASSERT_EQ(std::system(("mkdir -p '" + folder + "'").c_str()), 0);
    WriteBytes(folder + "/" + kClsid, firstLine + "\nanything after the first line\n");
}

struct ActivationCase {
    const char* name;
    const char* user;   // the user's registration line, or null for none
    const char* system; // the machine's, or null
    bool xdgRelative;   // XDG_CONFIG_HOME holds a relative path
    DWORD context;
    HRESULT expected;
};

// Stands for module paths: "@" is the scripted control, "@none" a missing
// file, "@noentry" a library without DllGetClassObject, "@relative" the
// scripted control named relative to the registration file's folder.
std::string ModuleLine(const std::string& line, const std::string& work) {
    if (line == "@")
        return SIGNCTL_SCRIPTED_MODULE;
    if (line == "@none")
        return work + "/no-such-module.so";
    if (line == "@noentry")
        return SIGNCTL_LIBRARY_WITHOUT_ENTRY;
    if (line == "@relative")
        return "../../../modules/control.so";
    return line;
}

} // namespace

TEST(Activation, FindsAndCreatesTheControl) {
    const ActivationCase cases[] = {
        {"no registration", nullptr, nullptr, false, CLSCTX_INPROC_SERVER, REGDB_E_CLASSNOTREG},
        {"user's registration", "@", nullptr, false, CLSCTX_INPROC_SERVER, S_OK},
        {"machine's registration", nullptr, "@", false, CLSCTX_INPROC_SERVER, S_OK},
        {"user's wins over machine's", "@", "@none", false, CLSCTX_INPROC_SERVER, S_OK},
        {"user's wins even when broken", "@none", "@", false, CLSCTX_INPROC_SERVER,
         CO_E_ERRORINDLL},
        {"relative XDG_CONFIG_HOME is ignored", "@", nullptr, true, CLSCTX_INPROC_SERVER, S_OK},
        {"module missing", "@none", nullptr, false, CLSCTX_INPROC_SERVER, CO_E_ERRORINDLL},
        {"module without DllGetClassObject", "@noentry", nullptr, false, CLSCTX_INPROC_SERVER,
         CO_E_ERRORINDLL},
        {"empty first line", "", nullptr, false, CLSCTX_INPROC_SERVER, CO_E_ERRORINDLL},
        {"module path relative to the registration", "@relative", nullptr, false,
         CLSCTX_INPROC_SERVER, S_OK},
        {"not in process", "@", nullptr, false, 0x4, E_INVALIDARG},
    };
    const char* savedSystem = SystemConfigurationFolder;
    for (const ActivationCase& c : cases) {
        SCOPED_TRACE(c.name);
        WorkFolder work;
        const std::string home = work / "home";
        const std::string xdg = work / "xdg";
        const std::string system = work / "etc";
        ASSERT_EQ(mkdir(home.c_str(), 0700), 0);
        ASSERT_EQ(mkdir((work / "modules").c_str(), 0700), 0);
        ASSERT_EQ(symlink(SIGNCTL_SCRIPTED_MODULE, (work / "modules/control.so").c_str()), 0);
        // With a relative XDG_CONFIG_HOME the user's folder is under HOME.
        const std::string userRoot = c.xdgRelative ? home + "/.config" : xdg;
        if (c.user != nullptr)
            Register(userRoot, ModuleLine(c.user, work.path()));
        if (c.system != nullptr)
            Register(system, ModuleLine(c.system, work.path()));
        setenv("HOME", home.c_str(), 1);
        setenv("XDG_CONFIG_HOME", c.xdgRelative ? "relative/xdg" : xdg.c_str(), 1);
        unsetenv("SIGNCTL_SCRIPT");
        unsetenv("SIGNCTL_LOG");
        SystemConfigurationFolder = system.c_str();

        void* object = reinterpret_cast<void*>(1);
        HRESULT hr =
            CoCreateInstance(CLSID_SignControl, nullptr, c.context, IID_ISignControl, &object);
        EXPECT_EQ(static_cast<uint32_t>(hr), static_cast<uint32_t>(c.expected));
        if (SUCCEEDED(hr)) {
            ASSERT_NE(object, nullptr);
            auto* control = static_cast<ISignControl*>(object);
            EXPECT_EQ(control->CheckInstalled(), 0);
            EXPECT_EQ(control->Release(), 0u);
        } else {
            EXPECT_EQ(object, nullptr);
        }
        SystemConfigurationFolder = savedSystem;
    }
}

TEST(Activation, CreateSignControlHoldsOnlyWhatSucceeded) {
    WorkFolder work;
    setenv("XDG_CONFIG_HOME", (work / "xdg").c_str(), 1);
    const char* savedSystem = SystemConfigurationFolder;
    const std::string system = work / "etc";
    SystemConfigurationFolder = system.c_str();
    ISignControl* control = reinterpret_cast<ISignControl*>(1);
    EXPECT_EQ(CreateSignControl(&control), REGDB_E_CLASSNOTREG);
    EXPECT_EQ(control, nullptr);
    Register(work / "xdg", SIGNCTL_SCRIPTED_MODULE);
    EXPECT_EQ(CreateSignControl(&control), S_OK);
    ASSERT_NE(control, nullptr);
    EXPECT_EQ(control->Release(), 0u);
    SystemConfigurationFolder = savedSystem;
}
