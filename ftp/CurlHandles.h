#pragma once

#include <memory>

struct curl_slist;

// The transfer library's handles, each released by its own clean-up function, and the
// library's set-up. The library declares its handles as void, so this header needs none of
// its headers.
struct CurlMultiDeleter {
    void operator()(void* multi) const;
};
struct CurlEasyDeleter {
    void operator()(void* easy) const;
};
struct CurlListDeleter {
    void operator()(curl_slist* list) const;
};
using CurlMulti = std::unique_ptr<void, CurlMultiDeleter>;
using CurlEasy = std::unique_ptr<void, CurlEasyDeleter>;
using CurlList = std::unique_ptr<curl_slist, CurlListDeleter>;

// Sets the library up, once per process, however many threads ask at once (its own set-up
// is not thread-safe); it stays set up until the process ends. False when it cannot be.
bool initialiseCurl();
