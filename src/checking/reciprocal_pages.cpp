#include "checking/reciprocal_pages.h"

#include "checking/address.h"
#include "checking/check_record.h"
#include "checking/page_fetch.h"
#include "checking/text_helpers.h"

namespace quorvel {

QString partnerKeyOf(QStringView partnerUrl) {
    const QString lowered = ToLowerRuLat(firstAddressOf(partnerUrl));
    QStringView key = withoutSchemeAndWww(lowered);
    const qsizetype slash = key.indexOf(u'/');
    return (slash >= 0 ? key.first(slash) : key).toString();
}

CheckStatus ReciprocalPages::check(const QString& ownPage, QStringView partnerUrl,
                                   const FetchSettings& settings) {
    const QString address = firstAddressOf(ownPage);
    const QString key = partnerKeyOf(partnerUrl);
    std::shared_ptr<Page> page;
    {
        std::unique_lock lock(mutex_);
        auto it = pages_.find(address);
        if (it != pages_.end()) {
            page = it.value();
            done_.wait(lock, [&] { return page->state != Page::State::Fetching; });
            switch (page->state) {
                case Page::State::Loaded:
                    return statusOf(page->anchors.verdictFor(key));
                case Page::State::Failed:
                    return CheckStatus::FetchFailed;
                case Page::State::CutOff:
                case Page::State::Fetching:
                    return CheckStatus::None;
            }
        } else {
            page = std::make_shared<Page>();
            pages_.insert(address, page);
        }
    }

    FetchResult fetched = FetchPage(ownPage, settings);
    const bool cutOff = !fetched.success && settings.abort && settings.abort->isSet();
    PageAnchors anchors;
    if (fetched.success) {
        anchors = collectAnchors(fetched.pageText);
        fetched.pageText = QString();  // only the anchors stay
    }
    const CheckStatus status = cutOff            ? CheckStatus::None
                               : fetched.success ? statusOf(anchors.verdictFor(key))
                                                 : CheckStatus::FetchFailed;
    std::lock_guard lock(mutex_);
    if (cutOff) {
        // Nothing was learnt: those waiting were cut off too, and a later
        // run's record would try again.
        page->state = Page::State::CutOff;
        pages_.remove(address);
    } else if (!fetched.success) {
        page->state = Page::State::Failed;
    } else {
        page->anchors = std::move(anchors);
        page->state = Page::State::Loaded;
    }
    done_.notify_all();
    return status;
}

}  // namespace quorvel
