#include "ftp/CurlHandles.h"

#include <curl/curl.h>

#include <mutex>

void CurlMultiDeleter::operator()(void* multi) const {
    curl_multi_cleanup(multi);
}

void CurlEasyDeleter::operator()(void* easy) const {
    curl_easy_cleanup(easy);
}

void CurlListDeleter::operator()(curl_slist* list) const {
    curl_slist_free_all(list);
}

bool initialiseCurl() {
    static std::once_flag once;
    static bool ready = false;
    std::call_once(once, [] { ready = curl_global_init(CURL_GLOBAL_DEFAULT) == CURLE_OK; });
    return ready;
}
