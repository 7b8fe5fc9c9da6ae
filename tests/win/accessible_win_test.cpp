// A screen reader's objects, called directly: one COM identity whichever interface is asked, an
// empty answer where navigation leads nowhere, and a fault inside a call that is the program's
// fault (its message, its exit code) rather than something thrown at the caller.
#include <windows.h>
// after windows.h
#include <gtest/gtest.h>
#include <oleacc.h>
#include <servprov.h>

#include <functional>
#include <stdexcept>
#include <string>

#include "../e2e/e2e_support.h"
#include "platform/forms/form.h"
#include "platform/forms/startup.h"
#include "platform/win32/accessible.h"
#include "platform/win32/backend.h"
#include "win_test_support.h"

namespace {

using forms::Kind;
using win32::Com;

const forms::ControlDef kControls[] = {
    {.name = "Count", .kind = Kind::Label, .left = 150, .top = 150, .width = 1800, .height = 300, .caption = "181"},
    {.name = "Close", .kind = Kind::Label, .left = 150, .top = 600, .width = 900, .height = 300, .caption = "确定"},
};
const forms::FormDef kDef{.name = "Reader", .caption = "Reader", .startUp = forms::StartUp::Manual, .left = 1500,
                          .top = 1500, .width = 3000, .height = 1500, .controls = kControls};

class ReadForm : public forms::Form {
public:
    explicit ReadForm(forms::App& app) : Form(app, kDef) {}
    std::function<void()> fault;  // runs inside the description when set: the way to make a call fail
    std::optional<forms::AccessibleView> accessible() override {
        if (fault) fault();
        return forms::AccessibleView{.name = "Reader",
                                     .description = "",
                                     .role = forms::Role::Dialog,
                                     .items = {{"181", forms::Role::StaticText, &(*this)("Count"), false},
                                               {"确定", forms::Role::PushButton, &(*this)("Close"), false}}};
    }
};

// The program side: a window that describes itself, and its objects.
struct Reader {
    win32::Win32Backend backend{GetModuleHandleW(nullptr)};
    forms::App app{backend, "TOLM"};
    ReadForm* form = nullptr;
    HWND hwnd = nullptr;
    Reader() {
        CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
        backend.attach(app);
        form = &app.form<ReadForm>();
        form->show();
        hwnd = static_cast<HWND>(form->handle());
        wintest::pump(100);
    }
    ~Reader() {
        if (app.isLoaded<ReadForm>()) app.unload<ReadForm>();
        CoUninitialize();
    }
    Com<IAccessible> object(LONG id) { return win32::newAccessible(backend, *form, hwnd, id); }
};

VARIANT childId(LONG id) {
    VARIANT v;
    VariantInit(&v);
    v.vt = VT_I4;
    v.lVal = id;
    return v;
}

struct AccessibleObjects : ::testing::Test, Reader {};

// Asked through any of its interfaces for any other, the object answers with itself or not at
// all, the same way each time; IUnknown always gives the one pointer that names the object.
TEST_F(AccessibleObjects, EveryInterfaceLeadsBackToTheOneObject) {
    const IID ours[] = {__uuidof(IUnknown), __uuidof(IDispatch), __uuidof(IAccessible), __uuidof(IOleWindow)};
    const IID others[] = {__uuidof(IEnumVARIANT), __uuidof(IServiceProvider), __uuidof(IPersist)};
    for (LONG id : {LONG(OBJID_CLIENT), LONG(OBJID_WINDOW)}) {
        SCOPED_TRACE(id == OBJID_CLIENT ? "client area" : "frame");
        Com<IAccessible> object = this->object(id);
        ASSERT_TRUE(object);
        auto ask = [](IUnknown* p, const IID& iid, Com<IUnknown>& out) {
            return p->QueryInterface(iid, reinterpret_cast<void**>(out.put()));
        };
        Com<IUnknown> identity;
        ASSERT_EQ(ask(object.get(), __uuidof(IUnknown), identity), S_OK);
        for (const IID& from : ours) {
            Com<IUnknown> through;
            ASSERT_EQ(ask(object.get(), from, through), S_OK);
            for (const IID& to : ours) {
                Com<IUnknown> asked, back;
                ASSERT_EQ(ask(through.get(), to, asked), S_OK);
                ASSERT_EQ(ask(asked.get(), __uuidof(IUnknown), back), S_OK);
                EXPECT_EQ(back.get(), identity.get()) << "another object behind one of the interfaces";
            }
            for (const IID& to : others) {
                void* none = &none;
                EXPECT_EQ(through->QueryInterface(to, &none), E_NOINTERFACE);
                EXPECT_EQ(none, nullptr);
            }
        }
        // The window behind the object, found as screen readers find it (through IOleWindow).
        HWND got = nullptr;
        EXPECT_EQ(WindowFromAccessibleObject(object.get(), &got), S_OK);
        EXPECT_EQ(got, hwnd);
    }
}

// From one of the parts, navigation leads nowhere; the answer says so with nothing in it, not with
// whatever the caller's variable held.
TEST_F(AccessibleObjects, NavigationThatLeadsNowhereLeavesTheAnswerEmpty) {
    Com<IAccessible> object = this->object(OBJID_CLIENT);
    ASSERT_TRUE(object);
    for (long dir : {NAVDIR_NEXT, NAVDIR_PREVIOUS, NAVDIR_UP, NAVDIR_DOWN, NAVDIR_LEFT, NAVDIR_RIGHT})
        for (LONG part : {1, 2}) {
            VARIANT out = childId(99);
            EXPECT_EQ(object->accNavigate(dir, childId(part), &out), S_FALSE) << dir << " from " << part;
            EXPECT_EQ(out.vt, VT_EMPTY) << dir << " from " << part;
        }
    EXPECT_EQ(object->accNavigate(NAVDIR_NEXT, childId(1), nullptr), E_POINTER);
}

// Run as a program of its own by the test below: a screen reader's call meets a fault. The call
// must not return; if it does, the exit code says so.
constexpr int kCallReturned = 3;
int faultInACall(const std::string& kind) {
    Reader reader;
    Com<IAccessible> object = reader.object(OBJID_CLIENT);
    if (!object) return 4;
    reader.form->fault = [kind] {
        if (kind == "exception") throw std::runtime_error("the parts could not be listed");
        throw 42;
    };
    BSTR name = nullptr;
    object->get_accName(childId(CHILDID_SELF), &name);
    return kCallReturned;
}

TEST(AccessibleFault, AFaultInACallIsShownAndEndsTheProgramAsFailed) {
    const struct {
        const char* kind;
        const wchar_t* message;
    } cases[] = {{"exception", L"the parts could not be listed"}, {"other", L"unexpected error"}};
    wchar_t self[MAX_PATH];
    ASSERT_GT(GetModuleFileNameW(nullptr, self, MAX_PATH), 0u);
    for (const auto& c : cases) {
        SCOPED_TRACE(c.kind);
        std::wstring cmd = L"\"" + std::wstring(self) + L"\" --fault-in-a-call " +
                           std::wstring(c.kind, c.kind + strlen(c.kind));
        STARTUPINFOW si{};
        si.cb = sizeof si;
        PROCESS_INFORMATION pi{};
        ASSERT_TRUE(CreateProcessW(nullptr, cmd.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi));
        EXPECT_EQ(e2e::answerMessage(pi.dwProcessId, 30000), c.message);
        DWORD code = STILL_ACTIVE;
        if (WaitForSingleObject(pi.hProcess, 15000) == WAIT_OBJECT_0) GetExitCodeProcess(pi.hProcess, &code);
        if (code == STILL_ACTIVE) TerminateProcess(pi.hProcess, 1);
        EXPECT_EQ(code, DWORD(forms::kFaultExitCode))
            << (code == kCallReturned ? "the call returned to the caller" : "");
        CloseHandle(pi.hThread);
        CloseHandle(pi.hProcess);
    }
}

}  // namespace

int main(int argc, char** argv) {
    if (argc == 3 && std::string(argv[1]) == "--fault-in-a-call") return faultInACall(argv[2]);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
