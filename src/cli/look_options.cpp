#include "cli/look_options.h"

#include <memory>

#include "checking/page_fetch.h"
#include "checking/page_renderer.h"

namespace quorvel::cli {

namespace {

using namespace Qt::StringLiterals;

constexpr int kDefaultRenderWorkers = 2;
constexpr int kMaxRenderWorkers = 16;

const QString kRender = u"render"_s;
const QString kRenderWorkers = u"render-workers"_s;
const QString kNoRobots = u"no-robots"_s;

}  // namespace

QList<QCommandLineOption> lookOptions() {
    return {flagOption(kRender), valuedOption(kRenderWorkers), flagOption(kNoRobots)};
}

bool applyLookOptions(const Command& command, const QCommandLineParser& parser,
                      const FetchSettings& settings, const AbortFlag* abort,
                      CheckRunOptions* options) {
    options->robots = !parser.isSet(kNoRobots);
    const std::optional<int> workers = wholeNumberOption(
        command, parser, kRenderWorkers, kDefaultRenderWorkers, 1, kMaxRenderWorkers);
    if (!workers) {
        return false;
    }
    if (!parser.isSet(kRender)) {
        return true;
    }
    RenderSettings render;
    // Tests name a browser that is not there through the environment.
    if (const QString browser = qEnvironmentVariable("QUORVEL_RENDER_BROWSER");
        !browser.isEmpty()) {
        render.browser = browser;
    }
    if (!rendererAvailable(render)) {
        reportError(command, u"--render needs the package "_s +
                                 QLatin1StringView(kHeadlessBrowserPackage) + u" ("_s +
                                 render.browser + u" is not there)"_s);
        return false;
    }
    render.userAgent = pageUserAgent(settings);
    render.acceptLanguage = pageAcceptLanguage(settings);
    render.resolve = parser.values(u"resolve"_s);
    render.abort = abort;
    options->renderer = std::make_shared<PageRenderer>(std::move(render), *workers);
    return true;
}

}  // namespace quorvel::cli
