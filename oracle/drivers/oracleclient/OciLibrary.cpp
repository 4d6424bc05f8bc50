// Finding and loading the Oracle client library, and resolving the calls the driver makes.
#include "Oci.h"
#include "OciApi.h"

#include <cstdlib>
#include <map>
#include <memory>
#include <string>
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

// The libraries loaded so far, by the name they were loaded under, for the life of the process.
std::map<std::string, std::shared_ptr<const Library>>& LoadedLibraries() {
    static std::map<std::string, std::shared_ptr<const Library>> loaded;
    return loaded;
}

// The names to try without TIDEMARK_OCI_LIBRARY: in $ORACLE_HOME/lib first, where a full
// client keeps its library, then as the system's loader finds them.
std::vector<std::string> SearchNames() {
    std::vector<std::string> names;
    const char* home = std::getenv("ORACLE_HOME");
    if (home != nullptr && *home != '\0') {
        std::string lib = home;
        if (lib.back() != '/')
            lib += '/';
        lib += "lib/";
        for (const std::string& name : kLibraryNames)
            names.push_back(lib + name);
    }
    names.insert(names.end(), kLibraryNames.begin(), kLibraryNames.end());
    return names;
}

Error LibraryError(const std::string& text) {
    return Numbered(OCI_RC_LIBRARY_MISSING, text);
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
    std::map<std::string, std::shared_ptr<const Library>>& loaded = LoadedLibraries();
    Opened opened;
    std::string path;
    const char* chosen = std::getenv(kLibraryVariable);
    if (chosen != nullptr && *chosen != '\0') {
        path = chosen;
        if (auto found = loaded.find(path); found != loaded.end())
            return found->second;
        opened = Open(path);
        if (opened.handle == nullptr) {
            error = LibraryError("cannot load the Oracle client library " + path + " named by " +
                                 kLibraryVariable + ". Set " + kLibraryVariable +
                                 " to the full path of the client library, or unset it to search "
                                 "the system's library path. The loader reported: " +
                                 opened.failure);
            return nullptr;
        }
    } else {
        std::string looked;
        std::string reasons;
        for (const std::string& name : SearchNames()) {
            if (auto found = loaded.find(name); found != loaded.end())
                return found->second;
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
            // The remedy before the loader's reasons, which may be long: the report shows only
            // the first 511 bytes of a message.
            error = LibraryError("cannot find the Oracle client library (looked for " + looked +
                                 "). " + kHowToInstall +
                                 (reasons.empty() ? "" : " The loader reported: " + reasons));
            return nullptr;
        }
    }

    std::shared_ptr<Library> library(new Library(opened.handle, path));
    Api& api = library->m_api;
    struct Resolved {
        const char* name;
        bool present;
        const char* standsInFor;
    };
    std::vector<Resolved> calls;
#define TIDEMARK_OCI_RESOLVE(member, standsInFor)                                                  \
    api.member = reinterpret_cast<OCI##member##Fn>(Symbol(opened.handle, "OCI" #member));          \
    calls.push_back({"OCI" #member, api.member != nullptr, standsInFor});
    TIDEMARK_OCI_CALLS(TIDEMARK_OCI_RESOLVE)
#undef TIDEMARK_OCI_RESOLVE

    std::string missing;
    for (const Resolved& call : calls) {
        if (call.standsInFor != nullptr)
            continue;
        bool present = call.present;
        for (const Resolved& older : calls)
            present = present || (older.present && older.standsInFor != nullptr &&
                                  std::string_view(older.standsInFor) == call.name);
        if (!present)
            missing += (missing.empty() ? "" : ", ") + std::string(call.name);
    }
    if (!missing.empty()) {
        error = LibraryError("the library " + path + " is not a usable Oracle client library: it " +
                             "lacks " + missing + ". " + kHowToInstall);
        return nullptr;
    }
    loaded[path] = library;
    return library;
}

} // namespace ocidrv::oci
