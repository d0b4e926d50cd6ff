#include "checking/curl_rules.h"

namespace quorvel {

void appendTo(CurlList& list, const QByteArray& line) {
    curl_slist* grown = curl_slist_append(list.get(), line.constData());
    if (grown) {
        list.release();
        list.reset(grown);
    }
}

void applyTransferRules(CURL* handle, const FetchSettings& settings, const char* protocols) {
    curl_easy_setopt(handle, CURLOPT_PROTOCOLS_STR, protocols);
    curl_easy_setopt(handle, CURLOPT_REDIR_PROTOCOLS_STR, protocols);
    curl_easy_setopt(handle, CURLOPT_PROXY, "");  // never a proxy from the environment
    curl_easy_setopt(handle, CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(handle, CURLOPT_CONNECTTIMEOUT_MS, long(settings.connectTimeoutMs));
    curl_easy_setopt(handle, CURLOPT_SSL_VERIFYPEER, 1L);
    curl_easy_setopt(handle, CURLOPT_SSL_VERIFYHOST, 2L);
#ifdef Q_OS_WIN
    // Windows' TLS asks each certificate's revocation server and fails when
    // none answers (common behind firewalls); a certificate known to be
    // revoked still fails.
    curl_easy_setopt(handle, CURLOPT_SSL_OPTIONS, long(CURLSSLOPT_REVOKE_BEST_EFFORT));
#endif
    if (!settings.caFile.isEmpty()) {
        curl_easy_setopt(handle, CURLOPT_CAINFO, settings.caFile.toLocal8Bit().constData());
    }
}

void applyHostMapping(CURL* handle, const FetchSettings& settings, const QByteArray& host, int port,
                      CurlList& list) {
    // Only this request's own mapping, whatever the number of mappings.
    const QByteArray mapping = settings.resolve.entryFor(host, port);
    list.reset();
    if (!mapping.isEmpty()) {
        appendTo(list, mapping);
    }
    curl_easy_setopt(handle, CURLOPT_RESOLVE, list.get());
}

}  // namespace quorvel
