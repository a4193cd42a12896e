#include "input/CurlLibrary.h"

#include <dlfcn.h>

#include <cstdio>
#include <optional>

namespace sondrel {
namespace {

// The soname every libcurl since 7.16 carries, whichever TLS library it was built with.
constexpr char kCurlSoname[] = "libcurl.so.4";

template <typename Function>
bool Resolve(void* library, const char* name, Function* to) {
    *to = reinterpret_cast<Function>(::dlsym(library, name));
    return *to != nullptr;
}

std::optional<CurlLibrary> Load() {
    void* library = ::dlopen(kCurlSoname, RTLD_NOW | RTLD_LOCAL);
    if (library == nullptr) {
        std::fprintf(stderr, "sondrel: %s\n", ::dlerror());
        return std::nullopt;
    }
    CurlLibrary c{};
    decltype(&curl_global_init) globalInit = nullptr;
    const bool complete =
        Resolve(library, "curl_global_init", &globalInit) && Resolve(library, "curl_url", &c.url) &&
        Resolve(library, "curl_url_set", &c.urlSet) &&
        Resolve(library, "curl_url_get", &c.urlGet) &&
        Resolve(library, "curl_url_cleanup", &c.urlCleanup) &&
        Resolve(library, "curl_free", &c.free) && Resolve(library, "curl_easy_init", &c.easyInit) &&
        Resolve(library, "curl_easy_setopt", &c.easySetopt) &&
        Resolve(library, "curl_easy_perform", &c.easyPerform) &&
        Resolve(library, "curl_easy_getinfo", &c.easyGetinfo) &&
        Resolve(library, "curl_easy_cleanup", &c.easyCleanup) &&
        Resolve(library, "curl_slist_append", &c.slistAppend) &&
        Resolve(library, "curl_slist_free_all", &c.slistFreeAll);
    if (!complete || globalInit(CURL_GLOBAL_DEFAULT) != CURLE_OK) {
        std::fprintf(stderr, "sondrel: %s is unusable\n", kCurlSoname);
        return std::nullopt;
    }
    return c;
}

}  // namespace

const CurlLibrary* Curl() {
    // A function-local static: initialised once, and the other threads wait for it.
    static const std::optional<CurlLibrary> library = Load();
    return library ? &*library : nullptr;
}

}  // namespace sondrel
