#include "controls/errorreport/errorreport.h"

#include "controls/dialogs/dialogs.h"

namespace errorreport {

void show(const Status &failure)
{
    dialogs::msgBox(failure.message(), dialogs::Critical);
}

} // namespace errorreport
