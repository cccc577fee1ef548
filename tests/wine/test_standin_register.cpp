// Registration of the stand-in control's server with regsvr32, and the host's
// two roads to the control: the registered DLL, or the class this program
// carries, created through its factory when nothing is registered.
#include <windows.h>

#include <string>

#include "Error.h"
#include "OleHost.h"
#include "ScopedWin.h"
#include "Standin.h"
#include "check.h"
#include "driver.h"
#include "test_standin_support.h"

using namespace standin_test;

namespace {

const char kClassKey[] = "CLSID\\{D27CDB6E-AE6D-11CF-96B8-444553540000}";
const RECT kDesigned = Rect(16, 0, 193, 169);

std::string DllPath() { return drv::WinPath(drv::Env("SWFSTANDIN_DLL")); }

// Exit code of regsvr32 with `args` and the server DLL.
DWORD Regsvr32(const std::string& args) {
    drv::Process p = drv::Process::Start("C:\\windows\\system32\\regsvr32.exe", args + " \"" + DllPath() + "\"");
    if (!p.Wait(60000)) return DWORD(-1);
    return p.ExitCode();
}

// A string value under HKEY_CLASSES_ROOT; "<none>" when missing.
std::string ClassValue(const std::string& sub, const char* name) {
    fw::ScopedKey k;
    if (::RegOpenKeyExA(HKEY_CLASSES_ROOT, (std::string(kClassKey) + sub).c_str(), 0, KEY_READ, k.receive()) !=
        ERROR_SUCCESS)
        return "<none>";
    char buf[1024];
    DWORD size = sizeof buf, type = 0;
    if (::RegQueryValueExA(k.get(), name, nullptr, &type, reinterpret_cast<BYTE*>(buf), &size) != ERROR_SUCCESS ||
        type != REG_SZ)
        return "<none>";
    return std::string(buf, strnlen(buf, size));
}

void SetServer(const std::string& file) {
    fw::ScopedKey k;
    ::RegCreateKeyExA(HKEY_CLASSES_ROOT, (std::string(kClassKey) + "\\InprocServer32").c_str(), 0, nullptr, 0,
                      KEY_WRITE, nullptr, k.receive(), nullptr);
    ::RegSetValueExA(k.get(), nullptr, 0, REG_SZ, reinterpret_cast<const BYTE*>(file.c_str()), DWORD(file.size() + 1));
}

bool SameText(const std::string& a, const std::string& b) {
    return ::CompareStringA(LOCALE_INVARIANT, NORM_IGNORECASE, a.c_str(), -1, b.c_str(), -1) == CSTR_EQUAL;
}

// Whatever a case does to the registration, the next one finds the server
// registered as the harness left it.
class RestoreRegistration {
public:
    ~RestoreRegistration() {
        fw::OleControl::SetUnregisteredClassHook(nullptr);
        ::RegDeleteTreeA(HKEY_CLASSES_ROOT, kClassKey);
        Regsvr32("/s");
    }
};

HMODULE WindowModule(const fw::OleControl& c) { return HMODULE(::GetClassLongPtrW(c.Window(), GCLP_HMODULE)); }

std::string CreationError(HWND parent, const CLSID& clsid) {
    try {
        fw::OleControl c(parent, clsid, StoredBlock(), kDesigned);
    } catch (const fw::Error& e) {
        return e.what();
    }
    return "created";
}

}  // namespace

TEST_CASE(registered_in_classes_root_for_the_dll_with_apartment_threading) {
    REQUIRE(!drv::Env("SWFSTANDIN_DLL").empty());
    CHECK(SameText(ClassValue("\\InprocServer32", nullptr), DllPath()));
    CHECK_EQ(ClassValue("\\InprocServer32", "ThreadingModel"), std::string("Apartment"));
    CHECK(ClassValue("", nullptr) != "<none>");
    CHECK(!drv::RegKeyExistsCU(std::string("Software\\Classes\\") + kClassKey));
}

TEST_CASE(unregistered_class_is_created_from_the_class_this_program_carries) {
    fw::ScopedOle ole;
    RestoreRegistration restore;
    HostWindow host;
    REQUIRE(Regsvr32("/u /s") == 0);
    CHECK_EQ(ClassValue("\\InprocServer32", nullptr), std::string("<none>"));
    fw::ComPtr<IUnknown> probe;
    CHECK_EQ(::CoCreateInstance(standin::kClsidMovieControl, nullptr, CLSCTX_INPROC_SERVER, IID_IUnknown,
                                probe.receive_void()),
             REGDB_E_CLASSNOTREG);

    // Without the hook an unregistered class is an error that says so.
    std::string without = CreationError(host.get(), standin::kClsidMovieControl);
    CHECK(without.find("class not registered") != std::string::npos);
    CHECK(without.find("0x80040154") != std::string::npos);

    fw::OleControl::SetUnregisteredClassHook(&StandinGetClassObject);
    {
        fw::OleControl c(host.get(), standin::kClsidMovieControl, StoredBlock(), kDesigned);
        CHECK(WindowModule(c) == ::GetModuleHandleW(nullptr));  // this program's own class
        CHECK_EQ(drv::Describe(drv::RectInParent(c.Window())), drv::Describe(kDesigned));
        c.SetStringProperty(standin::kDispMovie, Wide(WriteWorkFile("carried.swf", Movie('C', 550, 400, 30, 12))));
        CHECK_EQ(c.GetIntProperty(standin::kDispTotalFrames), 12);
    }
    // The hook serves only the class it carries.
    const CLSID other = {0x12345678, 0x1234, 0x1234, {1, 2, 3, 4, 5, 6, 7, 8}};
    std::string otherError = CreationError(host.get(), other);
    CHECK(otherError.find("Getting the built-in class object") != std::string::npos);
    CHECK(otherError.find("0x80040111") != std::string::npos);  // CLASS_E_CLASSNOTAVAILABLE

    // Registered again, the DLL serves the class even with the hook set.
    REQUIRE(Regsvr32("/s") == 0);
    CHECK(SameText(ClassValue("\\InprocServer32", nullptr), DllPath()));
    fw::OleControl c(host.get(), standin::kClsidMovieControl, StoredBlock(), kDesigned);
    CHECK(WindowModule(c) != ::GetModuleHandleW(nullptr));
}

TEST_CASE(leaves_another_installed_servers_registration_alone) {
    RestoreRegistration restore;
    // Another control's server that exists on this machine owns the class id.
    const std::string other = "C:\\windows\\system32\\ole32.dll";
    SetServer(other);
    CHECK(Regsvr32("/s") != 0);
    CHECK_EQ(ClassValue("\\InprocServer32", nullptr), other);
    CHECK_EQ(Regsvr32("/u /s"), DWORD(0));  // nothing of ours to remove
    CHECK_EQ(ClassValue("\\InprocServer32", nullptr), other);

    // A registration left behind by a server that is gone is replaced.
    SetServer("C:\\nowhere\\gone.ocx");
    CHECK_EQ(Regsvr32("/s"), DWORD(0));
    CHECK(SameText(ClassValue("\\InprocServer32", nullptr), DllPath()));
    CHECK_EQ(ClassValue("\\InprocServer32", "ThreadingModel"), std::string("Apartment"));
}
