#pragma once

#include <QByteArray>

#include <curl/curl.h>

#include <memory>

#include "checking/http_client.h"

namespace quorvel {

struct CurlEasyDeleter {
    void operator()(CURL* h) const { curl_easy_cleanup(h); }
};
struct CurlListDeleter {
    void operator()(curl_slist* l) const { curl_slist_free_all(l); }
};
using CurlEasy = std::unique_ptr<CURL, CurlEasyDeleter>;
using CurlList = std::unique_ptr<curl_slist, CurlListDeleter>;

// Appends a line to a libcurl list; the list is kept as it was when memory runs out.
void appendTo(CurlList& list, const QByteArray& line);

// The rules every transfer of the program follows, a page as much as a
// notice: only `protocols` (libcurl's comma-separated names) are spoken, for
// redirects too; no proxy is taken from the environment; the connect limit
// of `settings` holds (the total one is the caller's: a page's leaves out
// its wait for memory); the server's certificate is verified against the
// system's store or `settings.caFile`.
void applyTransferRules(CURL* handle, const FetchSettings& settings, const char* protocols);

// Hands the transfer the host mapping that `settings` holds for `host`
// (lower case) and `port`, or none; `list` keeps it alive for the transfer.
void applyHostMapping(CURL* handle, const FetchSettings& settings, const QByteArray& host, int port,
                      CurlList& list);

}  // namespace quorvel
