#include "checking/robots_files.h"

#include <QUrl>

#include "checking/page_fetch.h"

namespace quorvel {

namespace {

using namespace Qt::StringLiterals;

// "scheme://host:port" of an absolute http or https address; empty otherwise.
QString siteOfPage(const QString& pageAddress) {
    const QUrl url(pageAddress);
    const QString scheme = url.scheme().toLower();
    if ((scheme != u"http" && scheme != u"https") || url.host().isEmpty()) {
        return QString();
    }
    const int port = url.port(scheme == u"https" ? 443 : 80);
    return scheme + u"://" + url.host(QUrl::FullyEncoded).toLower() + u':' + QString::number(port);
}

}  // namespace

RobotsVerdict RobotsFiles::verdictFor(const QString& pageAddress, const FetchSettings& settings) {
    const QString site = siteOfPage(pageAddress);
    if (site.isEmpty()) {
        return {};
    }
    std::shared_ptr<File> file;
    bool fetchHere = false;
    {
        std::unique_lock lock(mutex_);
        auto it = files_.find(site);
        if (it == files_.end()) {
            file = std::make_shared<File>();
            files_.insert(site, file);
            fetchHere = true;
        } else {
            file = it.value();
            done_.wait(lock, [&] { return file->state != File::State::Fetching; });
        }
    }
    if (fetchHere) {
        FetchSettings fileSettings = settings;
        fileSettings.maxBodyBytes = RobotsRules::kMaxBytes;
        fileSettings.cutBodyAtLimit = true;
        HttpResponse response;
        const FetchAttempt attempt =
            fetchSiteFile(site + u"/robots.txt"_s, fileSettings, &response);
        File::State state = File::State::Unknown;
        RobotsRules rules;
        if (attempt.reason.kind == FailureReason::Kind::None) {
            rules = RobotsRules::forSearchEngines(response.body);
            state = File::State::Known;
        } else if (attempt.reason.kind == FailureReason::Kind::Http &&
                   attempt.reason.status >= 400 && attempt.reason.status <= 499) {
            state = File::State::Known;  // no file: every page allowed
        }
        {
            std::lock_guard lock(mutex_);
            const qint64 size = rules.bytes();
            if (state == File::State::Known && bytes_ + size > budget_) {
                // Past the budget: the pages asking now get their verdict,
                // later pages none.
                files_.insert(site, std::make_shared<File>(File{File::State::Unknown, {}}));
            } else if (state == File::State::Known) {
                bytes_ += size;
            }
            file->rules = std::move(rules);
            file->state = state;
        }
        done_.notify_all();
    }
    if (file->state != File::State::Known) {
        return {};
    }
    return {true, robotsForbiddingAgent(file->rules, robotsPathOf(pageAddress))};
}

}  // namespace quorvel
