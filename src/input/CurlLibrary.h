#pragma once
// libcurl, loaded the first time a web address is taken apart or fetched. A monitor of plain
// addresses then never loads it, nor the thirty-odd libraries it brings, whose loading
// cost more than every round of a quiet hour put together.
#include <curl/curl.h>

namespace sondrel {

// The entry points the address commands use, resolved from the loaded library.
struct CurlLibrary {
    decltype(&curl_url) url;
    decltype(&curl_url_set) urlSet;
    decltype(&curl_url_get) urlGet;
    decltype(&curl_url_cleanup) urlCleanup;
    decltype(&curl_free) free;
    decltype(&curl_easy_init) easyInit;
    decltype(&curl_easy_setopt) easySetopt;
    decltype(&curl_easy_perform) easyPerform;
    decltype(&curl_easy_getinfo) easyGetinfo;
    decltype(&curl_easy_cleanup) easyCleanup;
    decltype(&curl_slist_append) slistAppend;
    decltype(&curl_slist_free_all) slistFreeAll;
};

// Loads and initialises libcurl on the first call from any thread; null when it is not
// installed or lacks an entry point. It stays loaded until the process ends.
const CurlLibrary* Curl();

}  // namespace sondrel
