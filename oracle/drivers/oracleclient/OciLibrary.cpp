// Finding and loading the Oracle client library, and resolving the calls the driver makes.
#include "Oci.h"
#include "OciApi.h"

#include <cstdlib>
#include <string_view>
#include <vector>

#ifdef _WIN32
#include <windows.h>
#else
#include <dlfcn.h>
#endif

namespace ocidrv::oci {
namespace {

// The names the client library goes by, newest first after the unversioned one that Instant
// Client installs as a link to its own release.
#if defined(_WIN32)
const std::vector<std::string> kLibraryNames = {"oci.dll"};
constexpr const char* kHowToInstall =
    "Install Oracle Instant Client and add its folder to PATH, or set TIDEMARK_OCI_LIBRARY to "
    "the full path of oci.dll.";
#elif defined(__APPLE__)
const std::vector<std::string> kLibraryNames = {
    "libclntsh.dylib",      "libclntsh.dylib.23.1", "libclntsh.dylib.21.1", "libclntsh.dylib.19.1",
    "libclntsh.dylib.18.1", "libclntsh.dylib.12.1", "libclntsh.dylib.11.1"};
constexpr const char* kHowToInstall =
    "Install Oracle Instant Client and link libclntsh.dylib into ~/lib or /usr/local/lib, or "
    "set TIDEMARK_OCI_LIBRARY to the full path of libclntsh.dylib.";
#else
const std::vector<std::string> kLibraryNames = {
    "libclntsh.so",      "libclntsh.so.23.1", "libclntsh.so.21.1", "libclntsh.so.20.1",
    "libclntsh.so.19.1", "libclntsh.so.18.1", "libclntsh.so.12.1", "libclntsh.so.11.1"};
constexpr const char* kHowToInstall =
    "Install Oracle Instant Client and add its folder to LD_LIBRARY_PATH (or run ldconfig on "
    "it), or set TIDEMARK_OCI_LIBRARY to the full path of libclntsh.so.";
#endif

std::string Prefixed(const std::string& text) {
    return "ORA-" + std::to_string(OCI_RC_LIBRARY_MISSING) + ": " + text;
}

struct Opened {
    void* handle = nullptr;
    std::string failure; // the loader's reason when handle is null
};

Opened Open(const std::string& name) {
#ifdef _WIN32
    HMODULE module = LoadLibraryA(name.c_str());
    if (module == nullptr) {
        const DWORD code = GetLastError();
        char text[512] = {};
        FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, code, 0,
                       text, sizeof text, nullptr);
        std::string reason = text;
        while (!reason.empty() && (reason.back() == '\n' || reason.back() == '\r'))
            reason.pop_back();
        return {nullptr, name + ": " + reason};
    }
    // Pinned: the library stays for the life of the process.
    HMODULE pinned = nullptr;
    GetModuleHandleExA(GET_MODULE_HANDLE_EX_FLAG_PIN | GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS,
                       reinterpret_cast<LPCSTR>(GetProcAddress(module, "OCIHandleAlloc")), &pinned);
    return {module, {}};
#else
    // RTLD_NODELETE: the client library starts threads and registers exit handlers of its own,
    // so it must never be unmapped once it has run.
    void* handle = dlopen(name.c_str(), RTLD_LAZY | RTLD_LOCAL | RTLD_NODELETE);
    if (handle == nullptr) {
        const char* reason = dlerror();
        return {nullptr, reason != nullptr ? reason : name + ": cannot be loaded"};
    }
    return {handle, {}};
#endif
}

void* Symbol(void* handle, const char* name) {
#ifdef _WIN32
    return reinterpret_cast<void*>(GetProcAddress(static_cast<HMODULE>(handle), name));
#else
    return dlsym(handle, name);
#endif
}

// True when the loader's reason only says that this very name was not found: not worth showing.
bool IsPlainNotFound(const std::string& name, const std::string& reason) {
#ifdef _WIN32
    (void)name;
    return reason.find("could not be found") != std::string::npos;
#else
    return reason.rfind(name + ":", 0) == 0 &&
           reason.find("No such file or directory") != std::string::npos;
#endif
}

template <typename Fn> void Resolve(void* handle, const char* name, Fn& target) {
    target = reinterpret_cast<Fn>(Symbol(handle, name));
}

} // namespace

