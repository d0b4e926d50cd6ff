#pragma once

#include <QString>

namespace quorvel {

// The two web sites the program talks to besides partner pages. They live
// under the reserved ".example" domain, so a build never reaches a third
// party's server; a packager changes them here, and only here.
struct PublisherSites {
    QString ideaAuthor = QStringLiteral("http://idea.quorvel.example");  // banner, idea author
    QString developer = QStringLiteral("http://quorvel.example");        // counter, developer

    QString programPage() const { return ideaAuthor + QStringLiteral("/quorvel/"); }
};

}  // namespace quorvel
