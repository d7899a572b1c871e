#pragma once

#include "entryfile/status.h"

// The run-time error report: a handler without error handling of its own shows
// its failure here and stops; the program itself goes on.
namespace errorreport {

void show(const Status &failure);

} // namespace errorreport
