#pragma once

#include <QCommandLineOption>
#include <QCommandLineParser>
#include <QList>

#include "checking/abort_flag.h"
#include "checking/check_run.h"
#include "checking/http_client.h"
#include "cli/cli.h"

namespace quorvel::cli {

// The options of check that say what is looked at beside each page:
// --render, --render-workers N, --no-robots.
QList<QCommandLineOption> lookOptions();

// Puts what those options ask for into a run's options: the browser for
// --render (its requests as the page's, under `settings`, cut off with
// `abort`) and whether robots.txt is read. False after a message: a usage
// error, or --render without the browser.
bool applyLookOptions(const Command& command, const QCommandLineParser& parser,
                      const FetchSettings& settings, const AbortFlag* abort,
                      CheckRunOptions* options);

}  // namespace quorvel::cli