Library::~Library() {
#ifndef _WIN32
    // Only gives back the reference: the library itself stays mapped (RTLD_NODELETE).
    dlclose(m_handle);
#endif
}

std::shared_ptr<const Library> Library::Load(Error& error) {
    error = {};
    Opened opened;
    std::string path;
    const char* chosen = std::getenv(kLibraryVariable);
    if (chosen != nullptr && *chosen != '\0') {
        path = chosen;
        opened = Open(path);
        if (opened.handle == nullptr) {
            error.code = OCI_RC_LIBRARY_MISSING;
            error.message =
                Prefixed("cannot load the Oracle client library " + path + " named by " +
                         kLibraryVariable + ". Set " + kLibraryVariable +
                         " to the full path of the client library, or unset it to search the "
                         "system's library path. The loader reported: " +
                         opened.failure);
            return nullptr;
        }
    } else {
        std::string looked;
        std::string reasons;
        for (const std::string& name : kLibraryNames) {
            opened = Open(name);
            if (opened.handle != nullptr) {
                path = name;
                break;
            }
            looked += (looked.empty() ? "" : ", ") + name;
            if (!IsPlainNotFound(name, opened.failure) &&
                reasons.find(opened.failure) == std::string::npos)
                reasons += (reasons.empty() ? "" : "; ") + opened.failure;
        }
        if (opened.handle == nullptr) {
            error.code = OCI_RC_LIBRARY_MISSING;
            // The remedy before the loader's reasons, which may be long: the report shows only
            // the first 511 bytes of a message.
            error.message = Prefixed("cannot find the Oracle client library (looked for " + looked +
                                     "). " + kHowToInstall +
                                     (reasons.empty() ? "" : " The loader reported: " + reasons));
            return nullptr;
        }
    }

    std::shared_ptr<Library> library(new Library(opened.handle, path));
    Api& api = library->m_api;
    Resolve(opened.handle, "OCIEnvNlsCreate", api.EnvNlsCreate);
    Resolve(opened.handle, "OCIEnvCreate", api.EnvCreate);
    Resolve(opened.handle, "OCILogon2", api.Logon2);
    Resolve(opened.handle, "OCILogon", api.Logon);
    Resolve(opened.handle, "OCIHandleAlloc", api.HandleAlloc);
    Resolve(opened.handle, "OCIHandleFree", api.HandleFree);
    Resolve(opened.handle, "OCIErrorGet", api.ErrorGet);
    Resolve(opened.handle, "OCILogoff", api.Logoff);
    Resolve(opened.handle, "OCIStmtPrepare2", api.StmtPrepare2);
    Resolve(opened.handle, "OCIStmtRelease", api.StmtRelease);
    Resolve(opened.handle, "OCIBindByName", api.BindByName);
    Resolve(opened.handle, "OCIStmtExecute", api.StmtExecute);
    Resolve(opened.handle, "OCIAttrGet", api.AttrGet);

    std::string missing;
    const auto require = [&missing](bool present, std::string_view name) {
        if (!present)
            missing += (missing.empty() ? "" : ", ") + std::string(name);
    };
    require(api.EnvNlsCreate || api.EnvCreate, "OCIEnvNlsCreate");
    require(api.Logon2 || api.Logon, "OCILogon2");
    require(api.HandleAlloc, "OCIHandleAlloc");
    require(api.HandleFree, "OCIHandleFree");
    require(api.ErrorGet, "OCIErrorGet");
    require(api.Logoff, "OCILogoff");
    require(api.StmtPrepare2, "OCIStmtPrepare2");
    require(api.StmtRelease, "OCIStmtRelease");
    require(api.BindByName, "OCIBindByName");
    require(api.StmtExecute, "OCIStmtExecute");
    require(api.AttrGet, "OCIAttrGet");
    if (!missing.empty()) {
        error.code = OCI_RC_LIBRARY_MISSING;
        error.message =
            Prefixed("the library " + path + " is not a usable Oracle client library: it lacks " +
                     missing + ". " + kHowToInstall);
        return nullptr;
    }
    return library;
}

} // namespace ocidrv::oci
