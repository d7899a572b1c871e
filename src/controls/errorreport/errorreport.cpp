#include "controls/errorreport/errorreport.h"

#include "controls/dialogs/dialogs.h"

#include <QLoggingCategory>

namespace {

Q_LOGGING_CATEGORY(lcError, "sitebook.error")

} // namespace

namespace errorreport {

void show(const Status &failure)
{
    // Also to the log, so a failure at start-up leaves a trace where no one saw the box.
    qCWarning(lcError).noquote() << failure.message();
    dialogs::msgBox(failure.message(), dialogs::Critical);
}

} // namespace errorreport
